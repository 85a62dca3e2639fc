// SPDX-License-Identifier: GPL-3.0-or-later
// The patch library's core: scanning, the index against its cache, search, sorting, the quick-load menu,
// import and audition.
#include "LibraryFixtures.h"

#include "library/Audition.h"
#include "library/CatalogSnapshot.h"
#include "library/CatalogView.h"
#include "library/LibraryImport.h"
#include "library/LibraryIndex.h"
#include "library/MemoryCatalogCache.h"
#include "library/PatchKinds.h"
#include "library/QuickLoadGrouping.h"
#include "library/TextFold.h"
#include "util/LegacyText.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <tuple>

using namespace libtest;

namespace {

// fileName, bank, valid, reason, patch name
using Row = std::tuple<std::string, std::string, bool, std::string, std::string>;

std::vector<Row> Rows(const std::vector<CatalogEntry>& entries) {
    std::vector<Row> rows;
    for (const CatalogEntry& e : entries) rows.emplace_back(e.fileName, e.bank, e.valid, e.reason, e.patchName);
    return rows;
}

// Records what the index asks of its cache.
struct RecordingCache : MemoryCatalogCache {
    std::vector<std::vector<std::string>> updatedPaths;
    std::vector<std::vector<std::string>> removedPaths;
    bool Update(std::span<const CatalogEntry> changed, std::span<const std::string> removed) override {
        std::vector<std::string> paths;
        for (const CatalogEntry& e : changed) paths.push_back(fs::path(e.path).filename().string());
        updatedPaths.push_back(paths);
        std::vector<std::string> gone;
        for (const std::string& p : removed) gone.push_back(fs::path(p).filename().string());
        std::sort(gone.begin(), gone.end());
        removedPaths.push_back(gone);
        return MemoryCatalogCache::Update(changed, removed);
    }
};

struct LibraryFolderTest : ::testing::Test {
    TempDir dir;
    fs::path program = dir.path / "program";
    fs::path user = dir.path / "user";
    std::vector<LibraryRoot> Roots(std::vector<std::string> added = {}) {
        return LibraryRoots(program.string(), user.string(), added);
    }
};

}  // namespace

// ---- scanning and reading ---------------------------------------------------------------------------

TEST_F(LibraryFolderTest, ListsEveryPatchFileWithItsBankAndEveryBrokenOneWithItsReason) {
    WriteFile(program / "default.qnp", PatchBytes("Init", "Factory"));
    WriteFile(program / "sub" / "not_listed.qnp", PatchBytes("Program subfolders are not the library"));
    WriteFile(user / "Lead.qnp", PatchBytes("Lead", "Me", "bright"));
    WriteFile(user / "Pads" / "Warm.qnp", PatchBytes("Warm Pad"));
    WriteFile(user / "Pads" / "Soft" / "AIR.QNP", PatchBytes("Air"));
    WriteFile(user / "Pads" / "notes.txt", PatchBytes("not a .qnp name"));
    WriteFile(user / ".git" / "hidden.qnp", PatchBytes("hidden folder"));
    WriteFile(user / ".hidden.qnp", PatchBytes("hidden file"));
    WriteFile(user / "Broken" / "empty.qnp", {});
    std::vector<std::uint8_t> shortFile = PatchBytes("short");
    shortFile.pop_back();
    WriteFile(user / "Broken" / "short.qnp", shortFile);
    std::vector<std::uint8_t> lower = PatchBytes("lower");
    lower[0] = 'q', lower[1] = 'n', lower[2] = 'p';
    WriteFile(user / "Broken" / "magic.qnp", lower);
    WriteFile(user / "Broken" / "newer.qnp", PatchBytes("newer", "", "", 1));
    WriteFile(user / "Broken" / "older.qnp", PatchBytes("older", "", "", -1));
    std::vector<std::uint8_t> longer = PatchBytes("longer");
    longer.resize(longer.size() + 5000, 0xEE);
    WriteFile(user / "Broken" / "longer.qnp", longer);
    fs::create_directories(user / "Broken" / "folder.qnp");
    fs::create_symlink(user / "nowhere", user / "Broken" / "dangling.qnp");
    ASSERT_EQ(mkfifo((user / "Broken" / "pipe.qnp").c_str(), 0600), 0);  // must never stall the scan

    RefreshStats stats;
    MemoryCatalogCache cache;
    const std::vector<CatalogEntry> entries = RefreshCatalog(Roots(), cache, &stats);
    const std::vector<Row> expected{
        {"default.qnp", "", true, "", "Init"},
        {"dangling.qnp", "Broken", false, "Couldn't open input file", ""},
        {"empty.qnp", "Broken", false, "Couldn't read from input file", ""},
        {"longer.qnp", "Broken", true, "", "longer"},
        {"magic.qnp", "Broken", false, "Not a QuarnEdit Patch", ""},
        {"newer.qnp", "Broken", false, "Unknown Patch Version", ""},
        {"older.qnp", "Broken", true, "", "older"},
        {"short.qnp", "Broken", false, "Couldn't read from input file", ""},
        {"Lead.qnp", "", true, "", "Lead"},
        {"AIR.QNP", "Pads/Soft", true, "", "Air"},
        {"Warm.qnp", "Pads", true, "", "Warm Pad"},
    };
    EXPECT_EQ(Rows(entries), expected);
    EXPECT_EQ(stats.read, expected.size());
    EXPECT_EQ(entries[1].size, 0u);
    EXPECT_EQ(entries[3].size, longer.size());
    EXPECT_EQ(entries[8].author, "Me");
    EXPECT_EQ(entries[8].comment, "bright");
    const std::set<std::string> folders(stats.folders.begin(), stats.folders.end());
    EXPECT_EQ(folders, (std::set<std::string>{program.string(), user.string(), (user / "Pads").string(),
                                              (user / "Pads" / "Soft").string(), (user / "Broken").string(),
                                              (user / "Broken" / "folder.qnp").string()}));
}

