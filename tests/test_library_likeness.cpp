// SPDX-License-Identifier: GPL-3.0-or-later
// The library's kinds, likeness, duplicates and marks: guessed kinds from hand-made names, distances between
// hand-made patches, and marks that follow a patch's content through a rescan, a rename and a move.
#include "LibraryFixtures.h"

#include "library/CatalogView.h"
#include "library/LibraryIndex.h"
#include "library/Likeness.h"
#include "library/MemoryCatalogCache.h"
#include "library/PatchKinds.h"
#include "library/QuickLoadGrouping.h"
#include "library/ReadCatalogEntry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <set>

using namespace libtest;

namespace {

// Slots 1..26 as sliders of 0..255, the stored list entries equal or not, two bits of the first word; the
// MIDI channel (slot 0 and entry 17) left out, as the program's scale leaves it out.
LikenessScale TestScale() {
    LikenessScale scale;
    for (std::uint8_t i = 1; i < 27; ++i) scale.push_back({i, 0xFFFF, 255});
    for (std::uint8_t i = 27; i < 48; ++i)
        if (i != 27 + 17) scale.push_back({i, 0xFFFF, 0});
    scale.push_back({48, 0x01, 0});
    scale.push_back({48, 0x02, 0});
    return scale;
}

CatalogEntry Entry(std::vector<std::uint8_t> file, std::string path = "/lib/p.qnp") {
    CatalogEntry e;
    e.path = std::move(path);
    e.fileName = "p.qnp";
    ReadCatalogEntry(file, e);
    return e;
}

std::vector<std::uint8_t> Patch(std::string_view name, std::initializer_list<std::pair<int, int>> params = {}) {
    std::vector<std::uint8_t> b = PatchBytes(name);
    for (const auto& [slot, value] : params) SetParam(b, static_cast<std::size_t>(slot), value);
    return b;
}

}  // namespace

// ---- kinds ------------------------------------------------------------------------------------------

TEST(PatchKindTest, NamesAndCommentsSayWhatAPatchIs) {
    struct Case {
        const char* name;
        const char* comment;
        PatchKind kind;
    };
    const Case cases[] = {
        {"Warm Pad", "", PatchKind::Pad},
        {"FAT BASS 2", "", PatchKind::Bass},
        {"Bassline 303", "", PatchKind::Bass},
        {"LD Screamer", "", PatchKind::Lead},
        {"Soft E-Piano", "", PatchKind::Keys},
        {"Brass Stab", "", PatchKind::Brass},
        {"Slow Strings", "", PatchKind::Strings},
        {"Pizzicato", "", PatchKind::Pluck},
        {"Laser Zap", "", PatchKind::FX},
        {"Kick 909", "", PatchKind::Percussion},
        {"Arpeggio Up", "", PatchKind::Sequence},
        // Names end in what they are: the last word that names a kind decides.
        {"Bass Pad", "", PatchKind::Pad},
        {"Pad Bass", "", PatchKind::Bass},
        // The name before the comment; the comment when the name says nothing.
        {"Lead", "use it as a pad", PatchKind::Lead},
        {"Nimbus", "a slow evolving pad", PatchKind::Pad},
        {"Nimbus", "", PatchKind::Other},
        // Whole words only where a prefix would be wrong; letters of other alphabets fold too.
        {"Subtle Tomorrow Hatch", "", PatchKind::Other},
        {"ГЛУБОКИЙ BASS", "", PatchKind::Bass},
        {"", "", PatchKind::Other},
    };
    for (const Case& c : cases) EXPECT_EQ(GuessKind(c.name, c.comment), c.kind) << c.name << " / " << c.comment;
}

