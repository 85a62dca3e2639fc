// SPDX-License-Identifier: GPL-3.0-or-later
// The library's index file and its folders in the profile.
#include "LibraryFixtures.h"

#include "library/CatalogView.h"
#include "library/LibraryIndex.h"
#include "platform/QSettingsLibraryFolders.h"
#include "platform/QSettingsProfile.h"
#include "platform/SqliteCatalogCache.h"
#include "platform/UserFolders.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <set>
#include <thread>

using namespace libtest;

namespace {

CatalogEntry Sample(std::string path, std::string name) {
    CatalogEntry e;
    e.path = std::move(path);
    e.fileName = "file \xC3\xA9.qnp";
    e.bank = "Pads/Soft";
    e.size = 2767;
    e.mtime = 1'765'000'000'123'456'789;
    e.valid = true;
    e.patchName = std::move(name);
    e.author = "";
    e.comment = "line one\r\nline two";
    // Above the largest signed value, as half of all hashes are.
    e.content = 0xF00DF00DF00DF00Dull ^ std::hash<std::string>()(e.path);
    e.params[3] = -2;
    e.params[49] = 0x7FFF;
    return e;
}

CatalogEntry Broken(std::string path) {
    CatalogEntry e;
    e.path = std::move(path);
    e.fileName = "broken.qnp";
    e.reason = "Not a QuarnEdit Patch";
    return e;
}

void Sql(const fs::path& db, const std::string& sql) {
    sqlite3* handle = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &handle), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &error);
    std::string message = error != nullptr ? error : "";
    sqlite3_free(error);
    sqlite3_close(handle);
    ASSERT_EQ(rc, SQLITE_OK) << message;
}

std::vector<CatalogEntry> Sorted(std::vector<CatalogEntry> v) {
    std::sort(v.begin(), v.end(), [](const CatalogEntry& a, const CatalogEntry& b) { return a.path < b.path; });
    return v;
}

struct SqliteCacheTest : ::testing::Test {
    TempDir dir;
    fs::path db = dir.path / "cache" / "library.sqlite";
    std::vector<CatalogEntry> stored{Sample("/a/one.qnp", "One"), Sample(std::string("/a/\xE9\xFF.qnp"), ""),
                                     Broken("/a/broken.qnp")};

    void Store() {
        SqliteCatalogCache cache(db.string());
        ASSERT_TRUE(cache.Update(stored, {}));
    }
};

}  // namespace

TEST_F(SqliteCacheTest, WhatIsStoredComesBackByteForByteInALaterRun) {
    Store();
    SqliteCatalogCache cache(db.string());
    EXPECT_EQ(Sorted(cache.Load()), Sorted(stored));
    EXPECT_EQ(cache.Rebuilds(), 0);

    CatalogEntry changed = stored[0];
    changed.patchName = "One, edited";
    changed.mtime += 1;
    ASSERT_TRUE(cache.Update(std::vector<CatalogEntry>{changed}, std::vector<std::string>{"/a/broken.qnp"}));
    SqliteCatalogCache later(db.string());
    EXPECT_EQ(Sorted(later.Load()), Sorted({changed, stored[1]}));
}

TEST_F(SqliteCacheTest, AFileOfGarbageIsReplacedByAnEmptyIndex) {
    WriteFile(db, std::vector<std::uint8_t>(5000, 0x5A));
    SqliteCatalogCache cache(db.string());
    EXPECT_TRUE(cache.Load().empty());
    EXPECT_EQ(cache.Rebuilds(), 1);
    ASSERT_TRUE(cache.Update(stored, {}));
    EXPECT_EQ(Sorted(SqliteCatalogCache(db.string()).Load()), Sorted(stored));
}

TEST_F(SqliteCacheTest, AnotherProgramsDatabaseOrAnotherVersionIsNotTrusted) {
    fs::create_directories(db.parent_path());
    Sql(db, "CREATE TABLE files(path BLOB, x); INSERT INTO files VALUES(x'2f612f6f6e652e716e70', 1)");
    {
        SqliteCatalogCache cache(db.string());
        EXPECT_TRUE(cache.Load().empty());
        EXPECT_EQ(cache.Rebuilds(), 1);
    }
    Store();
    Sql(db, "PRAGMA user_version=" + std::to_string(SqliteCatalogCache::kSchemaVersion + 1));
    SqliteCatalogCache cache(db.string());
    EXPECT_TRUE(cache.Load().empty());
    EXPECT_EQ(cache.Rebuilds(), 1);
}

