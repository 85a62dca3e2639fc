// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// One file of the patch library, as listed and as kept in the index. Texts are UTF-8 whatever the file
// held; the path keeps the file system's own bytes, so that any file can be opened again.
struct CatalogEntry {
    std::string path;      // absolute
    std::string fileName;  // for display
    std::string bank;      // "" for the top of a library folder, else e.g. "Pads" or "Pads/Soft"
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // nanoseconds since the epoch
    bool valid = false;
    std::string patchName;
    std::string author;
    std::string comment;
    std::string reason;  // why the file cannot be opened: the patch file's own message; empty when valid

    bool operator==(const CatalogEntry&) const = default;
};

// What a scan finds of a file before reading it: the key by which the index decides that a file changed.
struct FileStamp {
    std::string path;
    std::string bank;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;

    bool operator==(const FileStamp&) const = default;
};