TEST(PatchKindTest, TheTableCoversEveryKindButOtherAndNamesRoundTrip) {
    std::set<PatchKind> listed;
    for (const KindKeywords& row : KindKeywordTable()) {
        listed.insert(row.kind);
        for (std::string_view word : row.words) {
            // Every keyword finds itself: lower case, no spaces, no stray '*' inside.
            std::string asName(word);
            if (asName.ends_with('*')) asName.pop_back();
            EXPECT_EQ(GuessKind(asName, ""), row.kind) << word;
        }
    }
    EXPECT_EQ(listed.size(), static_cast<std::size_t>(kPatchKindCount - 1));
    EXPECT_FALSE(listed.contains(PatchKind::Other));
    for (int k = 0; k < kPatchKindCount; ++k) {
        const auto kind = static_cast<PatchKind>(k);
        EXPECT_EQ(KindOfName(KindName(kind)), kind);
    }
    EXPECT_EQ(KindOfName("percussion"), PatchKind::Percussion);
    EXPECT_EQ(KindOfName("Pads"), std::nullopt);
    EXPECT_EQ(KindName(static_cast<PatchKind>(200)), "Other");
}

TEST(PatchKindTest, HostileTextsNeverCrashAndFallBackToOther) {
    std::mt19937 random(3);
    for (int i = 0; i < 2000; ++i) {
        std::string text(random() % 300, '\0');
        for (char& c : text) c = static_cast<char>(random());
        const PatchKind kind = GuessKind(text, text);
        EXPECT_LT(static_cast<int>(kind), kPatchKindCount);
    }
    EXPECT_EQ(GuessKind(std::string(100000, '*'), std::string(100000, 'x')), PatchKind::Other);
    EXPECT_EQ(GuessKind(std::string("\xFF\xFEpad\xC3"), ""), PatchKind::Other);
}

// ---- likeness and duplicates ------------------------------------------------------------------------

TEST(LikenessTest, APatchIsNearestItselfAndOneStepIsNearerThanAWholeRange) {
    const CatalogEntry base = Entry(Patch("Base", {{1, 100}, {13, 50}, {27, 3}}));
    const CatalogEntry step = Entry(Patch("Step", {{1, 101}, {13, 50}, {27, 3}}));
    const CatalogEntry range = Entry(Patch("Range", {{1, 100}, {13, 305}, {27, 3}}));
    const CatalogEntry list = Entry(Patch("List", {{1, 100}, {13, 50}, {27, 4}}));
    const CatalogEntry channel = Entry(Patch("Other channel", {{0, 9}, {1, 100}, {13, 50}, {27, 3}, {44, 9}}));
    const LikenessScale scale = TestScale();

    EXPECT_EQ(PatchDistance(base.params, base.params, scale), 0);
    EXPECT_EQ(PatchDistance(base.params, channel.params, scale), 0) << "the MIDI channel is not the sound";
    EXPECT_DOUBLE_EQ(PatchDistance(base.params, step.params, scale), 1.0 / 255);
    EXPECT_DOUBLE_EQ(PatchDistance(base.params, range.params, scale), 1.0);
    // A list entry counts equal or not, however far apart the entries' numbers are.
    EXPECT_DOUBLE_EQ(PatchDistance(base.params, list.params, scale), 1.0);
    EXPECT_EQ(PatchDistance(step.params, range.params, scale), PatchDistance(range.params, step.params, scale));

    const std::vector<CatalogEntry> entries{range, list, step, base, Entry(PatchBytes("x", "", "", 9))};
    const std::vector<Neighbour> near = NearestPatches(entries, base.params, scale, 50, 3);
    ASSERT_EQ(near.size(), 4u) << "files that are no patches are never listed";
    EXPECT_EQ(near[0].entry, 3u);
    EXPECT_EQ(near[1].entry, 2u);
    EXPECT_EQ(near[2].entry, 0u) << "ties stay in the order of the entries";
    EXPECT_EQ(near[3].entry, 1u);
    EXPECT_EQ(NearestPatches(entries, base.params, scale, 2).size(), 2u);
}

TEST(LikenessTest, ThePatchItselfComesBeforeItsDuplicates) {
    const CatalogEntry a = Entry(Patch("A", {{5, 7}}));
    const CatalogEntry b = Entry(Patch("B, the same sound", {{5, 7}}));
    const std::vector<CatalogEntry> entries{b, a};
    const std::vector<Neighbour> near = NearestPatches(entries, a.params, TestScale(), 50, 1);
    ASSERT_EQ(near.size(), 2u);
    EXPECT_EQ(near[0].entry, 1u);
    EXPECT_EQ(near[1].entry, 0u);
    EXPECT_EQ(near[1].distance, 0);
}