TEST_F(SqliteCacheTest, RowsThisProgramCouldNotHaveWrittenMakeItStartAfresh) {
    for (const char* tamper : {"UPDATE files SET size = 'big' WHERE patch_name = 'One'",
                               "UPDATE files SET size = -1 WHERE patch_name = 'One'",
                               "UPDATE files SET patch_name = x'ff00' WHERE patch_name = 'One'",
                               "UPDATE files SET path = 'text, not bytes' WHERE patch_name = 'One'",
                               "UPDATE files SET author = NULL WHERE patch_name = 'One'"}) {
        SCOPED_TRACE(tamper);
        fs::remove_all(db.parent_path());
        Store();
        // NOT NULL stands in the way of one of these: drop it the way a foreign writer would.
        Sql(db,
            "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql=replace(sql, 'NOT NULL', '') "
            "WHERE name='files'; PRAGMA writable_schema=OFF;");
        Sql(db, tamper);
        SqliteCatalogCache cache(db.string());
        EXPECT_TRUE(cache.Load().empty());
        EXPECT_EQ(cache.Rebuilds(), 1);
    }
}

TEST_F(SqliteCacheTest, ATruncatedFileIsNeverTrusted) {
    std::vector<CatalogEntry> many;
    for (int i = 0; i < 2000; ++i) many.push_back(Sample("/lib/" + std::to_string(i) + ".qnp", std::string(300, 'n')));
    {
        SqliteCatalogCache cache(db.string());
        ASSERT_TRUE(cache.Update(many, {}));
    }
    // Fold the write-ahead log into the file, then cut the file in half as a crash of the disk might.
    Sql(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    fs::resize_file(db, fs::file_size(db) / 2);
    SqliteCatalogCache cache(db.string());
    const std::vector<CatalogEntry> loaded = cache.Load();
    EXPECT_TRUE(loaded.empty());
    EXPECT_EQ(cache.Rebuilds(), 1);
}

TEST_F(SqliteCacheTest, AProcessKilledInTheMiddleOfAnUpdateLeavesTheOldIndexOrTheNewOne) {
    // Every entry of a generation carries its number; a crash must never leave a mixture.
    auto generation = [](int g) {
        std::vector<CatalogEntry> v;
        for (int i = 0; i < 3000; ++i)
            v.push_back(Sample("/lib/" + std::to_string(i) + ".qnp", "gen " + std::to_string(g)));
        return v;
    };
    {
        SqliteCatalogCache cache(db.string());
        ASSERT_TRUE(cache.Update(generation(0), {}));
    }
    std::set<std::string> seen;
    for (int attempt = 0; attempt < 12; ++attempt) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SqliteCatalogCache cache(db.string());
            for (int g = 1;; ++g) cache.Update(generation(g), {});
        }
        usleep(static_cast<useconds_t>(3000 + 25000 * attempt));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        SqliteCatalogCache cache(db.string());
        const std::vector<CatalogEntry> loaded = cache.Load();
        ASSERT_EQ(loaded.size(), 3000u);
        std::set<std::string> names;
        for (const CatalogEntry& e : loaded) names.insert(e.patchName);
        ASSERT_EQ(names.size(), 1u) << "a mixture of generations after attempt " << attempt;
        seen.insert(*names.begin());
        EXPECT_EQ(cache.Rebuilds(), 0);
    }
    EXPECT_GT(seen.size(), 1u);  // the updates did get through now and then
}

TEST_F(SqliteCacheTest, AFileAnotherProgramHoldsLockedIsLeftAloneAndUsedLater) {
    Store();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM files WHERE 0", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    SqliteCatalogCache cache(db.string());
    EXPECT_TRUE(cache.Load().empty());  // not now
    EXPECT_FALSE(cache.Update(stored, {}));
    EXPECT_EQ(cache.Rebuilds(), 0);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(Sorted(cache.Load()), Sorted(stored));
    EXPECT_EQ(cache.Rebuilds(), 0);
}

TEST_F(SqliteCacheTest, WithoutAPlaceForTheFileTheIndexWorksWithoutIt) {
    WriteFile(dir.path / "a file", {1});
    SqliteCatalogCache cache((dir.path / "a file" / "library.sqlite").string());
    EXPECT_TRUE(cache.Load().empty());
    EXPECT_FALSE(cache.Update(stored, {}));
    EXPECT_FALSE(cache.Usable());

    // The index still lists everything, reading every file each time.
    const fs::path user = dir.path / "user";
    WriteFile(user / "x.qnp", PatchBytes("x"));
    RefreshStats stats;
    EXPECT_EQ(RefreshCatalog(LibraryRoots("", user.string(), {}), cache, &stats).size(), 1u);
    EXPECT_FALSE(stats.cacheWritten);
}

