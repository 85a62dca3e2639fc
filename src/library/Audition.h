// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"
#include "library/ports/LibraryHost.h"

#include <string>

// Audition in the library window: while it is on, each newly selected patch is sent to the synthesizer;
// turning it off, or closing the window, sends the document's patch again, but only when something else
// was sent since.
class Audition {
public:
    explicit Audition(LibraryHost& host) : m_host(host) {}

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on);
    // The selection moved to `entry` (null for none). Files that are no patches are not sent.
    void Selected(const CatalogEntry* entry);
    // Sends the patch now, whether audition is on or not (asked for from the list of what differs); it is
    // restored as any audition is.
    void Play(const CatalogEntry& entry);
    // Enter or a double-click.
    void Open(const CatalogEntry& entry);
    // The window closes.
    void Close();

private:
    void Restore();

    LibraryHost& m_host;
    bool m_enabled = false;
    bool m_sent = false;     // the synthesizer holds an auditioned patch, not the document's
    std::string m_selected;  // the path last selected, so that a refresh of the list sends nothing again
};