TEST(LikenessTest, DuplicatesWithOtherNamesAreGroupedAndNearMissesAreNot) {
    std::vector<CatalogEntry> entries{
        Entry(Patch("Warm Pad", {{1, 10}, {30, 2}})),
        Entry(Patch("Warm Pad copy", {{1, 10}, {30, 2}})),
        Entry(Patch("Near miss", {{1, 11}, {30, 2}})),
        Entry(Patch("Other", {{2, 99}})),
        Entry(Patch("Same as Other, channel 5", {{0, 4}, {2, 99}, {44, 4}})),
        Entry(Patch("Third Warm Pad", {{1, 10}, {30, 2}})),
        Entry(PatchBytes("broken", "", "", 77)),
        Entry(PatchBytes("broken too", "", "", 77)),
    };
    // Packed words: a bit the scale does not compare makes no difference.
    std::vector<std::uint8_t> bits = Patch("Bits", {{2, 99}});
    bits[7 + 2752] = 0x80;
    entries.push_back(Entry(bits));
    const auto groups = DuplicateGroups(entries, TestScale());
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], (std::vector<std::size_t>{0, 1, 5}));
    EXPECT_EQ(groups[1], (std::vector<std::size_t>{3, 4, 8}));
    EXPECT_TRUE(DuplicateGroups(std::vector<CatalogEntry>{}, TestScale()).empty());
}

TEST(LikenessTest, ValuesOutsideEveryRangeNeitherOverflowNorJoinDifferentPatches) {
    const CatalogEntry low = Entry(Patch("low", {{1, INT32_MIN}, {27, INT32_MIN}}));
    const CatalogEntry high = Entry(Patch("high", {{1, INT32_MAX}, {27, INT32_MAX}}));
    const double d = PatchDistance(low.params, high.params, TestScale());
    EXPECT_GT(d, 1);
    EXPECT_TRUE(std::isfinite(d));
    LikenessScale hostile{{200, 0xFFFF, 0}, {1, 0xFFFF, -5}};
    EXPECT_TRUE(std::isfinite(PatchDistance(low.params, high.params, hostile)));
    EXPECT_TRUE(DuplicateGroups(std::vector<CatalogEntry>{low, high}, TestScale()).empty());
}

// ---- marks in the view -----------------------------------------------------------------------------

TEST(CatalogMarksTest, HiddenStarredAndKindFiltersAndResultLists) {
    std::vector<CatalogEntry> entries;
    for (const char* name : {"Warm Pad", "Fat Bass", "Soft Pad", "Nimbus"}) {
        entries.push_back(Entry(Patch(name), std::string("/lib/") + name + ".qnp"));
        entries.back().fileName = std::string(name) + ".qnp";
    }
    CatalogView view;
    view.SetEntries(entries);
    auto names = [&view] {
        std::vector<std::string> out;
        for (std::size_t r = 0; r < view.RowCount(); ++r) out.push_back(view.RowName(r));
        return out;
    };
    ASSERT_EQ(view.RowCount(), 4u);
    EXPECT_EQ(view.RowKind(*view.RowOfPath("/lib/Nimbus.qnp")), PatchKind::Other);

    // The user's kind wins over the guess.
    EXPECT_TRUE(view.SetMarks(entries[3].content, PatchMarks{false, false, static_cast<std::int8_t>(PatchKind::Pad)}));
    view.SetMarkFilter({false, false, PatchKind::Pad});
    EXPECT_EQ(names(), (std::vector<std::string>{"Nimbus", "Soft Pad", "Warm Pad"}));

    EXPECT_TRUE(view.SetMarks(entries[2].content, PatchMarks{false, true, -1}));
    EXPECT_EQ(names(), (std::vector<std::string>{"Nimbus", "Warm Pad"})) << "hidden patches are left out";
    view.SetMarkFilter({false, true, PatchKind::Pad});
    EXPECT_EQ(names(), (std::vector<std::string>{"Nimbus", "Soft Pad", "Warm Pad"}));

    EXPECT_TRUE(view.SetMarks(entries[1].content, PatchMarks{true, false, -1}));
    EXPECT_FALSE(view.SetMarks(entries[1].content, PatchMarks{true, false, -1}));
    view.SetMarkFilter({true, false, std::nullopt});
    EXPECT_EQ(names(), (std::vector<std::string>{"Fat Bass"}));

    // A search narrows what the marks let through.
    view.SetMarkFilter({});
    view.SetFilter("pad");
    EXPECT_EQ(names(), (std::vector<std::string>{"Warm Pad"}));
    view.SetFilter("");

    // A result list shows its entries in its order, hidden ones too, until it is cleared.
    view.ShowResultList({2, 0, 9});
    EXPECT_EQ(names(), (std::vector<std::string>{"Soft Pad", "Warm Pad"}));
    view.ClearResultList();
    EXPECT_EQ(names(), (std::vector<std::string>{"Fat Bass", "Nimbus", "Warm Pad"}));

    view.SortBy(CatalogColumn::Kind, true);
    EXPECT_EQ(names(), (std::vector<std::string>{"Fat Bass", "Nimbus", "Warm Pad"}));
}

