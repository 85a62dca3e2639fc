// SPDX-License-Identifier: GPL-3.0-or-later
// The library's index file and its folders in the profile.
#include "LibraryFixtures.h"

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
