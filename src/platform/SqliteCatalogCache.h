// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/ports/CatalogCache.h"

#include <future>
#include <optional>
#include <string>

struct sqlite3;

// The library's index as an SQLite database file. The file is trusted only when it carries this program's
// marker and version and passes SQLite's own check; a damaged, foreign or older file, and any SQLite error
// while it is used, make it start afresh: the index then reads every file again, which costs time, never a
// wrong listing. The user's marks are the exception: an index of an earlier version is brought up to date in
// place, not started afresh. Beside the rows it keeps a snapshot of the prepared catalog (CatalogSnapshot), which
// any change to the rows drops in the same transaction. Every update is one transaction, so a crash in the middle
// leaves the cache as it was before or after it. One object per thread.
class SqliteCatalogCache : public CatalogCache {
public:
    explicit SqliteCatalogCache(std::string path);
    ~SqliteCatalogCache() override;
    SqliteCatalogCache(const SqliteCatalogCache&) = delete;
    SqliteCatalogCache& operator=(const SqliteCatalogCache&) = delete;

    std::vector<CatalogEntry> Load() override;
    std::vector<CatalogEntry> LoadNames() override;
    bool Update(std::span<const CatalogEntry> changed, std::span<const std::string> removed) override;
    MarksByContent LoadMarks() override;
    bool SetMarks(std::uint64_t content, const PatchMarks& marks) override;
    ScanRecord LoadScan() override;
    bool SaveScan(const ScanRecord& record) override;
    std::optional<CatalogSnapshot> LoadSnapshot(std::uint64_t rulesKey) override;
    bool HasSnapshot(std::uint64_t rulesKey) override;
    bool SaveSnapshot(std::span<const std::string> parts) override;

    // How often the file was found unusable and started afresh.
    int Rebuilds() const { return m_rebuilds; }
    // Whether the cache could be opened at all; without it, loads are empty and updates fail.
    bool Usable();

    // Written into the file; a file with other values is not this program's index of this version.
    static constexpr int kApplicationId = 0x514E4C58;  // "QNLX"
    static constexpr int kSchemaVersion = 3;

private:
    enum class Check { Passed, Damaged, Busy };
    // Opens the file, brought up to date, and starts SQLite's check of it; Ready waits for the check too.
    bool Open();
    bool Ready();
    // Waits for the check: false when it did not pass and the file could not start afresh or is left for later.
    bool Checked();
    // For what was read while the check ran: true only if it passed.
    bool ReadStands();
    static Check CheckFile(const std::string& path);
    bool Rebuild();
    bool RebuildUnlessBusy();
    bool CreateSchema();
    bool Migrate();
    void Tune();
    void Close();
    // An error that means "not now" (another program holds the file) rather than a damaged file.
    static bool IsTransient(int code);

    std::string m_path;
    sqlite3* m_db = nullptr;
    bool m_failed = false;
    int m_rebuilds = 0;
    // SQLite's data_version when this object last read all the rows (Load, LoadSnapshot): while it is the same, no
    // other connection changed the file since, and the rows are that read with this object's own Updates on top.
    std::optional<long long> m_known;
    std::future<Check> m_check;  // SQLite's check of the file opened last, until Checked takes its answer
};