TEST(CatalogMarksTest, HiddenPatchesAreLeftOutOfTheQuickLoadMenu) {
    std::vector<CatalogEntry> entries{Entry(Patch("Shown"), "/lib/a.qnp"), Entry(Patch("Hidden"), "/lib/b.qnp")};
    entries[1].marks.hidden = true;
    const std::vector<QuickLoadItem> menu = BuildQuickLoadMenu(entries);
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].label, "Shown");
}

// ---- marks follow the content ----------------------------------------------------------------------

TEST(LibraryMarksTest, MarksSurviveARescanARenameAndAMove) {
    TempDir dir;
    const fs::path user = dir.path / "user";
    WriteFile(user / "pad.qnp", Patch("Warm Pad", {{1, 10}}));
    WriteFile(user / "bass.qnp", Patch("Fat Bass", {{1, 20}}));
    const std::vector<LibraryRoot> roots = LibraryRoots("", user.string(), {});
    MemoryCatalogCache cache;
    std::vector<CatalogEntry> entries = RefreshCatalog(roots, cache);
    ASSERT_EQ(entries.size(), 2u);
    const std::uint64_t pad = entries[1].content;
    ASSERT_NE(pad, 0u);
    ASSERT_NE(pad, entries[0].content);
    ASSERT_TRUE(cache.SetMarks(pad, PatchMarks{true, false, static_cast<std::int8_t>(PatchKind::Strings)}));

    auto marksOf = [&](const std::string& fileName) {
        for (const CatalogEntry& e : RefreshCatalog(roots, cache))
            if (e.fileName == fileName) return std::optional(e.marks);
        return std::optional<PatchMarks>();
    };
    const PatchMarks starred{true, false, static_cast<std::int8_t>(PatchKind::Strings)};
    EXPECT_EQ(marksOf("pad.qnp"), starred) << "a rescan";
    EXPECT_EQ(marksOf("bass.qnp"), PatchMarks{});
    fs::rename(user / "pad.qnp", user / "renamed.qnp");
    EXPECT_EQ(marksOf("renamed.qnp"), starred) << "a rename";
    fs::create_directories(user / "Bank");
    fs::rename(user / "renamed.qnp", user / "Bank" / "moved.qnp");
    EXPECT_EQ(marksOf("moved.qnp"), starred) << "a move";
    // A copy is the same patch; an edit makes another one.
    fs::copy_file(user / "Bank" / "moved.qnp", user / "copy.qnp");
    EXPECT_EQ(marksOf("copy.qnp"), starred);
    WriteFile(user / "Bank" / "moved.qnp", Patch("Warm Pad", {{1, 11}}));
    Touch(user / "Bank" / "moved.qnp", 5);
    EXPECT_EQ(marksOf("moved.qnp"), PatchMarks{});
    // Unmarked, it is forgotten.
    ASSERT_TRUE(cache.SetMarks(pad, PatchMarks{}));
    EXPECT_EQ(marksOf("copy.qnp"), PatchMarks{});
    EXPECT_FALSE(cache.SetMarks(0, starred)) << "a file that is no patch has no content to mark";
}

// ---- the quick look ----------------------------------------------------------------------------------