TEST_F(LibraryFolderTest, HostileTreesNeitherLoopNorStallNorListTwice) {
    WriteFile(user / "Bank" / "a.qnp", PatchBytes("a"));
    fs::create_directory_symlink(user, user / "Bank" / "loop");       // a folder that contains itself
    fs::create_symlink("/dev/zero", user / "Bank" / "zero.qnp");      // endless, and no file
    fs::create_symlink(user / "Bank" / "a.qnp", user / "alias.qnp");  // a link to a patch is listed as itself
    WriteFile(user / "Bank" / "new\nline.qnp", PatchBytes("two\nlines"));
    fs::path deep = user;
    for (int i = 0; i < 40; ++i) deep /= "d";
    WriteFile(deep / "deep.qnp", PatchBytes("too deep"));
    MemoryCatalogCache cache;
    const std::vector<CatalogEntry> entries = RefreshCatalog(Roots(), cache);
    EXPECT_EQ(Rows(entries), (std::vector<Row>{{"a.qnp", "Bank", true, "", "a"},
                                               {"new\nline.qnp", "Bank", true, "", "two\nlines"},
                                               {"alias.qnp", "", true, "", "a"}}));
    EXPECT_EQ(DisplayName(entries[1]), "two lines");
}

TEST_F(LibraryFolderTest, AddedFoldersAreBanksUnderTheirOwnNameAndAFolderIsListedOnce) {
    const fs::path added = dir.path / "Old Disk";
    WriteFile(added / "Bass.qnp", PatchBytes("Bass"));
    WriteFile(added / "Keys" / "EP.qnp", PatchBytes("EP"));
    WriteFile(user / "Mine.qnp", PatchBytes("Mine"));
    const std::vector<LibraryRoot> roots = Roots({added.string() + "/", user.string(), added.string()});
    EXPECT_EQ(roots.size(), 3u);
    MemoryCatalogCache cache;
    EXPECT_EQ(Rows(RefreshCatalog(roots, cache)), (std::vector<Row>{{"Bass.qnp", "Old Disk", true, "", "Bass"},
                                                                    {"EP.qnp", "Old Disk/Keys", true, "", "EP"},
                                                                    {"Mine.qnp", "", true, "", "Mine"}}));
}

