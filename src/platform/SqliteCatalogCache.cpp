// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SqliteCatalogCache.h"

#include "util/LegacyText.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace {

struct StatementDeleter {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) {
        sqlite3_finalize(s);
        return nullptr;
    }
    return Statement(s);
}

bool Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// The single integer a pragma or a count answers, or nullopt on any error.
std::optional<long long> QueryInt(sqlite3* db, const char* sql) {
    Statement s = Prepare(db, sql);
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW || sqlite3_column_type(s.get(), 0) != SQLITE_INTEGER)
        return std::nullopt;
    return sqlite3_column_int64(s.get(), 0);
}

std::optional<std::string> Text(sqlite3_stmt* s, int column) {
    if (sqlite3_column_type(s, column) != SQLITE_TEXT) return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    std::string value(text != nullptr ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(s, column)));
    if (!IsValidUtf8(value)) return std::nullopt;
    return value;
}

// Version 1 had the first ten columns of files and no marks: kMigrateFrom1 adds the rest in place, so that
// nothing the user marked is ever lost to a new version. Rows without params were written by version 1: their
// files are read again. Version 3 added kAddedIn3 to version 2.
constexpr const char* kCreate =
    "CREATE TABLE files("
    " path BLOB PRIMARY KEY NOT NULL, file_name TEXT NOT NULL, bank TEXT NOT NULL,"
    " size INTEGER NOT NULL, mtime INTEGER NOT NULL, valid INTEGER NOT NULL,"
    " patch_name TEXT NOT NULL, author TEXT NOT NULL, comment TEXT NOT NULL, reason TEXT NOT NULL,"
    " content INTEGER, params BLOB"
    ") WITHOUT ROWID;"
    "CREATE TABLE marks(content INTEGER PRIMARY KEY NOT NULL, star INTEGER NOT NULL, hidden INTEGER NOT NULL,"
    " kind INTEGER NOT NULL);"
    "CREATE TABLE scan_roots(roots BLOB NOT NULL);"
    "CREATE TABLE scan_folders(path BLOB PRIMARY KEY NOT NULL, mtime INTEGER NOT NULL) WITHOUT ROWID;";
constexpr const char* kMigrateFrom1 =
    "ALTER TABLE files ADD COLUMN content INTEGER;"
    "ALTER TABLE files ADD COLUMN params BLOB;"
    "CREATE TABLE IF NOT EXISTS marks(content INTEGER PRIMARY KEY NOT NULL, star INTEGER NOT NULL,"
    " hidden INTEGER NOT NULL, kind INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS scan_roots(roots BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS scan_folders(path BLOB PRIMARY KEY NOT NULL, mtime INTEGER NOT NULL) WITHOUT ROWID;";
// The snapshot (CatalogSnapshot) in parts. The triggers are what make it true: any writer that changes a row of
// files, this program or an older copy of it, drops the snapshot in the same transaction.
constexpr const char* kAddedIn3 =
    "CREATE TABLE IF NOT EXISTS prepared(part INTEGER PRIMARY KEY NOT NULL, data BLOB NOT NULL);"
    "CREATE TRIGGER IF NOT EXISTS files_inserted AFTER INSERT ON files BEGIN DELETE FROM prepared; END;"
    "CREATE TRIGGER IF NOT EXISTS files_updated AFTER UPDATE ON files BEGIN DELETE FROM prepared; END;"
    "CREATE TRIGGER IF NOT EXISTS files_deleted AFTER DELETE ON files BEGIN DELETE FROM prepared; END;";

constexpr const char* kDropTriggers =
    "DROP TRIGGER files_inserted; DROP TRIGGER files_updated; DROP TRIGGER files_deleted;";
constexpr std::size_t kBulkUpdate = 1000;

// One object per thread: SQLite's own locking of each call (hundreds of thousands in a load) would guard nothing.
constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;

constexpr std::size_t kParamsBytes = 2 * kPatchParamCount;