TEST_F(SqliteCacheTest, ASecondRunReadsOnlyWhatChanged) {
    const fs::path user = dir.path / "user";
    for (int i = 0; i < 30; ++i)
        WriteFile(user / ("B" + std::to_string(i % 3)) / (std::to_string(i) + ".qnp"),
                  PatchBytes("p" + std::to_string(i)));
    const std::vector<LibraryRoot> roots = LibraryRoots("", user.string(), {});
    RefreshStats stats;
    std::vector<CatalogEntry> first;
    {
        SqliteCatalogCache cache(db.string());
        first = RefreshCatalog(roots, cache, &stats);
        EXPECT_EQ(stats.read, 30u);
    }
    WriteFile(user / "B1" / "4.qnp", PatchBytes("p4, edited"));
    Touch(user / "B1" / "4.qnp", 3);
    SqliteCatalogCache cache(db.string());
    const std::vector<CatalogEntry> second = RefreshCatalog(roots, cache, &stats);
    EXPECT_EQ(stats.read, 1u);
    ASSERT_EQ(second.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        if (second[i].fileName == "4.qnp") {
            EXPECT_EQ(second[i].patchName, "p4, edited");
        } else {
            EXPECT_EQ(second[i], first[i]);
        }
    }
}

TEST(LibraryFoldersTest, KeptInTheProfileBesideItsOtherSettings) {
    TempDir dir;
    const QString ini = QString::fromStdString((dir.path / "QuarnEdit.INI").string());
    QSettingsProfile profile(ini);
    profile.WriteProfileInt("Options", "MIDI Output", 3);
    QSettingsLibraryFolders folders(ini);
    EXPECT_TRUE(folders.Folders().empty());
    folders.SetFolders({"/home/me/Old Disk", "/mnt/a, b"});
    EXPECT_EQ(QSettingsLibraryFolders(ini).Folders(), (std::vector<std::string>{"/home/me/Old Disk", "/mnt/a, b"}));
    std::vector<std::uint8_t> bytes = ReadFile(dir.path / "QuarnEdit.INI");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "[Library]\nFolders=/home/me/Old Disk, \"/mnt/a, b\"\n\n[Options]\nMIDI%20Output=3\n");
    folders.SetFolders({"/only"});
    EXPECT_EQ(QSettingsLibraryFolders(ini).Folders(), std::vector<std::string>{"/only"});
    folders.SetFolders({});
    EXPECT_TRUE(QSettingsLibraryFolders(ini).Folders().empty());
    EXPECT_EQ(QSettingsProfile(ini).GetProfileInt("Options", "MIDI Output", 0), 3);
    bytes = ReadFile(dir.path / "QuarnEdit.INI");
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text, "[Options]\nMIDI%20Output=3\n");
}

TEST(UserFoldersTest, VariablesThatAreNotAbsolutePathsFallBackToHome) {
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    setenv("HOME", "/home/tester", 1);
    setenv("XDG_CACHE_HOME", "/var/cache/me", 1);
    setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(LibraryIndexPath(), "/var/cache/me/QuarnEdit/library.sqlite");
    EXPECT_EQ(UserPatchFolder(), "/home/tester/.local/share/QuarnEdit/patches");
    setenv("XDG_CACHE_HOME", "", 1);
    EXPECT_EQ(LibraryIndexPath(), "/home/tester/.cache/QuarnEdit/library.sqlite");
    // Where the profile keeps the library's folders, as the profile itself finds its file.
    for (const char* config : {"/etc/me", "relative", ""}) {
        setenv("XDG_CONFIG_HOME", config, 1);
        EXPECT_EQ(QString::fromStdString(ProfilePath()), QSettingsProfile::DefaultPath()) << config;
    }
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CACHE_HOME");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", savedHome.c_str(), 1);
}

// Two copies of the program start with no index at the same moment: the one that finds the other's schema
// made in the meantime uses it, and deletes no file under the other's feet.
TEST_F(SqliteCacheTest, ASchemaAnotherCopyMadeInTheMeantimeIsUsedNotDeleted) {
    fs::create_directories(db.parent_path());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
    // The other copy has begun to make the index: an empty file, its write lock taken.
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::string schema =
        "CREATE TABLE files(path BLOB PRIMARY KEY NOT NULL, file_name TEXT NOT NULL, bank TEXT NOT NULL,"
        " size INTEGER NOT NULL, mtime INTEGER NOT NULL, valid INTEGER NOT NULL, patch_name TEXT NOT NULL,"
        " author TEXT NOT NULL, comment TEXT NOT NULL, reason TEXT NOT NULL, content INTEGER, params BLOB)"
        " WITHOUT ROWID; CREATE TABLE marks(content INTEGER PRIMARY KEY NOT NULL, star INTEGER NOT NULL,"
        " hidden INTEGER NOT NULL, kind INTEGER NOT NULL); CREATE TABLE scan_roots(roots BLOB NOT NULL);"
        " CREATE TABLE scan_folders(path BLOB PRIMARY KEY NOT NULL, mtime INTEGER NOT NULL) WITHOUT ROWID;"
        " PRAGMA application_id=" +
        std::to_string(SqliteCatalogCache::kApplicationId) +
        "; PRAGMA user_version=" + std::to_string(SqliteCatalogCache::kSchemaVersion) + "; COMMIT;";
    // It finishes while this copy waits for the lock (which it waits for up to two seconds).
    std::thread finish([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, schema.c_str(), nullptr, nullptr, nullptr);
    });
    struct stat before {};
    ASSERT_EQ(stat(db.c_str(), &before), 0);
    SqliteCatalogCache cache(db.string());
    const bool usable = cache.Usable();
    finish.join();
    struct stat after {};
    ASSERT_EQ(stat(db.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the other copy's file was replaced";
    EXPECT_TRUE(usable);
    EXPECT_EQ(cache.Rebuilds(), 0);
    EXPECT_TRUE(cache.Update(stored, {}));
    // Both work on the one file.
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(other, "SELECT count(*) FROM files", -1, &count, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), 3);
    sqlite3_finalize(count);
    sqlite3_close(other);
}