// A folder added inside another (or inside the user's own) lists each patch once, also when the catalog comes
// from the index the first refresh wrote, and after a file there changed.
TEST_F(LibraryFolderTest, AFolderAddedInsideAnotherListsEachPatchOnce) {
    const fs::path added = dir.path / "Old Disk";
    WriteFile(added / "Bass.qnp", PatchBytes("Bass"));
    WriteFile(added / "Keys" / "EP.qnp", PatchBytes("EP"));
    WriteFile(user / "Pads" / "Warm.qnp", PatchBytes("Warm"));
    const std::vector<LibraryRoot> roots = Roots({(added / "Keys").string(), added.string(), (user / "Pads").string()});
    const std::vector<Row> expected{{"Warm.qnp", "Pads", true, "", "Warm"},
                                    {"EP.qnp", "Keys", true, "", "EP"},
                                    {"Bass.qnp", "Old Disk", true, "", "Bass"}};
    RecordingCache cache;
    RefreshStats stats;
    const auto sorted = [](std::vector<Row> rows) {
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    EXPECT_EQ(sorted(Rows(RefreshCatalog(roots, cache, &stats))), sorted(expected));
    EXPECT_EQ(stats.files, 3u);
    EXPECT_EQ(cache.m_entries.size(), 3u);
    std::vector<CatalogEntry> offered;
    RefreshCallbacks callbacks;
    callbacks.cached = [&](const std::vector<CatalogEntry>& e) { offered = e; };
    EXPECT_EQ(sorted(Rows(RefreshCatalog(roots, cache, &stats, callbacks))), sorted(expected));
    EXPECT_EQ(stats.read, 0u);
    EXPECT_EQ(sorted(Rows(offered)), sorted(expected));
    WriteFile(added / "Keys" / "EP.qnp", PatchBytes("EP 2"));
    Touch(added / "Keys" / "EP.qnp", 5);
    const std::vector<Row> changed = Rows(RefreshCatalog(roots, cache, &stats));
    EXPECT_EQ(stats.read, 1u);
    EXPECT_EQ(changed.size(), 3u);
    EXPECT_EQ(std::count(changed.begin(), changed.end(), Row{"EP.qnp", "Keys", true, "", "EP 2"}), 1);
    EXPECT_EQ(cache.m_entries.size(), 3u);
}

TEST_F(LibraryFolderTest, TextsFromTheOldPlatformAreShownAsUtf8) {
    WriteFile(user / "Caf\xE9.qnp", PatchBytes("Caf\xE9 \x80", "J\xFCrgen", "\x93quoted\x94"));
    WriteFile(user / "utf8.qnp", PatchBytes("Caf\xC3\xA9"));
    MemoryCatalogCache cache;
    const std::vector<CatalogEntry> entries = RefreshCatalog(Roots(), cache);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, (user / "Caf\xE9.qnp").string());  // the path keeps its bytes
    EXPECT_EQ(entries[0].fileName, "Caf\xC3\xA9.qnp");
    EXPECT_EQ(entries[0].patchName, "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(entries[0].author, "J\xC3\xBCrgen");
    EXPECT_EQ(entries[0].comment, "\xE2\x80\x9Cquoted\xE2\x80\x9D");
    EXPECT_EQ(entries[1].patchName, "Caf\xC3\xA9");
}

// ---- change detection ---------------------------------------------------------------------------------

TEST_F(LibraryFolderTest, OnlyNewChangedAndRemovedFilesReachTheCache) {
    for (const char* name : {"a", "b", "c"}) WriteFile(user / "Bank" / (std::string(name) + ".qnp"), PatchBytes(name));
    RecordingCache cache;
    RefreshStats stats;
    RefreshCatalog(Roots(), cache, &stats);
    EXPECT_EQ(stats.read, 3u);
    EXPECT_EQ(cache.updatedPaths.back(), (std::vector<std::string>{"a.qnp", "b.qnp", "c.qnp"}));

    // Nothing changed: nothing read, nothing written.
    std::vector<CatalogEntry> again = RefreshCatalog(Roots(), cache, &stats);
    EXPECT_EQ(stats.read, 0u);
    EXPECT_EQ(cache.updatedPaths.size(), 1u);
    EXPECT_EQ(again, cache.m_entries);

    WriteFile(user / "Bank" / "b.qnp", PatchBytes("b, edited"));
    Touch(user / "Bank" / "b.qnp", 5);
    fs::remove(user / "Bank" / "c.qnp");
    WriteFile(user / "Bank" / "d.qnp", PatchBytes("d"));
    again = RefreshCatalog(Roots(), cache, &stats);
    EXPECT_EQ(stats.read, 2u);
    EXPECT_EQ(stats.removed, 1u);
    EXPECT_EQ(cache.updatedPaths.back(), (std::vector<std::string>{"b.qnp", "d.qnp"}));
    EXPECT_EQ(cache.removedPaths.back(), std::vector<std::string>{"c.qnp"});
    EXPECT_EQ(Rows(again), (std::vector<Row>{{"a.qnp", "Bank", true, "", "a"},
                                             {"b.qnp", "Bank", true, "", "b, edited"},
                                             {"d.qnp", "Bank", true, "", "d"}}));

    // A folder renamed: the same files under a new bank; their texts come from the cache.
    fs::rename(user / "Bank", user / "Renamed");
    again = RefreshCatalog(Roots(), cache, &stats);
    EXPECT_EQ(stats.read, 3u);  // new paths
    EXPECT_EQ(again[0].bank, "Renamed");
    EXPECT_EQ(stats.removed, 3u);
}

TEST_F(LibraryFolderTest, TheCacheIsTakenAtItsWordOnlyForTheSameSizeAndTime) {
    WriteFile(user / "x.qnp", PatchBytes("real"));
    MemoryCatalogCache cache;
    const std::vector<CatalogEntry> first = RefreshCatalog(Roots(), cache);
    // A cache entry whose time differs from the file's is not believed.
    cache.m_entries[0].patchName = "stale";
    cache.m_entries[0].mtime += 1;
    RefreshStats stats;
    EXPECT_EQ(RefreshCatalog(Roots(), cache, &stats), first);
    EXPECT_EQ(stats.read, 1u);
    // Nor one whose size differs.
    cache.m_entries[0].patchName = "stale";
    cache.m_entries[0].size += 1;
    EXPECT_EQ(RefreshCatalog(Roots(), cache, &stats), first);
    EXPECT_EQ(cache.m_entries, first);
}

TEST_F(LibraryFolderTest, ACancelledRefreshLeavesTheCacheAlone) {
    for (int i = 0; i < 20; ++i) WriteFile(user / (std::to_string(i) + ".qnp"), PatchBytes("p"));
    RecordingCache cache;
    std::atomic<bool> cancel{false};
    RefreshCallbacks callbacks;
    callbacks.cancel = &cancel;
    cancel = true;
    RefreshStats stats;
    RefreshCatalog(Roots(), cache, &stats, callbacks);
    EXPECT_FALSE(stats.cacheWritten);
    EXPECT_TRUE(cache.updatedPaths.empty());
}

TEST_F(LibraryFolderTest, WhatTheCacheHeldIsOfferedBeforeTheFoldersAreChecked) {
    WriteFile(user / "x.qnp", PatchBytes("x"));
    MemoryCatalogCache cache;
    RefreshCatalog(Roots(), cache);
    std::vector<CatalogEntry> offered;
    RefreshCallbacks callbacks;
    callbacks.cached = [&](const std::vector<CatalogEntry>& e) { offered = e; };
    fs::remove(user / "x.qnp");
    EXPECT_TRUE(RefreshCatalog(Roots(), cache, nullptr, callbacks).empty());
    EXPECT_EQ(Rows(offered), (std::vector<Row>{{"x.qnp", "", true, "", "x"}}));
}

// ---- search and sorting ---------------------------------------------------------------------------------

namespace {

CatalogEntry Entry(std::string name, std::string author, std::string comment, std::string file, std::string bank = "",
                   std::int64_t mtime = 0, bool valid = true) {
    CatalogEntry e;
    e.path = "/lib/" + bank + "/" + file;
    e.fileName = file;
    e.bank = bank;
    e.mtime = mtime;
    e.valid = valid;
    e.patchName = valid ? name : "";
    e.author = author;
    e.comment = comment;
    e.reason = valid ? "" : "Not a QuarnEdit Patch";
    return e;
}

std::vector<std::string> Names(const CatalogView& view) {
    std::vector<std::string> names;
    for (std::size_t r = 0; r < view.RowCount(); ++r) names.push_back(view.RowName(r));
    return names;
}

CatalogView SearchLibrary() {
    CatalogView view;
    view.SetEntries({Entry("Warm Pad", "Anna", "slow attack", "warm.qnp", "Pads", 300),
                     Entry("Bass Drop", "Bob", "", "bd.qnp", "Bass", 100),
                     Entry("Caf\xC3\xA9 Strings", "\xC3\x89lise", "lush", "strings.qnp", "Pads", 200),
                     Entry("", "", "", "noname.qnp", "", 400), Entry("", "", "", "junk.qnp", "", 50, false)});
    return view;
}

}  // namespace

TEST(CatalogViewTest, SearchIsCaseInsensitiveOverNameAuthorCommentAndFileName) {
    CatalogView view = SearchLibrary();
    EXPECT_EQ(Names(view),
              (std::vector<std::string>{"Bass Drop", "Caf\xC3\xA9 Strings", "junk", "noname", "Warm Pad"}));
    auto find = [&view](const char* text) {
        view.SetFilter(text);
        return Names(view);
    };
    EXPECT_EQ(find("PAD"), std::vector<std::string>{"Warm Pad"});
    EXPECT_EQ(find("bob"), std::vector<std::string>{"Bass Drop"});
    EXPECT_EQ(find("ATTACK"), std::vector<std::string>{"Warm Pad"});
    EXPECT_EQ(find("NONAME"), std::vector<std::string>{"noname"});
    EXPECT_EQ(find("qnp"), std::vector<std::string>{});  // the extension every file has
    EXPECT_EQ(find("CAF\xC3\x89"), std::vector<std::string>{"Caf\xC3\xA9 Strings"});
    EXPECT_EQ(find("\xC3\xA9lise"), std::vector<std::string>{"Caf\xC3\xA9 Strings"});
    // Every word must occur, in any field, in any order.
    EXPECT_EQ(find("lush anna"), std::vector<std::string>{});
    EXPECT_EQ(find("slow  warm"), std::vector<std::string>{"Warm Pad"});
    // A word does not match across two fields ("Pad" + "Anna").
    EXPECT_EQ(find("padanna"), std::vector<std::string>{});
    // Narrowing one keystroke at a time, then widening again, gives what a fresh search gives.
    std::vector<std::vector<std::string>> typed;
    for (const char* t : {"s", "st", "str", "st", "s", ""}) typed.push_back(find(t));
    EXPECT_EQ(typed[0], (std::vector<std::string>{"Bass Drop", "Caf\xC3\xA9 Strings", "Warm Pad"}));
    EXPECT_EQ(typed[1], (std::vector<std::string>{"Caf\xC3\xA9 Strings"}));
    EXPECT_EQ(typed[2], typed[1]);
    EXPECT_EQ(typed[3], typed[1]);
    EXPECT_EQ(typed[4], typed[0]);
    EXPECT_EQ(typed[5].size(), 5u);
}

TEST(CatalogViewTest, SortsByEveryColumnBothWaysWithTiesByName) {
    CatalogView view = SearchLibrary();
    const std::string cafe = "Caf\xC3\xA9 Strings";
    const struct {
        CatalogColumn column;
        bool ascending;
        std::vector<std::string> names;
    } orders[] = {
        {CatalogColumn::Modified, true, {"junk", "Bass Drop", cafe, "Warm Pad", "noname"}},
        {CatalogColumn::Modified, false, {"noname", "Warm Pad", cafe, "Bass Drop", "junk"}},
        {CatalogColumn::Bank, true, {"junk", "noname", "Bass Drop", cafe, "Warm Pad"}},
        {CatalogColumn::Author, false, {cafe, "Bass Drop", "Warm Pad", "noname", "junk"}},
        {CatalogColumn::File, true, {"Bass Drop", "junk", "noname", cafe, "Warm Pad"}},
    };
    for (const auto& order : orders) {
        view.SortBy(order.column, order.ascending);
        EXPECT_EQ(Names(view), order.names) << static_cast<int>(order.column) << (order.ascending ? " up" : " down");
    }
    // The filter holds across a change of order.
    view.SetFilter("a");
    view.SortBy(CatalogColumn::Name, false);
    EXPECT_EQ(Names(view), (std::vector<std::string>{"Warm Pad", "noname", "Caf\xC3\xA9 Strings", "Bass Drop"}));
    EXPECT_EQ(view.RowOfPath("/lib/Bass/bd.qnp"), 3u);
    EXPECT_EQ(view.RowOfPath("/lib//junk.qnp"), std::nullopt);
}

TEST(CatalogViewTest, NamesAreOneLineAndFallBackToTheFileName) {
    EXPECT_EQ(DisplayName(Entry("two\nlines\t", "", "", "f.qnp")), "two lines");
    EXPECT_EQ(DisplayName(Entry("   ", "", "", "spaces.qnp")), "spaces");
    EXPECT_EQ(DisplayName(Entry("", "", "", "no.dots.qnp", "", 0, false)), "no.dots");
    EXPECT_EQ(FoldCase("\xC3\x84\xC3\x96\xC3\x9C \xC5\x81\xC3\x97 \xCE\xA9 \xD0\x96 \xE2\x82\xAC ABC \xFF"),
              "\xC3\xA4\xC3\xB6\xC3\xBC \xC5\x82\xC3\x97 \xCF\x89 \xD0\xB6 \xE2\x82\xAC abc \xFF");
    // The edges of the Latin-1 letters: Thorn folds, the multiplication and division signs stay.
    EXPECT_EQ(FoldCase("\xC3\x9E\xC3\xBE \xC3\x80\xC3\x9D \xC3\xB7\xC3\x97"),
              "\xC3\xBE\xC3\xBE \xC3\xA0\xC3\xBD \xC3\xB7\xC3\x97");
}

// ---- the quick-load menu --------------------------------------------------------------------------------

namespace {

std::vector<std::string> Labels(const std::vector<QuickLoadItem>& items) {
    std::vector<std::string> labels;
    for (const QuickLoadItem& i : items) labels.push_back(i.label);
    return labels;
}

// Every menu within the limit, every path exactly once, and labels in the order of the alphabet.
void CheckMenu(const std::vector<QuickLoadItem>& items, std::multiset<std::string>& paths) {
    EXPECT_LE(items.size(), kQuickLoadMenuLimit);
    for (const QuickLoadItem& i : items) {
        if (i.IsMenu()) {
            EXPECT_FALSE(i.children.empty()) << i.label;
            CheckMenu(i.children, paths);
        } else {
            paths.insert(i.path);
        }
    }
}

std::vector<CatalogEntry> Named(const std::vector<std::string>& names, const std::string& bank = "") {
    std::vector<CatalogEntry> entries;
    for (std::size_t i = 0; i < names.size(); ++i)
        entries.push_back(Entry(names[i], "", "", std::to_string(i) + ".qnp", bank));
    return entries;
}

}  // namespace

TEST(QuickLoadGroupingTest, BanksBecomeSubmenusAndInvalidFilesAreLeftOut) {
    std::vector<CatalogEntry> entries = Named({"zeta", "Alpha"});
    for (CatalogEntry& e : Named({"Soft"}, "Pads/Soft")) entries.push_back(e);
    for (CatalogEntry& e : Named({"Warm"}, "Pads")) entries.push_back(e);
    for (CatalogEntry& e : Named({"Sub"}, "bass")) entries.push_back(e);
    entries.push_back(Entry("", "", "", "junk.qnp", "", 0, false));
    const std::vector<QuickLoadItem> menu = BuildQuickLoadMenu(entries);
    const std::vector<QuickLoadItem> expected{
        {"bass", "", {{"Sub", "/lib/bass/0.qnp", {}}}},
        {"Pads", "", {{"Soft", "", {{"Soft", "/lib/Pads/Soft/0.qnp", {}}}}, {"Warm", "/lib/Pads/0.qnp", {}}}},
        {"Alpha", "/lib//1.qnp", {}},
        {"zeta", "/lib//0.qnp", {}},
    };
    EXPECT_EQ(menu, expected);
}

TEST(QuickLoadGroupingTest, FortyEntriesStayFlatFortyOneAreSplitByLetter) {
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) names.push_back(std::string(1, static_cast<char>('a' + i % 26)) + std::to_string(i));
    EXPECT_EQ(BuildQuickLoadMenu(Named(names)).size(), 40u);
    names.push_back("zz");
    const std::vector<QuickLoadItem> menu = BuildQuickLoadMenu(Named(names));
    // a..n hold two names each, o..y one, z two: as many letters as fit in 40, then the rest.
    EXPECT_EQ(Labels(menu), (std::vector<std::string>{"A\u2013Y", "Z"}));
    EXPECT_EQ(menu[0].children.size(), 39u);
    EXPECT_EQ(menu[1].children.size(), 2u);
}

