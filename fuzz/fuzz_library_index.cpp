// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the library's index reader as the head of a patch file, and what it makes of
// them through the search, the quick-load grouping and the naming of imported files, and the same bytes as the
// index's stored snapshot of a prepared catalog. Whatever a file holds,
// the entry's texts are UTF-8, a file is listed as valid exactly when it opens as a patch, a patch is found
// by its own name, and no menu outgrows its limit. Its kind is one of the kinds and lists it; its copies are
// its duplicates and nearest to it. A snapshot is refused or read whole, its order a permutation, its kinds
// kinds, its texts UTF-8 and its paths in order; entries go through a snapshot and come back the same.
#include "library/CatalogSnapshot.h"
#include "library/CatalogView.h"
#include "library/LibraryImport.h"
#include "library/Likeness.h"
#include "library/PatchKinds.h"
#include "library/QuickLoadGrouping.h"
#include "library/ReadCatalogEntry.h"
#include "library/TextFold.h"
#include "util/LegacyText.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_library_index: %s\n", what);
    std::abort();
}

// As the file format has it, independently of the reader: long enough, the magic, no newer version.
bool OpensAsPatch(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 7 + 2760 || std::memcmp(bytes.data(), "QNP", 3) != 0) return false;
    const std::int32_t version =
        static_cast<std::int32_t>(std::uint32_t{bytes[3]} | std::uint32_t{bytes[4]} << 8 |
                                  std::uint32_t{bytes[5]} << 16 | std::uint32_t{bytes[6]} << 24);
    return version <= 0;
}

void CheckMenu(const std::vector<QuickLoadItem>& items, std::size_t& leaves) {
    Require(items.size() <= kQuickLoadMenuLimit, "menu over the limit");
    for (const QuickLoadItem& item : items) {
        Require(IsValidUtf8(item.label), "menu label not UTF-8");
        if (item.IsMenu()) {
            Require(!item.children.empty(), "empty submenu");
            CheckMenu(item.children, leaves);
        } else {
            ++leaves;
        }
    }
}