std::vector<std::uint8_t> ParamsBlob(const PatchParams& params) {
    std::vector<std::uint8_t> b(kParamsBytes);
    for (std::size_t i = 0; i < params.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(params[i]);
        b[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
        b[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return b;
}

PatchParams ParamsOfBlob(const std::uint8_t* b) {
    PatchParams params{};
    for (std::size_t i = 0; i < params.size(); ++i)
        params[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(b[2 * i] | (b[2 * i + 1] << 8)));
    return params;
}

}  // namespace

SqliteCatalogCache::SqliteCatalogCache(std::string path) : m_path(std::move(path)) {}

SqliteCatalogCache::~SqliteCatalogCache() { Close(); }

void SqliteCatalogCache::Close() {
    // A check under way is of the file being let go: its answer no longer matters.
    if (m_check.valid()) m_check.wait();
    m_check = {};
    if (m_db != nullptr) sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool SqliteCatalogCache::IsTransient(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool SqliteCatalogCache::Usable() { return Ready(); }

bool SqliteCatalogCache::Open() {
    if (m_db != nullptr) return true;
    if (m_failed || m_path.empty()) return false;
    std::error_code ec;
    fs::create_directories(fs::path(m_path).parent_path(), ec);
    if (sqlite3_open_v2(m_path.c_str(), &m_db, kOpenFlags, nullptr) != SQLITE_OK) {
        Close();
        return Rebuild();
    }
    sqlite3_busy_timeout(m_db, 2000);
    const auto appId = QueryInt(m_db, "PRAGMA application_id");
    const auto version = QueryInt(m_db, "PRAGMA user_version");
    const auto tables = QueryInt(m_db, "SELECT count(*) FROM sqlite_master");
    if (!appId || !version || !tables) return RebuildUnlessBusy();
    if (*appId == 0 && *version == 0 && *tables == 0) {
        if (!CreateSchema()) return RebuildUnlessBusy();
    } else {
        const bool older = *version == 1 || *version == 2;
        if (*appId == kApplicationId && older && !Migrate()) return RebuildUnlessBusy();
        if (*appId != kApplicationId || (*version != kSchemaVersion && !older)) return Rebuild();
    }
    // Without its three triggers (a file someone edited by hand), no snapshot can be trusted to match the rows.
    const auto triggers =
        QueryInt(m_db, "SELECT count(*) FROM sqlite_master WHERE type = 'trigger' AND tbl_name = 'files'");
    if (triggers != 3 && !Exec(m_db, (std::string(kAddedIn3) + "DELETE FROM prepared").c_str()))
        return RebuildUnlessBusy();
    Exec(m_db, "PRAGMA journal_mode=WAL");
    Tune();
    // SQLite's own check reads the whole file: on a connection of its own, beside the first read (LoadSnapshot).
    // Nothing is handed out or written before it passed (Checked).
    m_check = std::async(std::launch::async, [path = m_path] { return CheckFile(path); });
    return true;
}

SqliteCatalogCache::Check SqliteCatalogCache::CheckFile(const std::string& path) {
    sqlite3* db = nullptr;
    Check result = Check::Busy;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 2000);
        Statement check = Prepare(db, "PRAGMA quick_check");
        if (check && sqlite3_step(check.get()) == SQLITE_ROW) {
            const auto* answer = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
            result = answer != nullptr && std::string_view(answer) == "ok" ? Check::Passed : Check::Damaged;
        } else {
            result = IsTransient(sqlite3_extended_errcode(db)) ? Check::Busy : Check::Damaged;
        }
    }
    sqlite3_close_v2(db);
    return result;
}

bool SqliteCatalogCache::Checked() {
    if (m_db == nullptr || !m_check.valid()) return m_db != nullptr;
    switch (m_check.get()) {
        case Check::Passed: return true;
        case Check::Damaged: return Rebuild();
        case Check::Busy: break;
    }
    // Another copy of the program writing the file is no reason to throw it away: try again next time.
    Close();
    return false;
}

bool SqliteCatalogCache::Ready() { return Open() && Checked(); }

bool SqliteCatalogCache::ReadStands() {
    // A file started afresh is usable again, but holds nothing of what was read from the old one.
    const int rebuilds = m_rebuilds;
    return Checked() && m_rebuilds == rebuilds;
}

void SqliteCatalogCache::Tune() {
    // A crash or power loss may cost the last update, never the file's consistency.
    Exec(m_db, "PRAGMA synchronous=NORMAL");
    // The index is read front to back once per refresh: a big page cache would only hold memory.
    Exec(m_db, "PRAGMA cache_size=-256");
}

bool SqliteCatalogCache::CreateSchema() {
    // Markers and table in one transaction: a crash leaves an empty file or a whole index.
    Exec(m_db, "PRAGMA journal_mode=WAL");
    Tune();
    if (!Exec(m_db, "BEGIN IMMEDIATE")) return false;
    // Another copy of the program may have made the index since the file was looked at: that one is used
    // (a rebuild would delete its files under it).
    const auto tables = QueryInt(m_db, "SELECT count(*) FROM sqlite_master");
    if (tables && *tables > 0) {
        const auto appId = QueryInt(m_db, "PRAGMA application_id");
        const auto version = QueryInt(m_db, "PRAGMA user_version");
        Exec(m_db, "ROLLBACK");
        return appId == kApplicationId && version == kSchemaVersion;
    }
    const std::string sql = std::string(kCreate) + kAddedIn3 +
                            " PRAGMA application_id=" + std::to_string(kApplicationId) +
                            "; PRAGMA user_version=" + std::to_string(kSchemaVersion) + "; COMMIT;";
    if (Exec(m_db, sql.c_str())) return true;
    Exec(m_db, "ROLLBACK");
    return false;
}

bool SqliteCatalogCache::Migrate() {
    if (!Exec(m_db, "BEGIN IMMEDIATE")) return false;
    // Another copy may have migrated it meanwhile.
    const auto version = QueryInt(m_db, "PRAGMA user_version");
    if (version == kSchemaVersion) return Exec(m_db, "COMMIT");
    const std::string sql = std::string(version == 1 ? kMigrateFrom1 : "") + kAddedIn3 +
                            " PRAGMA user_version=" + std::to_string(kSchemaVersion);
    if ((version == 1 || version == 2) && Exec(m_db, sql.c_str()) && Exec(m_db, "COMMIT")) return true;
    Exec(m_db, "ROLLBACK");
    return false;
}

bool SqliteCatalogCache::RebuildUnlessBusy() {
    // Another copy of the program writing the file is no reason to throw it away: try again next time.
    if (m_db != nullptr && IsTransient(sqlite3_extended_errcode(m_db))) {
        Close();
        return false;
    }
    return Rebuild();
}

bool SqliteCatalogCache::Rebuild() {
    Close();
    m_known.reset();
    ++m_rebuilds;
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(m_path + suffix, ec);
    if (sqlite3_open_v2(m_path.c_str(), &m_db, kOpenFlags, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(m_db, 2000);
        if (CreateSchema()) return true;
    }
    // Not even a fresh file works (read-only or full disk): go on without a cache.
    Close();
    m_failed = true;
    return false;
}

namespace {

// Room for every row at once: growing the list as rows come would move every entry again and again.
void MakeRoom(sqlite3* db, std::vector<CatalogEntry>& entries) {
    Statement count = Prepare(db, "SELECT count(*) FROM files");
    if (!count || sqlite3_step(count.get()) != SQLITE_ROW) return;
    // A count no index of ours could hold is not believed.
    entries.reserve(
        static_cast<std::size_t>(std::clamp<sqlite3_int64>(sqlite3_column_int64(count.get(), 0), 0, 1 << 22)));
}

}  // namespace

std::vector<CatalogEntry> SqliteCatalogCache::Load() {
    std::vector<CatalogEntry> entries;
    m_known.reset();
    if (!Ready()) return entries;
    // Read before the rows: a writer in between makes SaveSnapshot refuse, never the other way round.
    const std::optional<long long> changes = QueryInt(m_db, "PRAGMA data_version");
    Statement s = Prepare(m_db,
                          "SELECT path, file_name, bank, size, mtime, valid, patch_name, author, comment, reason, "
                          "content, params FROM files");
    if (!s) {
        Rebuild();
        return {};
    }
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        sqlite3_stmt* row = s.get();
        CatalogEntry e;
        const int pathBytes = sqlite3_column_bytes(row, 0);
        const void* pathData = sqlite3_column_blob(row, 0);
        const auto fileName = Text(row, 1);
        const auto bank = Text(row, 2);
        const auto name = Text(row, 6);
        const auto author = Text(row, 7);
        const auto comment = Text(row, 8);
        const auto reason = Text(row, 9);
        // A row version 1 wrote: its file is read again, as if it were new.
        if (sqlite3_column_type(row, 11) == SQLITE_NULL) continue;
        const bool typed =
            sqlite3_column_type(row, 0) == SQLITE_BLOB && pathBytes > 0 &&
            sqlite3_column_type(row, 10) == SQLITE_INTEGER && sqlite3_column_type(row, 11) == SQLITE_BLOB &&
            sqlite3_column_bytes(row, 11) == static_cast<int>(kParamsBytes) &&
            sqlite3_column_type(row, 3) == SQLITE_INTEGER && sqlite3_column_type(row, 4) == SQLITE_INTEGER &&
            sqlite3_column_type(row, 5) == SQLITE_INTEGER;
        // A row this program could not have written: the file is not what it claims to be.
        if (!typed || !fileName || !bank || !name || !author || !comment || !reason ||
            sqlite3_column_int64(row, 3) < 0) {
            s.reset();
            Rebuild();
            return {};
        }
        e.path.assign(static_cast<const char*>(pathData), static_cast<std::size_t>(pathBytes));
        e.fileName = std::move(*fileName);
        e.bank = std::move(*bank);
        e.size = static_cast<std::uint64_t>(sqlite3_column_int64(row, 3));
        e.mtime = sqlite3_column_int64(row, 4);
        e.valid = sqlite3_column_int64(row, 5) != 0;
        e.patchName = std::move(*name);
        e.author = std::move(*author);
        e.comment = std::move(*comment);
        e.reason = std::move(*reason);
        e.content = static_cast<std::uint64_t>(sqlite3_column_int64(row, 10));
        e.params = ParamsOfBlob(static_cast<const std::uint8_t*>(sqlite3_column_blob(row, 11)));
        entries.push_back(std::move(e));
    }
    if (rc != SQLITE_DONE) {
        s.reset();
        if (!IsTransient(rc)) Rebuild();
        return {};
    }
    m_known = changes;
    return entries;
}

bool SqliteCatalogCache::Update(std::span<const CatalogEntry> changed, std::span<const std::string> removed) {
    if (!Ready()) return false;
    int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        if (!IsTransient(rc)) Rebuild();
        return false;
    }
    auto fail = [this](int code) {
        m_known.reset();
        Exec(m_db, "ROLLBACK");
        if (!IsTransient(code)) Rebuild();
        return false;
    };
    // A trigger costs as much as the row it fires for. A large update (the first build of 50,000 files) takes them
    // away and puts them back in its own transaction, so that no other writer ever sees the file without them.
    const bool bulk = changed.size() + removed.size() > kBulkUpdate;
    if (bulk && !Exec(m_db, kDropTriggers)) return fail(sqlite3_errcode(m_db));
    {
        Statement put = Prepare(m_db,
                                "INSERT OR REPLACE INTO files(path, file_name, bank, size, mtime, valid, patch_name, "
                                "author, comment, reason, content, params) "
                                "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
        Statement drop = Prepare(m_db, "DELETE FROM files WHERE path = ?1");
        if (!put || !drop) return fail(sqlite3_errcode(m_db));
        auto text = [](sqlite3_stmt* s, int i, const std::string& v) {
            sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
        };
        for (const CatalogEntry& e : changed) {
            sqlite3_stmt* s = put.get();
            sqlite3_reset(s);
            sqlite3_bind_blob(s, 1, e.path.data(), static_cast<int>(e.path.size()), SQLITE_STATIC);
            text(s, 2, e.fileName);
            text(s, 3, e.bank);
            sqlite3_bind_int64(s, 4, static_cast<sqlite3_int64>(e.size));
            sqlite3_bind_int64(s, 5, e.mtime);
            sqlite3_bind_int(s, 6, e.valid ? 1 : 0);
            text(s, 7, e.patchName);
            text(s, 8, e.author);
            text(s, 9, e.comment);
            text(s, 10, e.reason);
            sqlite3_bind_int64(s, 11, static_cast<sqlite3_int64>(e.content));
            const std::vector<std::uint8_t> params = ParamsBlob(e.params);
            sqlite3_bind_blob(s, 12, params.data(), static_cast<int>(params.size()), SQLITE_TRANSIENT);
            if ((rc = sqlite3_step(s)) != SQLITE_DONE) return fail(rc);
        }
        for (const std::string& path : removed) {
            sqlite3_stmt* s = drop.get();
            sqlite3_reset(s);
            sqlite3_bind_blob(s, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
            if ((rc = sqlite3_step(s)) != SQLITE_DONE) return fail(rc);
        }
    }
    // The triggers do so too; this program does not leave it to them.
    if (!Exec(m_db, "DELETE FROM prepared") || (bulk && !Exec(m_db, kAddedIn3))) return fail(sqlite3_errcode(m_db));
    rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    return true;
}

std::optional<CatalogSnapshot> SqliteCatalogCache::LoadSnapshot(std::uint64_t rulesKey) {
    if (!Open()) return std::nullopt;
    const std::optional<long long> changes = QueryInt(m_db, "PRAGMA data_version");
    Statement s = Prepare(m_db, "SELECT part, data FROM prepared ORDER BY part");
    if (!changes || !s) return std::nullopt;
    SnapshotReader reader(rulesKey);
    long long part = 0;
    bool any = false;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        sqlite3_stmt* row = s.get();
        any = true;
        // Parts numbered from 0 without a gap, each a blob; a hole or a stranger fails the reader.
        const bool typed = sqlite3_column_type(row, 0) == SQLITE_INTEGER && sqlite3_column_int64(row, 0) == part++ &&
                           sqlite3_column_type(row, 1) == SQLITE_BLOB;
        const auto* data = static_cast<const char*>(sqlite3_column_blob(row, 1));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(row, 1));
        if (!typed || !reader.Part(std::string_view(data != nullptr ? data : "", size))) {
            rc = SQLITE_ERROR;
            break;
        }
    }
    s.reset();
    std::optional<CatalogSnapshot> snapshot = rc == SQLITE_DONE ? reader.Finish() : std::nullopt;
    // Read while the file was checked: used only if it passed.
    if (!ReadStands()) return std::nullopt;
    // One that cannot be used (spoiled, or made under other rules) goes: the next refresh stores a good one.
    if (!snapshot && any && !IsTransient(rc)) Exec(m_db, "DELETE FROM prepared");
    if (snapshot) m_known = changes;
    return snapshot;
}

bool SqliteCatalogCache::HasSnapshot(std::uint64_t rulesKey) {
    if (!Ready()) return false;
    Statement s = Prepare(m_db, "SELECT substr(data, 1, 16) FROM prepared WHERE part = 0");
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW || sqlite3_column_type(s.get(), 0) != SQLITE_BLOB) return false;
    const auto* head = static_cast<const char*>(sqlite3_column_blob(s.get(), 0));
    return head != nullptr &&
           SnapshotReader::HeaderHasKey(
               std::string_view(head, static_cast<std::size_t>(sqlite3_column_bytes(s.get(), 0))), rulesKey);
}