TEST(QuickLoadGroupingTest, ALetterWithTooManyNamesIsSplitByItsNextLetters) {
    std::vector<std::string> names{"Alpha", "Beta"};
    for (int i = 0; i < 60; ++i)
        names.push_back(std::string("S") + static_cast<char>('a' + i % 20) + std::to_string(i));
    const std::vector<QuickLoadItem> menu = BuildQuickLoadMenu(Named(names));
    EXPECT_EQ(Labels(menu), (std::vector<std::string>{"A\u2013B", "S"}));
    EXPECT_EQ(Labels(menu[1].children), (std::vector<std::string>{"Sa\u2013Sm", "Sn\u2013St"}));
    std::multiset<std::string> paths;
    CheckMenu(menu, paths);
    EXPECT_EQ(paths.size(), names.size());
}

TEST(QuickLoadGroupingTest, NamesNoLetterTellsApartAreNumbered) {
    const std::vector<QuickLoadItem> menu = BuildQuickLoadMenu(Named(std::vector<std::string>(85, "Init")));
    EXPECT_EQ(Labels(menu), (std::vector<std::string>{"Init (1\u201340)", "Init (41\u201380)", "Init (81\u201385)"}));
}

TEST(QuickLoadGroupingTest, LargeRandomLibrariesKeepEveryMenuWithinTheLimit) {
    std::mt19937 random(14);
    std::vector<CatalogEntry> entries;
    const std::vector<std::string> starts{"A", "B", "S", "St", "Str", "\xC3\x84", "\xD0\x96", "1", "(", "\xE2\x82\xAC"};
    for (int i = 0; i < 6000; ++i) {
        std::string name = starts[random() % starts.size()];
        for (int k = 0; k < 3; ++k) name += static_cast<char>('a' + random() % 3);
        CatalogEntry e =
            Entry(name, "", "", std::to_string(i) + ".qnp", i % 3 == 0 ? "" : "Bank" + std::to_string(i % 60));
        entries.push_back(e);
    }
    std::multiset<std::string> paths;
    CheckMenu(BuildQuickLoadMenu(entries), paths);
    std::multiset<std::string> expected;
    for (const CatalogEntry& e : entries) expected.insert(e.path);
    EXPECT_EQ(paths, expected);
}