// Two copies of the program on one profile: each writes only the keys it changed, so neither undoes what the
// other wrote since it started, also on exit.
TEST(TwoInstances, NeitherOverwritesTheOthersProfileKeys) {
    TempDir dir;
    const QString ini = QString::fromStdString(dir / "QuarnEdit.INI");
    {
        QSettingsProfile setup(ini);
        setup.WriteProfileInt("Options", "MIDI Output", 1);
        setup.WriteProfileString("Options", "MIDI Output Name", "Synth A");
    }
    auto first = std::make_unique<QSettingsProfile>(ini);
    auto second = std::make_unique<QSettingsProfile>(ini);
    EXPECT_EQ(first->GetProfileString("Options", "MIDI Output Name", ""), "Synth A");
    EXPECT_EQ(second->GetProfileString("Options", "MIDI Output Name", ""), "Synth A");
    second->WriteProfileString("Options", "MIDI Output Name", "Synth B");
    second->WriteProfileInt("Options", "MIDI Output", 2);
    first->WriteProfileInt("Options", "Test Note", 61);
    first->WriteRecentFiles({"/songs/a.qnp"});
    first.reset();
    second.reset();
    QSettingsProfile after(ini);
    EXPECT_EQ(after.GetProfileString("Options", "MIDI Output Name", ""), "Synth B");
    EXPECT_EQ(after.GetProfileInt("Options", "MIDI Output", 0), 2);
    EXPECT_EQ(after.GetProfileInt("Options", "Test Note", 0), 61);
    EXPECT_EQ(after.RecentFiles(), std::vector<std::string>{"/songs/a.qnp"});
}

// ---- marks ------------------------------------------------------------------------------------------