bool SqliteCatalogCache::SaveSnapshot(std::span<const std::string> parts) {
    if (!m_known || !Ready()) return false;
    if (!Exec(m_db, "BEGIN IMMEDIATE")) return false;
    // Made from the rows as this object last knew them: only while no one else changed them since.
    bool ok = QueryInt(m_db, "PRAGMA data_version") == m_known && Exec(m_db, "DELETE FROM prepared");
    Statement put = Prepare(m_db, "INSERT INTO prepared(part, data) VALUES(?1, ?2)");
    ok = ok && put;
    for (std::size_t i = 0; ok && i < parts.size(); ++i) {
        sqlite3_reset(put.get());
        sqlite3_bind_int64(put.get(), 1, static_cast<sqlite3_int64>(i));
        sqlite3_bind_blob(put.get(), 2, parts[i].data(), static_cast<int>(parts[i].size()), SQLITE_STATIC);
        ok = sqlite3_step(put.get()) == SQLITE_DONE;
    }
    put.reset();
    if (ok && Exec(m_db, "COMMIT")) return true;
    Exec(m_db, "ROLLBACK");
    return false;
}

MarksByContent SqliteCatalogCache::LoadMarks() {
    MarksByContent marks;
    if (!Ready()) return marks;
    Statement s = Prepare(m_db, "SELECT content, star, hidden, kind FROM marks");
    if (!s) return marks;
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
        sqlite3_stmt* row = s.get();
        bool typed = true;
        for (int c = 0; c < 4; ++c) typed = typed && sqlite3_column_type(row, c) == SQLITE_INTEGER;
        // A row another writer spoiled is passed over, never a reason to throw the user's other marks away.
        if (!typed) continue;
        const auto content = static_cast<std::uint64_t>(sqlite3_column_int64(row, 0));
        const sqlite3_int64 kind = sqlite3_column_int64(row, 3);
        PatchMarks m;
        m.star = sqlite3_column_int64(row, 1) != 0;
        m.hidden = sqlite3_column_int64(row, 2) != 0;
        m.kind = kind >= 0 && kind < kPatchKindCount ? static_cast<std::int8_t>(kind) : std::int8_t{-1};
        if (content != 0 && !m.Empty()) marks[content] = m;
    }
    return marks;
}