namespace {

// The menu a tree gives with every bank opened, as the user would open them one by one.
std::vector<QuickLoadItem> Opened(QuickLoadTree& tree, std::vector<QuickLoadItem> items) {
    for (QuickLoadItem& item : items) {
        if (item.bank >= 0) {
            EXPECT_TRUE(item.children.empty()) << item.label;
            item.children = tree.Bank(std::exchange(item.bank, -1));
        }
        item.children = Opened(tree, std::move(item.children));
    }
    return items;
}

}  // namespace

TEST(QuickLoadGroupingTest, TheMenuBuiltAsItOpensIsTheWholeMenu) {
    std::mt19937 random(29);
    std::vector<CatalogEntry> entries;
    for (int i = 0; i < 4000; ++i) {
        std::string name(1, static_cast<char>('A' + random() % 4));
        for (int k = 0; k < 3; ++k) name += static_cast<char>('a' + random() % 3);
        const int bank = static_cast<int>(random() % 70);
        // Nested banks, some the same but for case, a top with too many to list, a hidden and a broken patch.
        std::string folder = bank < 10 ? "" : (bank % 2 ? "Deep/Bank" : "deep/bank") + std::to_string(bank);
        CatalogEntry e = Entry(name, "", "", std::to_string(i) + ".qnp", folder, 0, i % 97 != 0);
        e.marks.hidden = i % 89 == 0;
        entries.push_back(e);
    }
    const std::vector<QuickLoadItem> whole = BuildQuickLoadMenu(entries);
    QuickLoadTree tree(entries);
    const std::vector<QuickLoadItem> top = tree.Top();
    // Only banks wait: the top is there at once.
    EXPECT_TRUE(std::any_of(top.begin(), top.end(), [](const QuickLoadItem& i) { return i.bank >= 0; }) ||
                std::any_of(top.begin(), top.end(), [](const QuickLoadItem& i) { return !i.children.empty(); }));
    EXPECT_EQ(Opened(tree, top), whole);
    // A number that is no bank's opens nothing.
    EXPECT_TRUE(tree.Bank(-1).empty());
    EXPECT_TRUE(tree.Bank(1 << 20).empty());
}

