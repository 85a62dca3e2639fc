// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/LibraryIndex.h"

#include "library/ReadCatalogEntry.h"

#include <algorithm>
#include <future>

void ApplyMarks(std::vector<CatalogEntry>& entries, const MarksByContent& marks) {
    for (CatalogEntry& e : entries) {
        const auto it = e.content != 0 ? marks.find(e.content) : marks.end();
        e.marks = it != marks.end() ? it->second : PatchMarks{};
    }
}

std::optional<std::vector<CatalogEntry>> CachedCatalogIfUnchanged(const std::vector<LibraryRoot>& roots,
                                                                  CatalogCache& cache) {
    // Read first: a cache may check itself meanwhile (SqliteCatalogCache). Used only if no folder changed.
    std::vector<CatalogEntry> entries = cache.LoadNames();
    if (!FoldersUnchanged(roots, cache.LoadScan())) return std::nullopt;
    ApplyMarks(entries, cache.LoadMarks());
    return entries;
}

CatalogEntry ReadLibraryFile(const FileStamp& stamp) {
    CatalogEntry entry;
    entry.path = stamp.path;
    entry.fileName = DisplayFileName(stamp.path);
    entry.bank = stamp.bank;
    entry.size = stamp.size;
    entry.mtime = stamp.mtime;
    FileHead head;
    if (!ReadFileHead(stamp.path, CatalogReadSize(), head)) {
        entry.valid = false;
        entry.reason = CatalogOpenFailedReason();
        return entry;
    }
    // What was read decides, not what the scan saw a moment before.
    entry.size = head.size;
    entry.mtime = head.mtime;
    ReadCatalogEntry(head.bytes, entry);
    return entry;
}

std::vector<CatalogEntry> RefreshCatalog(const std::vector<LibraryRoot>& roots, CatalogCache& cache,
                                         RefreshStats* stats, const RefreshCallbacks& callbacks,
                                         CatalogExtras* extras) {
    RefreshStats local;
    RefreshStats& s = stats != nullptr ? *stats : local;
    s = RefreshStats{};
    auto cancelled = [&callbacks] { return callbacks.cancel != nullptr && callbacks.cancel->load(); };

    if (callbacks.trustUnchangedFolders) {
        // Read first: a cache may check itself meanwhile (SqliteCatalogCache). Used only if no folder changed.
        std::optional<CatalogSnapshot> snapshot;
        if (extras != nullptr) snapshot = cache.LoadSnapshot(PreparedRulesKey());
        const ScanRecord known = cache.LoadScan();
        if (FoldersUnchanged(roots, known)) {
            std::vector<CatalogEntry> cached = snapshot ? std::move(snapshot->entries) : cache.Load();
            if (snapshot) {
                *extras = std::move(snapshot->extras);
                s.fromSnapshot = true;
            }
            ApplyMarks(cached, cache.LoadMarks());
            // Known before the callback, which may then leave the entries to the result instead of copying them.
            s.trusted = true;
            if (callbacks.cached && !cached.empty()) callbacks.cached(cached);
            s.files = cached.size();
            for (const FolderStamp& f : known.folders) s.folders.push_back(f.path);
            return cached;
        }
    }

    // The folders are looked at while the cache is read and shown: neither waits for the other.
    std::vector<std::string> folders;
    ScanRecord record{RootsKey(roots), {}};
    std::future<std::vector<FileStamp>> scan = std::async(std::launch::async, [&roots, &callbacks, &folders, &record] {
        return ScanLibrary(roots, callbacks.cancel, &folders, &record.folders);
    });
    std::vector<CatalogEntry> cached = cache.Load();
    const MarksByContent marks = cache.LoadMarks();
    ApplyMarks(cached, marks);
    if (callbacks.cached && !cached.empty()) callbacks.cached(cached);
    // Both in path order, walked side by side: no map of 50,000 paths, and what the cache holds is moved on,
    // not copied.
    auto byPath = [](const CatalogEntry& a, const CatalogEntry& b) { return a.path < b.path; };
    if (!std::is_sorted(cached.begin(), cached.end(), byPath)) std::sort(cached.begin(), cached.end(), byPath);

    const std::vector<FileStamp> stamps = scan.get();
    s.folders = std::move(folders);
    auto known = [](const CatalogEntry& e, const FileStamp& stamp) {
        return e.size == stamp.size && e.mtime == stamp.mtime;
    };
    std::size_t toRead = 0;
    for (std::size_t i = 0, j = 0; i < stamps.size(); ++i) {
        while (j < cached.size() && cached[j].path < stamps[i].path) ++j;
        if (j == cached.size() || cached[j].path != stamps[i].path || !known(cached[j], stamps[i])) ++toRead;
    }
    std::vector<CatalogEntry> entries;
    entries.reserve(stamps.size());
    std::vector<std::size_t> changed;  // indexes into `entries`
    std::vector<std::string> removed;
    std::size_t j = 0;
    for (const FileStamp& stamp : stamps) {
        if (cancelled()) break;
        for (; j < cached.size() && cached[j].path < stamp.path; ++j) removed.push_back(std::move(cached[j].path));
        const bool listed = j < cached.size() && cached[j].path == stamp.path;
        if (listed && known(cached[j], stamp)) {
            entries.push_back(std::move(cached[j++]));
            CatalogEntry& entry = entries.back();
            const bool moved = entry.bank != stamp.bank;  // the same file under a folder now listed otherwise
            entry.bank = stamp.bank;
            if (moved) changed.push_back(entries.size() - 1);
            continue;
        }
        if (listed) ++j;
        entries.push_back(ReadLibraryFile(stamp));
        // A file read again (renamed, moved, rewritten the same) finds the marks of its content.
        if (const auto m = marks.find(entries.back().content); entries.back().content != 0 && m != marks.end())
            entries.back().marks = m->second;
        changed.push_back(entries.size() - 1);
        ++s.read;
        if (callbacks.progress && s.read % 256 == 0) callbacks.progress(s.read, toRead);
    }
    s.files = entries.size();
    if (cancelled()) {
        s.cacheWritten = false;
        return entries;
    }
    for (; j < cached.size(); ++j) removed.push_back(std::move(cached[j].path));

    s.removed = removed.size();
    s.changed = changed.size();
    if (!changed.empty() || !removed.empty()) {
        std::vector<CatalogEntry> changedEntries;
        changedEntries.reserve(changed.size());
        for (std::size_t i : changed) changedEntries.push_back(entries[i]);
        s.cacheWritten = cache.Update(changedEntries, removed);
    }
    // Only a scan whose findings the cache holds may vouch for it later.
    if (s.cacheWritten && cache.LoadScan() != record) cache.SaveScan(record);
    return entries;
}