bool SqliteCatalogCache::SetMarks(std::uint64_t content, const PatchMarks& marks) {
    if (content == 0 || !Ready()) return false;
    Statement s =
        marks.Empty()
            ? Prepare(m_db, "DELETE FROM marks WHERE content = ?1")
            : Prepare(m_db, "INSERT OR REPLACE INTO marks(content, star, hidden, kind) VALUES(?1, ?2, ?3, ?4)");
    if (!s) return false;
    sqlite3_bind_int64(s.get(), 1, static_cast<sqlite3_int64>(content));
    if (!marks.Empty()) {
        sqlite3_bind_int(s.get(), 2, marks.star ? 1 : 0);
        sqlite3_bind_int(s.get(), 3, marks.hidden ? 1 : 0);
        sqlite3_bind_int(s.get(), 4, marks.kind);
    }
    return sqlite3_step(s.get()) == SQLITE_DONE;
}

ScanRecord SqliteCatalogCache::LoadScan() {
    ScanRecord record;
    if (!Ready()) return record;
    Statement roots = Prepare(m_db, "SELECT roots FROM scan_roots");
    Statement folders = Prepare(m_db, "SELECT path, mtime FROM scan_folders");
    if (!roots || !folders) return {};
    // Anything unexpected makes it unknown, which only costs a full look at the folders.
    if (sqlite3_step(roots.get()) != SQLITE_ROW || sqlite3_column_type(roots.get(), 0) != SQLITE_BLOB) return {};
    record.roots.assign(static_cast<const char*>(sqlite3_column_blob(roots.get(), 0)),
                        static_cast<std::size_t>(sqlite3_column_bytes(roots.get(), 0)));
    if (sqlite3_step(roots.get()) != SQLITE_DONE) return {};
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(folders.get())) == SQLITE_ROW) {
        sqlite3_stmt* row = folders.get();
        if (sqlite3_column_type(row, 0) != SQLITE_BLOB || sqlite3_column_bytes(row, 0) <= 0 ||
            sqlite3_column_type(row, 1) != SQLITE_INTEGER)
            return {};
        record.folders.push_back({std::string(static_cast<const char*>(sqlite3_column_blob(row, 0)),
                                              static_cast<std::size_t>(sqlite3_column_bytes(row, 0))),
                                  sqlite3_column_int64(row, 1)});
    }
    if (rc != SQLITE_DONE) return {};
    return record;
}