TEST(LibraryQuickLookTest, TheIndexIsTakenAtItsWordOnlyWhileNoFolderChanged) {
    TempDir dir;
    const fs::path user = dir.path / "user";
    WriteFile(user / "a.qnp", Patch("A"));
    WriteFile(user / "Bank" / "b.qnp", Patch("B"));
    std::vector<LibraryRoot> roots = LibraryRoots("", user.string(), {});
    MemoryCatalogCache cache;
    EXPECT_FALSE(CachedCatalogIfUnchanged(roots, cache)) << "never scanned";
    const std::vector<CatalogEntry> scanned = RefreshCatalog(roots, cache);
    ASSERT_EQ(cache.m_scan.folders.size(), 2u);
    ASSERT_TRUE(cache.SetMarks(scanned[0].content, PatchMarks{false, true, -1}));
    std::optional<std::vector<CatalogEntry>> quick = CachedCatalogIfUnchanged(roots, cache);
    ASSERT_TRUE(quick);
    ASSERT_EQ(quick->size(), 2u);
    EXPECT_TRUE(std::any_of(quick->begin(), quick->end(), [](const CatalogEntry& e) { return e.marks.hidden; }));

    // Each change that adds, removes or renames a file, in any folder, is seen; so are other roots.
    auto settle = [&] { RefreshCatalog(roots, cache); };
    auto later = [](const fs::path& folder) {
        fs::last_write_time(folder, fs::last_write_time(folder) + std::chrono::seconds(7));
    };
    WriteFile(user / "Bank" / "c.qnp", Patch("C"));
    later(user / "Bank");
    EXPECT_FALSE(CachedCatalogIfUnchanged(roots, cache)) << "a file added to a bank";
    settle();
    ASSERT_TRUE(CachedCatalogIfUnchanged(roots, cache));
    EXPECT_EQ(CachedCatalogIfUnchanged(roots, cache)->size(), 3u);
    fs::rename(user / "a.qnp", user / "z.qnp");
    later(user);
    EXPECT_FALSE(CachedCatalogIfUnchanged(roots, cache)) << "a rename";
    settle();
    fs::create_directories(user / "New");
    later(user);
    EXPECT_FALSE(CachedCatalogIfUnchanged(roots, cache)) << "a new bank";
    settle();
    fs::remove_all(user / "New");
    EXPECT_FALSE(CachedCatalogIfUnchanged(roots, cache)) << "a bank gone";
    settle();
    const fs::path extra = dir.path / "extra";
    WriteFile(extra / "x.qnp", Patch("X"));
    EXPECT_FALSE(CachedCatalogIfUnchanged(LibraryRoots("", user.string(), {extra.string()}), cache)) << "another root";
    ASSERT_TRUE(CachedCatalogIfUnchanged(roots, cache));
    // A root missing at the scan that appears later.
    const std::vector<LibraryRoot> withMissing = LibraryRoots("", user.string(), {(dir.path / "later").string()});
    RefreshCatalog(withMissing, cache);
    ASSERT_TRUE(CachedCatalogIfUnchanged(withMissing, cache));
    WriteFile(dir.path / "later" / "l.qnp", Patch("L"));
    EXPECT_FALSE(CachedCatalogIfUnchanged(withMissing, cache));
    // A refresh asked to trust the folders does so only while they are unchanged.
    RefreshCallbacks trust;
    trust.trustUnchangedFolders = true;
    RefreshStats stats;
    RefreshCatalog(withMissing, cache);
    EXPECT_EQ(RefreshCatalog(withMissing, cache, &stats, trust).size(), 4u);
    EXPECT_TRUE(stats.trusted);
    EXPECT_EQ(stats.read, 0u);
    EXPECT_FALSE(stats.folders.empty());
    WriteFile(dir.path / "later" / "m.qnp", Patch("M"));
    later(dir.path / "later");
    EXPECT_EQ(RefreshCatalog(withMissing, cache, &stats, trust).size(), 5u);
    EXPECT_FALSE(stats.trusted);
    // A spoiled record is never trusted.
    cache.m_scan.folders.push_back({"\xFF/not a folder", 5});
    EXPECT_FALSE(CachedCatalogIfUnchanged(withMissing, cache));
}