// The bytes as the parts of a snapshot, each behind two bytes of its length; the first part behind a header of
// the right key (else nearly every input would stop at the key).
void ReadAsSnapshot(std::string_view bytes) {
    const std::uint64_t key = PreparedRulesKey();
    const std::string head = EncodeSnapshot({}, {}, {}, key)[0].substr(0, SnapshotReader::kSnapshotKeyBytes);
    SnapshotReader reader(key);
    bool first = true;
    while (bytes.size() >= 2) {
        const std::size_t length =
            static_cast<unsigned char>(bytes[0]) | static_cast<std::size_t>(static_cast<unsigned char>(bytes[1])) << 8;
        const std::size_t n = std::min(bytes.size() - 2, length);
        const std::string part = (first ? head : std::string()) + std::string(bytes.substr(2, n));
        first = false;
        bytes.remove_prefix(2 + n);
        if (!reader.Part(part)) break;
    }
    const std::optional<CatalogSnapshot> snapshot = reader.Finish();
    if (!snapshot) return;
    const std::size_t count = snapshot->entries.size();
    Require(snapshot->extras.guessed.size() == count && snapshot->extras.byName.size() == count, "extras missing");
    std::vector<bool> seen(count);
    for (std::uint32_t i : snapshot->extras.byName) {
        Require(i < count && !seen[i], "order not a permutation");
        seen[i] = true;
    }
    for (PatchKind k : snapshot->extras.guessed) Require(static_cast<int>(k) < kPatchKindCount, "kind out of range");
    for (std::size_t i = 0; i < count; ++i) {
        const CatalogEntry& e = snapshot->entries[i];
        Require(!e.path.empty() && (i == 0 || snapshot->entries[i - 1].path < e.path), "paths out of order");
        Require(IsValidUtf8(e.fileName) && IsValidUtf8(e.bank) && IsValidUtf8(e.patchName) && IsValidUtf8(e.author) &&
                    IsValidUtf8(e.comment) && IsValidUtf8(e.reason),
                "snapshot text not UTF-8");
    }
    // Whatever it read, the view takes it as it is.
    CatalogView view;
    view.SetCatalog(PrepareCatalog(snapshot->entries, snapshot->extras));
    Require(view.RowCount() <= count, "rows invented");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    CatalogEntry entry;
    entry.path = "/library/bank/file.qnp";
    entry.fileName = "file.qnp";
    entry.bank = "bank";
    ReadCatalogEntry(bytes.first(std::min(size, CatalogReadSize())), entry);
    Require(entry.valid == OpensAsPatch(bytes), "validity differs from the file format");
    Require(entry.valid == entry.reason.empty(), "reason without a fault, or a fault without a reason");
    Require(IsValidUtf8(entry.patchName) && IsValidUtf8(entry.author) && IsValidUtf8(entry.comment), "text not UTF-8");
    Require(entry.patchName.size() <= 256 * 3 && entry.comment.size() <= 2048 * 3, "text longer than its field");

    // The same bytes as legacy text in general.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = DecodeLegacyText(text);
    Require(IsValidUtf8(decoded) && DecodeLegacyText(decoded) == decoded, "decoding not idempotent");
    const std::string half(text.substr(0, size / 2)), rest(text.substr(size / 2));
    Require(NaturalCompare(half, rest) == -NaturalCompare(rest, half), "order not antisymmetric");
    Require(NaturalCompare(half, half) == 0, "order not reflexive");
    (void)FoldCase(text);

    // A patch is found by its own name, every word of it.
    CatalogView view;
    std::vector<CatalogEntry> entries(3, entry);
    entries[1].path = "/library/other.qnp";
    entries[1].bank = DecodeLegacyText(entry.patchName.substr(0, 40));  // as folder names come: text
    entries[2].path = "/library/third.qnp";
    view.SetEntries(entries);
    view.SetFilter(entry.patchName);

    // Through a snapshot of the index and back: the same entries, kinds and order.
    const PreparedCatalog prepared = PrepareCatalog(entries);
    SnapshotReader reader(1);
    for (const std::string& part : EncodeSnapshot(prepared.entries, prepared.guessed, prepared.byName, 1))
        reader.Part(part);
    const std::optional<CatalogSnapshot> back = reader.Finish();
    Require(back && back->entries == entries && back->extras.guessed == prepared.guessed &&
                back->extras.byName == prepared.byName,
            "a snapshot did not come back the same");
    ReadAsSnapshot(text);
    Require(view.RowCount() == 3, "a patch not found by its own name");
    view.SortBy(CatalogColumn::Name, false);

    // Kinds from the texts, and from the raw bytes as texts.
    const PatchKind kind = GuessKind(entry.patchName, entry.comment);
    Require(static_cast<int>(kind) < kPatchKindCount, "kind out of range");
    Require(static_cast<int>(GuessKind(text, text)) < kPatchKindCount, "kind out of range");
    Require(!KindOfName(text) || FoldCase(KindName(*KindOfName(text))) == FoldCase(text), "kind named wrongly");
    view.SetFilter("");
    view.SetMarkFilter({false, false, kind});
    Require(view.RowCount() == (entry.valid ? 3u : 3u * (kind == PatchKind::Other)), "a patch not listed by kind");
    view.SetMarkFilter({});

    // Likeness over every parameter, and one weighed by the bytes themselves.
    LikenessScale scale;
    for (std::size_t i = 0; i < kPatchParamCount; ++i)
        scale.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint16_t>(i < size ? data[i] | 1 : 0xFFFF),
                         i < size ? static_cast<std::int32_t>(data[i]) - 64 : 255});
    const std::vector<Neighbour> near = NearestPatches(entries, entry.params, scale, 2, 2);
    Require(near.size() == (entry.valid ? 2u : 0u), "nearest lost patches");
    Require(near.empty() || (near[0].entry == 2 && near[0].distance == 0 && near[1].distance == 0),
            "a patch is not nearest to itself");
    const auto groups = DuplicateGroups(entries, scale);
    Require(entry.valid ? groups.size() == 1 && groups[0].size() == 3 : groups.empty(), "copies not duplicates");
    CatalogEntry other = entry;
    for (std::size_t i = 0; i < kPatchParamCount; ++i) other.params[i] = static_cast<std::int16_t>(~entry.params[i]);
    Require(std::isfinite(PatchDistance(entry.params, other.params, scale)), "distance not finite");

    std::size_t leaves = 0;
    CheckMenu(BuildQuickLoadMenu(entries), leaves);
    Require(leaves == (entry.valid ? 3u : 0u), "menu lost or invented patches");

    const std::string stem = SafeFileStem(entry.valid ? entry.patchName : text);
    Require(!stem.empty() && stem.size() <= 100 && IsValidUtf8(stem), "file name empty, long or not UTF-8");
    Require(stem.find('/') == std::string::npos && stem.front() != '.', "file name with a slash or hidden");
    return 0;
}