bool SqliteCatalogCache::SaveScan(const ScanRecord& record) {
    if (!Ready()) return false;
    if (!Exec(m_db, "BEGIN IMMEDIATE")) return false;
    bool ok = Exec(m_db, "DELETE FROM scan_roots; DELETE FROM scan_folders");
    Statement roots = Prepare(m_db, "INSERT INTO scan_roots(roots) VALUES(?1)");
    Statement folder = Prepare(m_db, "INSERT OR REPLACE INTO scan_folders(path, mtime) VALUES(?1, ?2)");
    ok = ok && roots && folder;
    if (ok) {
        sqlite3_bind_blob(roots.get(), 1, record.roots.data(), static_cast<int>(record.roots.size()), SQLITE_STATIC);
        ok = sqlite3_step(roots.get()) == SQLITE_DONE;
    }
    for (const FolderStamp& f : record.folders) {
        if (!ok) break;
        sqlite3_reset(folder.get());
        sqlite3_bind_blob(folder.get(), 1, f.path.data(), static_cast<int>(f.path.size()), SQLITE_STATIC);
        sqlite3_bind_int64(folder.get(), 2, f.mtime);
        ok = sqlite3_step(folder.get()) == SQLITE_DONE;
    }
    roots.reset();
    folder.reset();
    if (ok && Exec(m_db, "COMMIT")) return true;
    Exec(m_db, "ROLLBACK");
    return false;
}

