// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/LibraryScan.h"
#include "library/ports/CatalogCache.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

struct RefreshStats {
    std::size_t files = 0;    // listed now
    std::size_t read = 0;     // read from disk because they are new or changed
    std::size_t removed = 0;  // gone since the cache was written
    std::size_t changed = 0;  // new, changed or listed under another bank: what the cache was told
    bool cacheWritten = true;
    bool trusted = false;              // taken from the cache by the folders' times, no file looked at
    bool fromSnapshot = false;         // trusted, and read from the cache's snapshot with its extras
    std::vector<std::string> folders;  // every folder looked into, for watching
};

struct RefreshCallbacks {
    // What the cache held, before anything was looked at: shown while the folders are checked.
    std::function<void(const std::vector<CatalogEntry>&)> cached;
    // Called now and then while files are read.
    std::function<void(std::size_t read, std::size_t toRead)> progress;
    const std::atomic<bool>* cancel = nullptr;
    // While no folder changed since the last complete refresh (FoldersUnchanged), the cache is taken at its word
    // without a look at each file: for a window that opens, which then checks each file all the same.
    bool trustUnchangedFolders = false;
};

// Brings the catalog up to date with the library folders: files whose path, size and modification time
// match the cache are taken from it, only the others are read. The cache is updated in one step.
// Entries come in path order. When cancelled it returns what it has and leaves the cache as it was.
// Given `extras`, a trusting refresh reads the cache's snapshot when it holds one made under PreparedRulesKey(),
// and hands its kinds and order there (stats.fromSnapshot); they stay empty otherwise.
std::vector<CatalogEntry> RefreshCatalog(const std::vector<LibraryRoot>& roots, CatalogCache& cache,
                                         RefreshStats* stats = nullptr, const RefreshCallbacks& callbacks = {},
                                         CatalogExtras* extras = nullptr);

// What the cache holds, with its marks, when no file was added, removed or renamed in any library folder since
// the last complete refresh (FoldersUnchanged); nullopt when a refresh is needed. A few stats instead of one a
// file: for the quick-load menu, which must show at once. The entries are LoadNames()'s: names, no comments.
std::optional<std::vector<CatalogEntry>> CachedCatalogIfUnchanged(const std::vector<LibraryRoot>& roots,
                                                                  CatalogCache& cache);

// Reads one file into an entry (an unreadable one becomes an invalid entry with its reason).
CatalogEntry ReadLibraryFile(const FileStamp& stamp);
