// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/CatalogSnapshot.h"

#include "util/LegacyText.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr char kMagic[4] = {'Q', 'N', 'L', 'S'};
constexpr std::uint32_t kFormat = 1;
// Raised whenever FoldCase, NaturalCompare, DisplayName or the order of a column change what they give: the
// kept orders and kinds were made under the old rules.
constexpr std::uint64_t kRulesVersion = 1;
// No index of ours holds more: a larger count is not believed (and not allocated for).
constexpr std::size_t kMostEntries = std::size_t{1} << 22;

void Fnv(std::uint64_t& h, std::string_view bytes) {
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001B3ull;
    }
    // The length too, so that ("ab", "c") and ("a", "bc") differ.
    for (int i = 0; i < 8; ++i) {
        h ^= (bytes.size() >> (8 * i)) & 0xFF;
        h *= 0x100000001B3ull;
    }
}

void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutText(std::string& out, const std::string& s) {
    PutU32(out, static_cast<std::uint32_t>(s.size()));
    out += s;
}

// Reads what PutU32, PutU64 and PutText wrote; once anything runs past the end, everything after fails.
struct Cursor {
    std::string_view rest;
    bool ok = true;

    bool Take(std::size_t n, std::string_view& out) {
        if (!ok || rest.size() < n) return ok = false;
        out = rest.substr(0, n);
        rest.remove_prefix(n);
        return true;
    }
    std::uint64_t Number(std::size_t bytes) {
        std::string_view b;
        if (!Take(bytes, b)) return 0;
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < bytes; ++i) v |= std::uint64_t{static_cast<unsigned char>(b[i])} << (8 * i);
        return v;
    }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Number(4)); }
    std::uint64_t U64() { return Number(8); }
    // Bytes as they are: a path keeps the file system's own.
    bool Bytes(std::string& out) {
        std::string_view b;
        if (!Take(U32(), b)) return false;
        out.assign(b);
        return true;
    }
    // A text as the index holds texts: UTF-8 only.
    bool Text(std::string& out) {
        if (Bytes(out) && IsValidUtf8(out)) return true;
        return ok = false;
    }
};

}  // namespace

std::uint64_t KeywordTableKey(std::span<const KindKeywords> table) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (const KindKeywords& row : table) {
        Fnv(h, KindName(row.kind));
        for (std::string_view word : row.words) Fnv(h, word);
    }
    return h;
}

std::uint64_t PreparedRulesKey() {
    static const std::uint64_t key = [] {
        std::uint64_t h = KeywordTableKey(KindKeywordTable());
        for (int k = 0; k < kPatchKindCount; ++k) Fnv(h, KindName(static_cast<PatchKind>(k)));
        h ^= kRulesVersion;
        return h * 0x100000001B3ull;
    }();
    return key;
}

std::vector<std::string> EncodeSnapshot(std::span<const CatalogEntry> entries, std::span<const PatchKind> guessed,
                                        std::span<const std::uint32_t> byName, std::uint64_t rulesKey) {
    const std::size_t n = entries.size();
    // Extras of other entries would make a snapshot no reader takes: none is better.
    if (guessed.size() != n || byName.size() != n) return {};
    const std::size_t entryParts = (n + kSnapshotPartEntries - 1) / kSnapshotPartEntries;
    std::vector<std::string> parts;
    parts.reserve(1 + entryParts);
    std::string& head = parts.emplace_back();
    head.reserve(28 + 5 * n);
    head.append(kMagic, sizeof kMagic);
    PutU32(head, kFormat);
    PutU64(head, rulesKey);
    PutU32(head, static_cast<std::uint32_t>(n));
    PutU32(head, static_cast<std::uint32_t>(1 + entryParts));
    for (std::uint32_t i : byName) PutU32(head, i);
    for (PatchKind k : guessed) head += static_cast<char>(k);
    for (std::size_t first = 0; first < n; first += kSnapshotPartEntries) {
        const std::size_t count = std::min(kSnapshotPartEntries, n - first);
        std::string& out = parts.emplace_back();
        PutU32(out, static_cast<std::uint32_t>(count));
        for (const CatalogEntry& e : entries.subspan(first, count)) {
            PutText(out, e.path);
            PutText(out, e.fileName);
            PutText(out, e.bank);
            PutU64(out, e.size);
            PutU64(out, static_cast<std::uint64_t>(e.mtime));
            out += static_cast<char>(e.valid ? 1 : 0);
            PutText(out, e.patchName);
            PutText(out, e.author);
            PutText(out, e.comment);
            PutText(out, e.reason);
            PutU64(out, e.content);
            for (std::int16_t p : e.params) {
                out += static_cast<char>(static_cast<std::uint16_t>(p) & 0xFF);
                out += static_cast<char>(static_cast<std::uint16_t>(p) >> 8);
            }
        }
    }
    return parts;
}

