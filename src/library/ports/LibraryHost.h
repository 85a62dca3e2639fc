// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"

#include <optional>
#include <string>
#include <vector>

// What the library window asks of the rest of the program.
class LibraryHost {
public:
    virtual ~LibraryHost() = default;
    // Sends the patch file to the synthesizer as it is, without the Transmit question and without
    // touching the document.
    virtual void AuditionPatch(const std::string& path) = 0;
    // Opens the patch file as the document, through the save question when the document is modified.
    // True when it became the document.
    virtual bool OpenPatch(const std::string& path) = 0;
    // Sends the document's patch again, so that the synthesizer matches the editor.
    virtual void RestoreDocumentPatch() = 0;
    // The document's patch as the library compares patches; nullopt when the program has none to offer.
    virtual std::optional<PatchParams> CurrentParams() { return std::nullopt; }
    // The parameters in which the patch file differs from the document, one line each, as the form shows
    // them: "DCO1 Amp.: 128 → 200" (the document's value first). Empty when they sound the same or the file
    // is no patch.
    virtual std::vector<std::string> Differences(const std::string& /*path*/) { return {}; }
};