// ---- import and saving into the library ------------------------------------------------------------------

TEST(LibraryImportTest, FileNamesMadeFromPatchNames) {
    EXPECT_EQ(SafeFileStem("Warm Pad"), "Warm Pad");
    EXPECT_EQ(SafeFileStem("AC/DC: \"Live\" <1>|*?\\"), "AC_DC_ _Live_ _1_____");
    EXPECT_EQ(SafeFileStem("..hidden"), "hidden");
    EXPECT_EQ(SafeFileStem(" trailing. . "), "trailing");
    EXPECT_EQ(SafeFileStem(""), "Untitled");
    EXPECT_EQ(SafeFileStem("..."), "Untitled");
    EXPECT_EQ(SafeFileStem("tab\there\nnew"), "tab_here_new");
    EXPECT_EQ(SafeFileStem("Caf\xE9"), "Caf\xC3\xA9");
    // Cut at 100 bytes, never inside a character.
    const std::string longName = std::string(99, 'x') + "\xC3\xA9" + "tail";
    EXPECT_EQ(SafeFileStem(longName), std::string(99, 'x'));
}

TEST(LibraryImportTest, NewFilesNeverTakeAnExistingName) {
    TempDir dir;
    const std::vector<std::uint8_t> theirs = PatchBytes("theirs");
    WriteFile(dir.path / "Pad.qnp", theirs);
    WriteFile(dir.path / "Pad (2).qnp", theirs);
    EXPECT_EQ(LibrarySavePath(dir.path.string(), "Pad"), (dir.path / "Pad (3).qnp").string());
    EXPECT_EQ(LibrarySavePath(dir.path.string(), "Lead"), (dir.path / "Lead.qnp").string());
    const std::vector<std::uint8_t> mine = PatchBytes("mine");
    const NewFileResult written = WriteNewLibraryFile(dir.path.string(), "Pad", mine);
    EXPECT_EQ(written.result, FileWriteResult::Ok);
    EXPECT_EQ(written.path, (dir.path / "Pad (3).qnp").string());
    EXPECT_EQ(ReadFile(dir.path / "Pad (3).qnp"), mine);
    EXPECT_EQ(ReadFile(dir.path / "Pad.qnp"), theirs);
    EXPECT_EQ(ReadFile(dir.path / "Pad (2).qnp"), theirs);
    // No temporary file is left behind.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path)) ++files;
    EXPECT_EQ(files, 3u);
    // A folder that cannot be made: a file stands where it would go.
    EXPECT_EQ(WriteNewLibraryFile((dir.path / "Pad.qnp" / "sub").string(), "x", mine).result,
              FileWriteResult::OpenFailed);
}

TEST_F(LibraryFolderTest, DroppedFilesAndFoldersAreCopiedInNeverOverwritingAndBrokenOnesStay) {
    const fs::path outside = dir.path / "outside";
    const std::vector<std::uint8_t> lead = PatchBytes("Lead/One");
    const std::vector<std::uint8_t> existing = PatchBytes("Already here");
    WriteFile(outside / "l.qnp", lead);
    WriteFile(outside / "unnamed.qnp", PatchBytes(""));
    WriteFile(outside / "junk.qnp", {'j', 'u', 'n', 'k'});
    WriteFile(outside / "Drums" / "Kick.qnp", PatchBytes("Kick"));
    WriteFile(outside / "Drums" / "deeper" / "Snare.qnp", PatchBytes("Snare"));
    WriteFile(user / "Lead_One.qnp", existing);
    WriteFile(user / "mine.qnp", existing);

    const std::vector<ImportOutcome> outcomes = ImportIntoLibrary(
        {(outside / "l.qnp").string(), (outside / "unnamed.qnp").string(), (outside / "junk.qnp").string(),
         (outside / "Drums").string() + "/", (outside / "gone.qnp").string(), (user / "mine.qnp").string()},
        user.string());
    std::vector<std::tuple<std::string, std::string, std::string>> got;
    for (const ImportOutcome& o : outcomes)
        got.emplace_back(fs::path(o.source).filename().string(),
                         o.target.empty() ? "" : fs::path(o.target).lexically_relative(user).string(), o.problem);
    EXPECT_EQ(got, (std::vector<std::tuple<std::string, std::string, std::string>>{
                       {"l.qnp", "Lead_One (2).qnp", ""},
                       {"unnamed.qnp", "unnamed.qnp", ""},
                       {"junk.qnp", "", "Couldn't read from input file"},
                       {"Kick.qnp", "Drums/Kick.qnp", ""},
                       {"Snare.qnp", "Drums/Snare.qnp", ""},
                       {"gone.qnp", "", "Couldn't open input file"},
                       {"mine.qnp", "", "Already in the library"},
                   }));
    EXPECT_EQ(ReadFile(user / "Lead_One.qnp"), existing);
    EXPECT_EQ(ReadFile(user / "Lead_One (2).qnp"), lead);
    EXPECT_TRUE(fs::exists(outside / "junk.qnp"));

    // The same drop again: copies beside the first ones.
    const std::vector<ImportOutcome> again = ImportIntoLibrary({(outside / "l.qnp").string()}, user.string());
    EXPECT_EQ(again[0].target, (user / "Lead_One (3).qnp").string());
}