bool SnapshotReader::HeaderHasKey(std::string_view head, std::uint64_t rulesKey) {
    Cursor c{head};
    std::string_view magic;
    return c.Take(sizeof kMagic, magic) && std::memcmp(magic.data(), kMagic, sizeof kMagic) == 0 &&
           c.U32() == kFormat && c.U64() == rulesKey && c.ok;
}

bool SnapshotReader::Part(std::string_view bytes) {
    if (m_failed) return false;
    const bool ok = m_parts == 0 ? Header(bytes) : m_parts < m_expected && Entries(bytes);
    ++m_parts;
    if (!ok) {
        m_failed = true;
        m_snapshot = {};
    }
    return ok;
}

bool SnapshotReader::Header(std::string_view bytes) {
    if (!HeaderHasKey(bytes, m_key)) return false;
    Cursor c{bytes.substr(kSnapshotKeyBytes)};
    const std::size_t n = c.U32();
    const std::size_t parts = c.U32();
    if (!c.ok || n > kMostEntries || parts != 1 + (n + kSnapshotPartEntries - 1) / kSnapshotPartEntries ||
        c.rest.size() != 5 * n)
        return false;
    m_count = n;
    m_expected = parts;
    std::vector<std::uint32_t>& order = m_snapshot.extras.byName;
    order.resize(n);
    std::vector<bool> seen(n);
    for (std::uint32_t& i : order) {
        i = c.U32();
        // A permutation of the entries: every index once.
        if (i >= n || seen[i]) return false;
        seen[i] = true;
    }
    m_snapshot.extras.guessed.resize(n);
    for (PatchKind& k : m_snapshot.extras.guessed) {
        const auto v = static_cast<std::uint8_t>(c.rest[0]);
        c.rest.remove_prefix(1);
        if (v >= kPatchKindCount) return false;
        k = static_cast<PatchKind>(v);
    }
    m_snapshot.entries.reserve(n);
    return true;
}

bool SnapshotReader::Entries(std::string_view bytes) {
    Cursor c{bytes};
    const std::size_t count = c.U32();
    std::vector<CatalogEntry>& entries = m_snapshot.entries;
    if (!c.ok || count == 0 || count > kSnapshotPartEntries || count > m_count - entries.size()) return false;
    for (std::size_t k = 0; k < count; ++k) {
        CatalogEntry& e = entries.emplace_back();
        if (!c.Bytes(e.path) || e.path.empty()) return false;
        // In path order, each path once, as the index's rows come.
        if (entries.size() > 1 && !(entries[entries.size() - 2].path < e.path)) return false;
        c.Text(e.fileName);
        c.Text(e.bank);
        e.size = c.U64();
        e.mtime = static_cast<std::int64_t>(c.U64());
        std::string_view valid;
        c.Take(1, valid);
        c.Text(e.patchName);
        c.Text(e.author);
        c.Text(e.comment);
        c.Text(e.reason);
        e.content = c.U64();
        std::string_view params;
        c.Take(2 * kPatchParamCount, params);
        if (!c.ok || e.size > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) ||
            static_cast<unsigned char>(valid[0]) > 1)
            return false;
        e.valid = valid[0] == 1;
        for (std::size_t i = 0; i < kPatchParamCount; ++i)
            e.params[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(
                static_cast<unsigned char>(params[2 * i]) | static_cast<unsigned char>(params[2 * i + 1]) << 8));
    }
    return c.rest.empty();
}

std::optional<CatalogSnapshot> SnapshotReader::Finish() {
    if (m_failed || m_parts == 0 || m_parts != m_expected || m_snapshot.entries.size() != m_count) return std::nullopt;
    m_failed = true;  // handed out once
    return std::move(m_snapshot);
}
