#pragma once

#include <string>

// The document the form shows: the default patch and the quick-load open patch files through it.
class FormDocument {
public:
    virtual ~FormDocument() = default;
    // Reads the patch file into the form; reports every failure to the user and returns false.
    virtual bool OnOpenDocument(const std::string& path) = 0;
};
