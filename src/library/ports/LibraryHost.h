// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

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
};
