// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"
#include "library/CatalogSnapshot.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

// The user's marks by patch content (CatalogEntry::content).
using MarksByContent = std::unordered_map<std::uint64_t, PatchMarks>;

// Where the library keeps what it read of each file between runs, keyed by path, size and modification
// time. A cache may forget anything at any time: the index then reads those files again.
class CatalogCache {
public:
    virtual ~CatalogCache() = default;
    // Every entry it holds; nothing when it holds nothing it can vouch for.
    virtual std::vector<CatalogEntry> Load() = 0;
    // The same with only what a menu of names needs: path, file name, bank, validity, patch name and content
    // (no author, comment or reason). Never handed back to Update.
    virtual std::vector<CatalogEntry> LoadNames() { return Load(); }
    // Stores new and changed entries and forgets removed paths, all or nothing. False when it could not.
    virtual bool Update(std::span<const CatalogEntry> changed, std::span<const std::string> removed) = 0;

    // The marks, which unlike the rest are the user's work: a cache keeps them through anything it forgets
    // of the files. Update never touches them; the entries it is given carry no marks of their own.
    virtual MarksByContent LoadMarks() = 0;
    // Empty marks forget the content. False when they could not be kept.
    virtual bool SetMarks(std::uint64_t content, const PatchMarks& marks) = 0;

    // The folders of the last complete refresh, so that a quick look (the quick-load menu) can tell whether
    // anything was added or removed since without looking at every file. Empty when unknown.
    virtual ScanRecord LoadScan() = 0;
    virtual bool SaveScan(const ScanRecord& record) = 0;

    // The catalog kept ready for a reopen, made under `rulesKey` (PreparedRulesKey) from exactly what Load()
    // gives now; nullopt when it holds none. Whatever changes the entries it holds lets go of the snapshot.
    virtual std::optional<CatalogSnapshot> LoadSnapshot(std::uint64_t /*rulesKey*/) { return std::nullopt; }
    virtual bool HasSnapshot(std::uint64_t /*rulesKey*/) { return false; }
    // Keeps a snapshot, as EncodeSnapshot makes it of what this object's last Load() and its Update()s since made
    // of the entries; not kept (false) when anything else changed them meanwhile.
    virtual bool SaveSnapshot(std::span<const std::string> /*parts*/) { return false; }
};

// Gives each entry the marks kept for its content.
void ApplyMarks(std::vector<CatalogEntry>& entries, const MarksByContent& marks);
