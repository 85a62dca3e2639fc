// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The document the form shows: the default patch and the quick-load open patch files through it.
class FormDocument {
public:
    virtual ~FormDocument() = default;
    // Reads the patch file into the form; reports every failure to the user and returns false.
    virtual bool OnOpenDocument(const std::string& path) = 0;
    // Before the form opens a patch of its own accord (the quick-load): offers to save a modified patch.
    // False when the user cancels, or the save failed.
    virtual bool SaveModified() = 0;
    // After the form opened `path` of its own accord: the document is now that file.
    virtual void OnOpenedByForm(const std::string& path) = 0;
};
