// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// The folders the user added to the library, kept between runs.
class LibraryFolderStore {
public:
    virtual ~LibraryFolderStore() = default;
    virtual std::vector<std::string> Folders() = 0;
    virtual void SetFolders(const std::vector<std::string>& folders) = 0;
};