// An index written by the previous version (no marks, no parameters): brought up to date in place, its files
// read again for their parameters, and from then on the marks are kept with it.
TEST_F(SqliteCacheTest, AnIndexOfThePreviousVersionIsMigratedInPlaceAndKeepsMarksFromThenOn) {
    fs::create_directories(db.parent_path());
    Sql(db,
        "CREATE TABLE files(path BLOB PRIMARY KEY NOT NULL, file_name TEXT NOT NULL, bank TEXT NOT NULL,"
        " size INTEGER NOT NULL, mtime INTEGER NOT NULL, valid INTEGER NOT NULL, patch_name TEXT NOT NULL,"
        " author TEXT NOT NULL, comment TEXT NOT NULL, reason TEXT NOT NULL) WITHOUT ROWID;"
        "INSERT INTO files VALUES(x'2f612f6f6e652e716e70', 'one.qnp', '', 2767, 5, 1, 'One', '', '', '');"
        "PRAGMA application_id=" +
            std::to_string(SqliteCatalogCache::kApplicationId) + "; PRAGMA user_version=1;");
    struct stat before {};
    ASSERT_EQ(stat(db.c_str(), &before), 0);
    {
        SqliteCatalogCache cache(db.string());
        EXPECT_TRUE(cache.Load().empty()) << "a row without parameters is read again";
        EXPECT_EQ(cache.Rebuilds(), 0);
        EXPECT_TRUE(cache.LoadMarks().empty());
        ASSERT_TRUE(cache.SetMarks(stored[0].content, PatchMarks{true, false, 3}));
        ASSERT_TRUE(cache.Update(stored, {}));
    }
    struct stat after {};
    ASSERT_EQ(stat(db.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "migrated, not replaced";
    SqliteCatalogCache cache(db.string());
    EXPECT_EQ(Sorted(cache.Load()), Sorted(stored));
    EXPECT_EQ(cache.LoadMarks(), (MarksByContent{{stored[0].content, PatchMarks{true, false, 3}}}));
    EXPECT_EQ(cache.Rebuilds(), 0);

    // The files' rows can go (a folder removed, a file changed): the marks stay.
    ASSERT_TRUE(cache.Update({}, std::vector<std::string>{stored[0].path, stored[1].path, stored[2].path}));
    EXPECT_TRUE(SqliteCatalogCache(db.string()).Load().empty());
    EXPECT_EQ(SqliteCatalogCache(db.string()).LoadMarks().size(), 1u);
}

TEST_F(SqliteCacheTest, MarksRowsAnotherWriterSpoiledArePassedOverAndTheRestKept) {
    Store();
    {
        SqliteCatalogCache cache(db.string());
        ASSERT_TRUE(cache.SetMarks(1, PatchMarks{true, false, -1}));
        ASSERT_TRUE(cache.SetMarks(2, PatchMarks{false, true, 10}));
    }
    Sql(db,
        "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql=replace(sql, 'NOT NULL', '') "
        "WHERE name='marks'; PRAGMA writable_schema=OFF;");
    Sql(db,
        "INSERT INTO marks VALUES(3, 'yes', 0, -1); INSERT INTO marks VALUES(4, 1, NULL, -1);"
        "INSERT INTO marks VALUES(5, 1, 0, 99); INSERT INTO marks VALUES(6, 0, 0, -1);"
        "INSERT INTO marks VALUES(0, 1, 1, 1);"
        "INSERT INTO marks VALUES(7, 1, 0, -7)");
    SqliteCatalogCache cache(db.string());
    const MarksByContent marks = cache.LoadMarks();
    EXPECT_EQ(marks, (MarksByContent{{1, PatchMarks{true, false, -1}},
                                     {2, PatchMarks{false, true, 10}},
                                     {5, PatchMarks{true, false, -1}},
                                     {7, PatchMarks{true, false, -1}}}));
    EXPECT_EQ(Sorted(cache.Load()), Sorted(stored));
    EXPECT_EQ(cache.Rebuilds(), 0);
}

TEST_F(SqliteCacheTest, AStarredPatchStaysStarredThroughRunsRenamesAndMoves) {
    const fs::path user = dir.path / "user";
    std::vector<std::uint8_t> pad = PatchBytes("Warm Pad");
    SetParam(pad, 1, 77);
    WriteFile(user / "pad.qnp", pad);
    WriteFile(user / "lead.qnp", PatchBytes("Lead"));
    const std::vector<LibraryRoot> roots = LibraryRoots("", user.string(), {});
    auto find = [&](const std::string& fileName) {
        SqliteCatalogCache cache(db.string());
        for (const CatalogEntry& e : RefreshCatalog(roots, cache))
            if (e.fileName == fileName) return e;
        return CatalogEntry{};
    };
    const CatalogEntry first = find("pad.qnp");
    ASSERT_NE(first.content, 0u);
    EXPECT_EQ(first.params[1], 77);
    ASSERT_TRUE(SqliteCatalogCache(db.string()).SetMarks(first.content, PatchMarks{true, true, 1}));
    EXPECT_EQ(find("pad.qnp").marks, (PatchMarks{true, true, 1})) << "a rescan";
    fs::rename(user / "pad.qnp", user / "Warm.qnp");
    EXPECT_EQ(find("Warm.qnp").marks, (PatchMarks{true, true, 1})) << "a rename";
    fs::create_directories(user / "Pads");
    fs::rename(user / "Warm.qnp", user / "Pads" / "Warm.qnp");
    const CatalogEntry moved = find("Warm.qnp");
    EXPECT_EQ(moved.bank, "Pads");
    EXPECT_EQ(moved.marks, (PatchMarks{true, true, 1})) << "a move";
    EXPECT_EQ(find("lead.qnp").marks, PatchMarks{});
}

TEST_F(SqliteCacheTest, TheLastScanIsKeptAndASpoiledOneIsUnknownNotAReasonToStartAfresh) {
    const ScanRecord record{std::string("/lib\0\0r\0", 9), {{"/lib", 17}, {std::string("/lib/\xFF"), -3}}};
    {
        SqliteCatalogCache cache(db.string());
        EXPECT_EQ(cache.LoadScan(), ScanRecord{});
        ASSERT_TRUE(cache.Update(stored, {}));
        ASSERT_TRUE(cache.SaveScan(record));
        ASSERT_TRUE(cache.SaveScan(record));
    }
    EXPECT_EQ(SqliteCatalogCache(db.string()).LoadScan(), record);
    for (const char* tamper : {"UPDATE scan_folders SET mtime = 'x'", "INSERT INTO scan_roots VALUES(x'00')",
                               "DELETE FROM scan_roots", "UPDATE scan_roots SET roots = 'text'"}) {
        SCOPED_TRACE(tamper);
        {
            SqliteCatalogCache cache(db.string());
            ASSERT_TRUE(cache.SaveScan(record));
        }
        Sql(db, tamper);
        SqliteCatalogCache cache(db.string());
        EXPECT_EQ(cache.LoadScan(), ScanRecord{});
        EXPECT_EQ(Sorted(cache.Load()), Sorted(stored));
        EXPECT_EQ(cache.Rebuilds(), 0);
    }
}

TEST_F(SqliteCacheTest, TheNamesAloneComeBackAsStoredAndASpoiledRowGivesNothing) {
    Store();
    SqliteCatalogCache cache(db.string());
    std::vector<CatalogEntry> names = cache.LoadNames();
    std::vector<CatalogEntry> expected = stored;
    for (CatalogEntry& e : expected) {
        e.author.clear();
        e.comment.clear();
        e.reason.clear();
        e.size = 0;
        e.mtime = 0;
        e.params = {};
    }
    EXPECT_EQ(Sorted(names), Sorted(expected));
    Sql(db,
        "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql=replace(sql, 'NOT NULL', '') "
        "WHERE name='files'; PRAGMA writable_schema=OFF;");
    Sql(db, "UPDATE files SET patch_name = x'ff' WHERE patch_name = 'One'");
    EXPECT_TRUE(SqliteCatalogCache(db.string()).LoadNames().empty());
}

// ---- the snapshot of the prepared catalog ----------------------------------------------------------------

namespace {

// As the window keeps what it prepared: the cache's own entries, their kinds and order.
bool KeepSnapshot(SqliteCatalogCache& cache, std::vector<CatalogEntry> entries,
                  std::uint64_t key = PreparedRulesKey()) {
    const PreparedCatalog prepared = PrepareCatalog(std::move(entries));
    return cache.SaveSnapshot(EncodeSnapshot(prepared.entries, prepared.guessed, prepared.byName, key));
}

}  // namespace

TEST_F(SqliteCacheTest, ASnapshotComesBackWholeAndAnyWriterOfTheRowsDropsIt) {
    Store();
    {
        SqliteCatalogCache cache(db.string());
        ASSERT_TRUE(KeepSnapshot(cache, cache.Load()));
        EXPECT_TRUE(cache.HasSnapshot(PreparedRulesKey()));
        EXPECT_FALSE(cache.HasSnapshot(PreparedRulesKey() + 1));
    }
    {
        SqliteCatalogCache cache(db.string());
        const std::optional<CatalogSnapshot> snapshot = cache.LoadSnapshot(PreparedRulesKey());
        ASSERT_TRUE(snapshot);
        EXPECT_EQ(snapshot->entries, cache.Load());
        const PreparedCatalog prepared = PrepareCatalog(snapshot->entries);
        EXPECT_EQ(snapshot->extras.guessed, prepared.guessed);
        EXPECT_EQ(snapshot->extras.byName, prepared.byName);
        // This program's own update.
        CatalogEntry changed = stored[0];
        changed.patchName = "One, edited";
        ASSERT_TRUE(cache.Update(std::vector<CatalogEntry>{changed}, {}));
        EXPECT_FALSE(cache.HasSnapshot(PreparedRulesKey()));
        EXPECT_FALSE(cache.LoadSnapshot(PreparedRulesKey()));
        ASSERT_TRUE(KeepSnapshot(cache, cache.Load()));
    }
    // Any other writer, an older copy of the program too: an added, a changed and a removed row; and a hand that
    // took a trigger away before it wrote.
    for (const char* write :
         {"INSERT INTO files SELECT x'2f7a', file_name, bank, size, mtime, valid, patch_name,"
          " author, comment, reason, content, params FROM files LIMIT 1",
          "UPDATE files SET patch_name = 'Renamed' WHERE patch_name = 'One, edited'",
          "DELETE FROM files WHERE path = x'2f7a'",
          "DROP TRIGGER files_updated; UPDATE files SET author = 'A' WHERE patch_name = 'Renamed'"}) {
        SCOPED_TRACE(write);
        {
            SqliteCatalogCache cache(db.string());
            ASSERT_TRUE(KeepSnapshot(cache, cache.Load()));
        }
        Sql(db, write);
        SqliteCatalogCache cache(db.string());
        EXPECT_FALSE(cache.LoadSnapshot(PreparedRulesKey()));
        EXPECT_EQ(cache.Rebuilds(), 0);
    }
}

TEST_F(SqliteCacheTest, ASnapshotIsNotKeptOfRowsAnotherWriterChangedMeanwhile) {
    Store();
    SqliteCatalogCache mine(db.string());
    const std::vector<CatalogEntry> seen = mine.Load();
    ASSERT_TRUE(SqliteCatalogCache(db.string()).Update({}, std::vector<std::string>{"/a/broken.qnp"}));
    EXPECT_FALSE(KeepSnapshot(mine, seen));
    EXPECT_FALSE(mine.HasSnapshot(PreparedRulesKey()));
    // Its own updates on top of rows it has seen keep what it knows.
    std::vector<CatalogEntry> now = mine.Load();
    CatalogEntry changed = now[0];
    changed.author = "Someone";
    ASSERT_TRUE(mine.Update(std::vector<CatalogEntry>{changed}, {}));
    now[0] = changed;
    EXPECT_TRUE(KeepSnapshot(mine, now));
    const std::optional<CatalogSnapshot> kept = SqliteCatalogCache(db.string()).LoadSnapshot(PreparedRulesKey());
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->entries, now);
}

TEST_F(SqliteCacheTest, ASpoiledSnapshotIsNeitherUsedNorAReasonToStartAfresh) {
    Store();
    for (const char* tamper :
         {"UPDATE prepared SET data = substr(data, 1, length(data) - 1) WHERE part = 1",
          "DELETE FROM prepared WHERE part = 1", "UPDATE prepared SET part = 5 WHERE part = 1",
          "INSERT INTO prepared VALUES(2, x'01000000')", "UPDATE prepared SET data = 'text' WHERE part = 0",
          "UPDATE prepared SET data = zeroblob(length(data)) WHERE part = 0",
          "UPDATE prepared SET data = x'' WHERE part = 1"}) {
        SCOPED_TRACE(tamper);
        {
            SqliteCatalogCache cache(db.string());
            ASSERT_TRUE(KeepSnapshot(cache, cache.Load()));
        }
        Sql(db, tamper);
        SqliteCatalogCache cache(db.string());
        EXPECT_FALSE(cache.LoadSnapshot(PreparedRulesKey()));
        EXPECT_FALSE(cache.HasSnapshot(PreparedRulesKey())) << "dropped, for a good one to be kept";
        EXPECT_EQ(Sorted(cache.Load()), Sorted(stored));
        EXPECT_EQ(cache.Rebuilds(), 0);
    }
}

TEST_F(SqliteCacheTest, AnIndexOfVersion2IsMigratedInPlaceWithItsMarks) {
    fs::create_directories(db.parent_path());
    Sql(db,
        "CREATE TABLE files(path BLOB PRIMARY KEY NOT NULL, file_name TEXT NOT NULL, bank TEXT NOT NULL,"
        " size INTEGER NOT NULL, mtime INTEGER NOT NULL, valid INTEGER NOT NULL, patch_name TEXT NOT NULL,"
        " author TEXT NOT NULL, comment TEXT NOT NULL, reason TEXT NOT NULL, content INTEGER, params BLOB)"
        " WITHOUT ROWID;"
        "CREATE TABLE marks(content INTEGER PRIMARY KEY NOT NULL, star INTEGER NOT NULL, hidden INTEGER NOT NULL,"
        " kind INTEGER NOT NULL);"
        "CREATE TABLE scan_roots(roots BLOB NOT NULL);"
        "CREATE TABLE scan_folders(path BLOB PRIMARY KEY NOT NULL, mtime INTEGER NOT NULL) WITHOUT ROWID;"
        "INSERT INTO files VALUES(x'2f612f6f6e652e716e70', 'one.qnp', '', 2767, 5, 1, 'One', '', '', '', 77,"
        " zeroblob(100));"
        "INSERT INTO marks VALUES(77, 1, 0, 3); INSERT INTO scan_roots VALUES(x'2f61');"
        "PRAGMA application_id=" +
            std::to_string(SqliteCatalogCache::kApplicationId) + "; PRAGMA user_version=2;");
    struct stat before {};
    ASSERT_EQ(stat(db.c_str(), &before), 0);
    {
        SqliteCatalogCache cache(db.string());
        const std::vector<CatalogEntry> rows = cache.Load();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].patchName, "One");
        EXPECT_EQ(cache.LoadMarks(), (MarksByContent{{77, PatchMarks{true, false, 3}}}));
        EXPECT_EQ(cache.LoadScan().roots, "/a");
        EXPECT_TRUE(KeepSnapshot(cache, rows));
    }
    struct stat after {};
    ASSERT_EQ(stat(db.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "migrated, not replaced";
    SqliteCatalogCache cache(db.string());
    EXPECT_TRUE(cache.LoadSnapshot(PreparedRulesKey()));
    EXPECT_EQ(cache.Rebuilds(), 0);
}

// The window reads the snapshot only while no folder changed, and never one older than the rows: a file
// rewritten in place comes in from the check after the opening, and the next opening shows it at once.
TEST_F(SqliteCacheTest, ATrustingRefreshReadsTheSnapshotButNeverAStaleOne) {
    const fs::path user = dir.path / "user";
    WriteFile(user / "Pads" / "pad.qnp", PatchBytes("Warm Pad"));
    WriteFile(user / "Pads" / "bass.qnp", PatchBytes("Acid Bass"));
    WriteFile(user / "lead.qnp", PatchBytes("Zed Lead"));
    const std::vector<LibraryRoot> roots = LibraryRoots("", user.string(), {});
    {
        SqliteCatalogCache cache(db.string());
        ASSERT_TRUE(KeepSnapshot(cache, RefreshCatalog(roots, cache)));
    }
    RefreshCallbacks trusting;
    trusting.trustUnchangedFolders = true;
    RefreshStats stats;
    CatalogExtras extras;
    auto reopen = [&] {
        SqliteCatalogCache cache(db.string());
        extras = {};
        return RefreshCatalog(roots, cache, &stats, trusting, &extras);
    };
    std::vector<CatalogEntry> entries = reopen();
    EXPECT_TRUE(stats.trusted && stats.fromSnapshot);
    const PreparedCatalog worked = PrepareCatalog(entries);
    EXPECT_EQ(extras.guessed, worked.guessed);
    EXPECT_EQ(extras.byName, worked.byName);

    const auto folderTime = fs::last_write_time(user / "Pads");
    WriteFile(user / "Pads" / "pad.qnp", PatchBytes("Warm Lead"));
    Touch(user / "Pads" / "pad.qnp", 5);
    fs::last_write_time(user / "Pads", folderTime);
    entries = reopen();
    EXPECT_TRUE(stats.fromSnapshot) << "the folders are taken at their word, as without a snapshot";
    {
        SqliteCatalogCache cache(db.string());
        RefreshCatalog(roots, cache, &stats);  // the check of each file after an opening
        EXPECT_EQ(stats.read, 1u);
    }
    entries = reopen();
    EXPECT_TRUE(stats.trusted);
    EXPECT_FALSE(stats.fromSnapshot);
    EXPECT_TRUE(extras.byName.empty());
    EXPECT_TRUE(
        std::any_of(entries.begin(), entries.end(), [](const CatalogEntry& e) { return e.patchName == "Warm Lead"; }));

    // Kept under another keyword table (or other rules of order): the kinds are guessed again.
    {
        SqliteCatalogCache cache(db.string());
        ASSERT_TRUE(KeepSnapshot(cache, cache.Load(), PreparedRulesKey() ^ 1));
    }
    entries = reopen();
    EXPECT_TRUE(stats.trusted);
    EXPECT_FALSE(stats.fromSnapshot);
}

// A large update takes the triggers away for its own rows only: afterwards any other writer drops the snapshot
// again.
TEST_F(SqliteCacheTest, ALargeUpdateLeavesTheTriggersInPlace) {
    std::vector<CatalogEntry> many;
    for (int i = 0; i < 1500; ++i) many.push_back(Sample("/b/" + std::to_string(10000 + i) + ".qnp", "P"));
    {
        SqliteCatalogCache cache(db.string());
        ASSERT_TRUE(cache.Update(many, {}));
        ASSERT_TRUE(KeepSnapshot(cache, cache.Load()));
    }
    sqlite3* handle = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &handle), SQLITE_OK);
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(handle, "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'", -1, &count, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), 3);
    sqlite3_finalize(count);
    sqlite3_close(handle);
    Sql(db, "UPDATE files SET author = 'A' WHERE path = x'2f622f31303030302e716e70'");
    SqliteCatalogCache cache(db.string());
    EXPECT_FALSE(cache.LoadSnapshot(PreparedRulesKey()));
    EXPECT_EQ(cache.Load().size(), 1500u);
}