TEST_F(LibraryFolderTest, DroppingAFolderAboveTheUsersFolderLeavesTheUsersOwnPatchesAlone) {
    WriteFile(user / "mine.qnp", PatchBytes("Mine"));
    WriteFile(user / "Bank" / "deep.qnp", PatchBytes("Deep"));
    WriteFile(dir.path / "stray.qnp", PatchBytes("Stray"));

    // The folder that holds the user's folder, named with a trailing slash and through a detour.
    const std::string parent = (dir.path / "user" / "..").string() + "/";
    std::vector<std::tuple<std::string, std::string, std::string>> got;
    for (const ImportOutcome& o : ImportIntoLibrary({parent}, user.string()))
        got.emplace_back(fs::path(o.source).lexically_relative(dir.path).lexically_normal().string(),
                         o.target.empty() ? "" : fs::path(o.target).lexically_relative(user).string(), o.problem);
    const std::string bank = dir.path.filename().string();
    EXPECT_EQ(got, (std::vector<std::tuple<std::string, std::string, std::string>>{
                       {"stray.qnp", bank + "/Stray.qnp", ""},
                       {"user", "", "Already in the library"},
                   }));
    // Nothing of the user's was copied anywhere: only the stray patch is new.
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(user))
        if (e.is_regular_file()) files.insert(e.path().lexically_relative(user).string());
    EXPECT_EQ(files, (std::set<std::string>{"Bank/deep.qnp", bank + "/Stray.qnp", "mine.qnp"}));

    // The user's folder itself, however it is written, is already in the library.
    WriteFile(user / "..x" / "odd.qnp", PatchBytes("Odd"));  // a folder whose name only starts like ".."
    for (const std::string& same :
         {user.string() + "/", (user / "Bank" / "..").string(), (user / "..x" / "odd.qnp").string()}) {
        const std::vector<ImportOutcome> again = ImportIntoLibrary({same}, user.string());
        ASSERT_EQ(again.size(), 1u) << same;
        EXPECT_EQ(again[0].problem, "Already in the library") << same;
    }
}

// ---- audition -------------------------------------------------------------------------------------------

namespace {

struct FakeHost : LibraryHost {
    std::vector<std::string> calls;
    bool openSucceeds = true;
    void AuditionPatch(const std::string& path) override { calls.push_back("audition " + path); }
    bool OpenPatch(const std::string& path) override {
        calls.push_back("open " + path);
        return openSucceeds;
    }
    void RestoreDocumentPatch() override { calls.push_back("restore"); }
};

}  // namespace

TEST(AuditionTest, SendsEachNewSelectionOnlyWhileOnAndRestoresOnceWhenTurnedOff) {
    FakeHost host;
    Audition audition(host);
    const CatalogEntry a = Entry("A", "", "", "a.qnp");
    const CatalogEntry b = Entry("B", "", "", "b.qnp");
    const CatalogEntry junk = Entry("", "", "", "junk.qnp", "", 0, false);
    audition.Selected(&a);  // off: nothing
    audition.SetEnabled(true);
    audition.Selected(&a);
    audition.Selected(&a);  // the same row again (a refresh of the list)
    audition.Selected(&b);
    audition.Selected(&junk);  // no patch: nothing to send
    audition.Selected(nullptr);
    audition.Selected(&b);
    audition.SetEnabled(false);
    audition.SetEnabled(false);
    audition.Close();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"audition /lib//a.qnp", "audition /lib//b.qnp",
                                                    "audition /lib//b.qnp", "restore"}));
}

TEST(AuditionTest, ClosingRestoresOnlyWhenSomethingWasSent) {
    FakeHost host;
    const CatalogEntry a = Entry("A", "", "", "a.qnp");
    {
        Audition audition(host);
        audition.SetEnabled(true);
        audition.Close();
    }
    EXPECT_TRUE(host.calls.empty());
    Audition audition(host);
    audition.SetEnabled(true);
    audition.Selected(&a);
    audition.Close();
    audition.Close();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"audition /lib//a.qnp", "restore"}));
}

TEST(AuditionTest, OpeningMakesTheSentPatchTheDocumentUnlessTheOpenFails) {
    FakeHost host;
    const CatalogEntry a = Entry("A", "", "", "a.qnp");
    Audition audition(host);
    audition.SetEnabled(true);
    audition.Selected(&a);
    audition.Open(a);
    audition.Close();  // the document is what was sent: nothing to restore
    EXPECT_EQ(host.calls, (std::vector<std::string>{"audition /lib//a.qnp", "open /lib//a.qnp"}));

    host.calls.clear();
    host.openSucceeds = false;  // the user cancelled the save question
    audition.SetEnabled(true);
    audition.Selected(&a);
    audition.Open(a);
    audition.SetEnabled(false);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"audition /lib//a.qnp", "open /lib//a.qnp", "restore"}));
}

