// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"
#include "library/PatchKinds.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What preparing a catalog for the view works out besides the entries, which the index can keep so that a
// reopen only reads it: the kind each entry's texts suggest and the entries in order of their names.
struct CatalogExtras {
    std::vector<PatchKind> guessed;
    std::vector<std::uint32_t> byName;
};

// The catalog as the index keeps it ready: the entries in path order, without marks, and their extras.
struct CatalogSnapshot {
    std::vector<CatalogEntry> entries;
    CatalogExtras extras;
};

// What the extras depend on besides the entries: the keyword table and the rules of folding, naming and
// ordering. A snapshot made under another key is not used: a new keyword table must guess the kinds again.
std::uint64_t PreparedRulesKey();
// The part of it that the keyword table gives (any table, for tests).
std::uint64_t KeywordTableKey(std::span<const KindKeywords> table);

// A snapshot as stored: part 0 holds the key, the count, the order and the kinds; the entries follow in parts
// of at most kSnapshotPartEntries, so that no single stored value grows with the library.
constexpr std::size_t kSnapshotPartEntries = 2048;
// Nothing when the extras are not of these entries.
std::vector<std::string> EncodeSnapshot(std::span<const CatalogEntry> entries, std::span<const PatchKind> guessed,
                                        std::span<const std::uint32_t> byName, std::uint64_t rulesKey);

// Reads the parts back in order. Anything but exactly what EncodeSnapshot made under `rulesKey` (another key,
// a part missing or cut short, texts that are not UTF-8, entries out of path order, an order that is not a
// permutation, a kind out of range) makes Finish give nullopt, never a partial catalog.
class SnapshotReader {
public:
    explicit SnapshotReader(std::uint64_t rulesKey) : m_key(rulesKey) {}
    // False once the snapshot is known to be unusable; the rest need not be read.
    bool Part(std::string_view bytes);
    std::optional<CatalogSnapshot> Finish();

    // Whether a part 0 was made under this key, from its first bytes (kSnapshotKeyBytes suffice).
    static bool HeaderHasKey(std::string_view head, std::uint64_t rulesKey);
    static constexpr std::size_t kSnapshotKeyBytes = 16;

private:
    bool Header(std::string_view bytes);
    bool Entries(std::string_view bytes);

    std::uint64_t m_key;
    bool m_failed = false;
    std::size_t m_parts = 0;     // read so far
    std::size_t m_expected = 0;  // parts the header announced, itself included
    CatalogSnapshot m_snapshot;
    std::size_t m_count = 0;  // entries the header announced
};