namespace {

std::vector<CatalogEntry> ReadNames(sqlite3* db) {
    std::vector<CatalogEntry> entries;
    MakeRoom(db, entries);
    Statement s =
        Prepare(db, "SELECT path, bank, valid, patch_name, content, file_name FROM files WHERE params IS NOT NULL");
    if (!s) return entries;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        sqlite3_stmt* row = s.get();
        const int pathBytes = sqlite3_column_bytes(row, 0);
        const void* pathData = sqlite3_column_blob(row, 0);
        auto bank = Text(row, 1);
        auto name = Text(row, 3);
        auto fileName = Text(row, 5);
        // What Load would refuse is not listed here either; Load then starts the index afresh.
        if (sqlite3_column_type(row, 0) != SQLITE_BLOB || pathBytes <= 0 || !bank || !name || !fileName ||
            sqlite3_column_type(row, 2) != SQLITE_INTEGER || sqlite3_column_type(row, 4) != SQLITE_INTEGER)
            return {};
        CatalogEntry e;
        e.path.assign(static_cast<const char*>(pathData), static_cast<std::size_t>(pathBytes));
        e.bank = std::move(*bank);
        e.fileName = std::move(*fileName);
        e.valid = sqlite3_column_int64(row, 2) != 0;
        e.patchName = std::move(*name);
        e.content = static_cast<std::uint64_t>(sqlite3_column_int64(row, 4));
        entries.push_back(std::move(e));
    }
    if (rc != SQLITE_DONE) return {};
    return entries;
}

}  // namespace

std::vector<CatalogEntry> SqliteCatalogCache::LoadNames() {
    if (!Open()) return {};
    // Read while the file is checked, for a menu that must show at once: handed out only if it passed.
    std::vector<CatalogEntry> entries = ReadNames(m_db);
    if (!ReadStands()) return {};
    return entries;
}
