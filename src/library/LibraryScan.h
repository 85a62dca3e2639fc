// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// A folder of the library. Files directly in it get `bank`; with `recursive`, each subfolder is a bank of
// its own, named by its path below the folder (after `bank` and a slash when `bank` is not empty).
struct LibraryRoot {
    std::string path;
    std::string bank;
    bool recursive = true;

    bool operator==(const LibraryRoot&) const = default;
};

// The library folders in the order they are listed: the program's folder (its own files only), the user's
// patch folder with its subfolders, then the folders the user added, each under its own name as a bank.
// A folder named twice is listed once.
std::vector<LibraryRoot> LibraryRoots(const std::string& programFolder, const std::string& userFolder,
                                      const std::vector<std::string>& addedFolders);

// Every patch file (".qnp", in any case) under the roots, by path, each listed once; hidden files and
// folders are left out and symbolic links to folders are not followed. A file that cannot even be
// looked at is listed with size and time 0, so that it shows up as unreadable instead of vanishing.
// Stops early, with what it has, once `cancel` is set. `folders`, when given, receives every folder looked
// into (the roots and the subfolders of recursive roots), for watching.
// `stamps`, when given, receives each of those folders with its modification time as it was before its names
// were read.
std::vector<FileStamp> ScanLibrary(const std::vector<LibraryRoot>& roots, const std::atomic<bool>* cancel = nullptr,
                                   std::vector<std::string>* folders = nullptr,
                                   std::vector<FolderStamp>* stamps = nullptr);

// The roots as one text, to tell whether a scan record was made under the same roots.
std::string RootsKey(const std::vector<LibraryRoot>& roots);
// Whether every folder of the record still has its time, and no other root is listed: then no file was
// added, removed or renamed since (a file rewritten in place is not seen).
bool FoldersUnchanged(const std::vector<LibraryRoot>& roots, const ScanRecord& record);

// Reads the first `limit` bytes of a regular file without ever blocking on a pipe or a device, with the
// size and modification time of what was read. False when it is not a regular file or cannot be read.
struct FileHead {
    std::vector<std::uint8_t> bytes;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
};
bool ReadFileHead(const std::string& path, std::size_t limit, FileHead& head);

// The name a file is shown by: its file name as text.
std::string DisplayFileName(const std::string& path);