// The snapshot and the quick-load menu's names are read while SQLite checks the file: a file that fails the check
// hands out nothing of what was read.
TEST_F(SqliteCacheTest, WhatWasReadFromAFileThatFailsItsCheckIsNeverHandedOut) {
    std::vector<CatalogEntry> many;
    for (int i = 0; i < 2000; ++i) many.push_back(Sample("/lib/" + std::to_string(i) + ".qnp", std::string(300, 'n')));
    auto spoil = [&] {
        {
            SqliteCatalogCache cache(db.string());
            ASSERT_TRUE(cache.Update(many, {}));
            ASSERT_TRUE(KeepSnapshot(cache, cache.Load()));
        }
        // The files table's first page (the first table made) spoiled; the snapshot's pages lie after it.
        Sql(db, "PRAGMA wal_checkpoint(TRUNCATE)");
        std::fstream file(db, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(4096);
        const std::string garbage(4096, '\x5A');
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    };
    spoil();
    {
        SqliteCatalogCache cache(db.string());
        EXPECT_FALSE(cache.LoadSnapshot(PreparedRulesKey()));
        EXPECT_EQ(cache.Rebuilds(), 1);
        EXPECT_TRUE(cache.Load().empty());
    }
    spoil();
    SqliteCatalogCache cache(db.string());
    EXPECT_TRUE(cache.LoadNames().empty());
    EXPECT_EQ(cache.Rebuilds(), 1);
}