// ---- the snapshot of a prepared catalog ---------------------------------------------------------------

namespace {

// Enough entries for three parts, with texts of every kind: empty, long, accented, control characters.
std::vector<CatalogEntry> SnapshotEntries() {
    std::vector<CatalogEntry> entries;
    for (int i = 0; i < 5000; ++i) {
        CatalogEntry& e = entries.emplace_back();
        // Paths keep the file system's bytes, which need not be UTF-8.
        e.path = "/lib/" + std::to_string(100000 + i) + (i % 10 == 3 ? ".qnp\xFF" : ".qnp");
        e.fileName = std::to_string(i) + ".qnp";
        e.bank = i % 3 ? "Pads/Soft" : "";
        e.size = 2767 + static_cast<std::uint64_t>(i);
        e.mtime = -5 + std::int64_t{i} * 1'000'000'007;
        e.valid = i % 50 != 0;
        e.patchName = e.valid ? (i % 7 ? "Warm Pad " : "Caf\xC3\xA9\tBass ") + std::to_string(i % 900) : "";
        e.comment = std::string(static_cast<std::size_t>(i % 300), 'x') + "\r\n";
        e.reason = e.valid ? "" : "Not a patch";
        e.content = 0xF00DF00DF00DF00Dull * static_cast<std::uint64_t>(i + 1);
        e.params[static_cast<std::size_t>(i) % kPatchParamCount] = static_cast<std::int16_t>(-i);
    }
    return entries;
}

std::optional<CatalogSnapshot> Read(const std::vector<std::string>& parts, std::uint64_t key) {
    SnapshotReader reader(key);
    for (const std::string& part : parts)
        if (!reader.Part(part)) break;
    return reader.Finish();
}

}  // namespace

TEST(CatalogSnapshotTest, ReadsBackAsWrittenAndAnythingElseIsRefusedWhole) {
    const PreparedCatalog prepared = PrepareCatalog(SnapshotEntries());
    const std::vector<std::string> parts = EncodeSnapshot(prepared.entries, prepared.guessed, prepared.byName, 42);
    ASSERT_EQ(parts.size(), 4u);
    const std::optional<CatalogSnapshot> back = Read(parts, 42);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->entries, prepared.entries);
    EXPECT_EQ(back->extras.guessed, prepared.guessed);
    EXPECT_EQ(back->extras.byName, prepared.byName);
    // Taken as they are, the extras make the same catalog as working them out again.
    const PreparedCatalog again = PrepareCatalog(back->entries, back->extras);
    EXPECT_EQ(again.names, prepared.names);
    EXPECT_EQ(again.haystack, prepared.haystack);
    EXPECT_EQ(again.haystackEnds, prepared.haystackEnds);

    EXPECT_FALSE(Read(parts, 43)) << "made under other rules";
    auto refused = [&](std::vector<std::string> spoiled, const char* what) { EXPECT_FALSE(Read(spoiled, 42)) << what; };
    refused({parts[0], parts[1], parts[2]}, "a part missing");
    refused({parts[0], parts[2], parts[1], parts[3]}, "parts out of path order");
    refused({parts[0], parts[1], parts[2], parts[3], parts[3]}, "a part too many");
    for (std::size_t cut : {std::size_t{1}, std::size_t{17}, parts[2].size() / 2, parts[2].size() - 1}) {
        std::vector<std::string> spoiled = parts;
        spoiled[2].resize(cut);
        refused(spoiled, "a part cut short");
    }
    std::vector<std::string> spoiled = parts;
    spoiled[0].back() = static_cast<char>(kPatchKindCount);
    refused(spoiled, "a kind out of range");
    spoiled = parts;
    spoiled[0][24 + 4] = spoiled[0][24];  // the second in the order repeats the first
    spoiled[0][24 + 5] = spoiled[0][25];
    spoiled[0][24 + 6] = spoiled[0][26];
    spoiled[0][24 + 7] = spoiled[0][27];
    refused(spoiled, "an order that is no permutation");
    spoiled = parts;
    spoiled[1][4 + 4 + prepared.entries[0].path.size() + 4] = '\xFF';  // the first file name's first byte
    refused(spoiled, "a text that is not UTF-8");

    // An empty library is a snapshot too.
    const std::optional<CatalogSnapshot> empty = Read(EncodeSnapshot({}, {}, {}, 42), 42);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->entries.empty());
}

TEST(CatalogSnapshotTest, TheKeyFollowsEveryWordOfTheKeywordTable) {
    using namespace std::string_view_literals;
    const std::array bass{"bass*"sv, "sub"sv};
    const std::array pad{"pad*"sv};
    const std::array bassOther{"bass*"sv, "subs"sv};
    const std::array<KindKeywords, 2> table{{{PatchKind::Bass, bass}, {PatchKind::Pad, pad}}};
    const std::array<KindKeywords, 2> word{{{PatchKind::Bass, bassOther}, {PatchKind::Pad, pad}}};
    const std::array<KindKeywords, 2> kind{{{PatchKind::Lead, bass}, {PatchKind::Pad, pad}}};
    const std::array<KindKeywords, 2> moved{{{PatchKind::Bass, pad}, {PatchKind::Pad, bass}}};
    const std::uint64_t key = KeywordTableKey(table);
    EXPECT_NE(KeywordTableKey(word), key);
    EXPECT_NE(KeywordTableKey(kind), key);
    EXPECT_NE(KeywordTableKey(moved), key);
    EXPECT_EQ(KeywordTableKey(std::array<KindKeywords, 2>(table)), key);
    EXPECT_EQ(PreparedRulesKey(), PreparedRulesKey());
}
