// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ports/QuickLoadLibrary.h"

#include <string>

// Loads a library by its file name with the system's usual search, then from beside the program.
class DlopenLibraryLoader : public LibraryLoader {
public:
    explicit DlopenLibraryLoader(std::string programDirectory) : m_programDirectory(std::move(programDirectory)) {}
    std::unique_ptr<DynamicLibrary> Load(const std::string& fileName) override;

private:
    std::string m_programDirectory;
};
