// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/Audition.h"

void Audition::SetEnabled(bool on) {
    if (on == m_enabled) return;
    m_enabled = on;
    if (!on) {
        Restore();
    } else {
        m_selected.clear();
    }
}

void Audition::Selected(const CatalogEntry* entry) {
    const std::string path = entry != nullptr ? entry->path : std::string();
    if (path == m_selected) return;
    m_selected = path;
    if (!m_enabled || entry == nullptr || !entry->valid) return;
    m_host.AuditionPatch(path);
    m_sent = true;
}

void Audition::Play(const CatalogEntry& entry) {
    if (!entry.valid) return;
    m_selected = entry.path;
    m_host.AuditionPatch(entry.path);
    m_sent = true;
}

void Audition::Open(const CatalogEntry& entry) {
    // Once it is the document, what the synthesizer holds is the document's patch (or the user chose not
    // to send it); either way there is nothing to restore.
    if (m_host.OpenPatch(entry.path)) m_sent = false;
}

void Audition::Close() {
    Restore();
    m_selected.clear();
}

void Audition::Restore() {
    if (!m_sent) return;
    m_sent = false;
    m_host.RestoreDocumentPatch();
}
