// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogView.h"
#include "library/LibraryIndex.h"
#include "library/ports/CatalogCache.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

// Keeps the library's index up to date on a thread of its own, so that reading thousands of files never
// holds up the window. Results come back on the thread that owns this object, through its event loop.
class LibraryIndexer : public QObject {
public:
    // Makes the cache on the worker thread, which then has it to itself.
    using CacheFactory = std::function<std::unique_ptr<CatalogCache>()>;

    explicit LibraryIndexer(CacheFactory makeCache, QObject* parent = nullptr);
    ~LibraryIndexer() override;  // stops the work under way and waits for the thread

    // Asks for a refresh; requests made while one runs are merged into the next.
    void Request(std::vector<LibraryRoot> roots);
    bool Busy() const { return m_busy.load(); }
    // Keeps a patch's marks in the cache, on the worker thread, after whatever it is doing; marks given before
    // this object goes are always written.
    void SetMarks(std::uint64_t content, const PatchMarks& marks);

    // `final` is false for what the cache held, shown while the folders are checked. The catalog comes
    // prepared for the view; the receiver may take it (move from it). It is null when the folders hold just
    // what was delivered last.
    std::function<void(PreparedCatalog* catalog, const RefreshStats& stats, bool final)> onEntries;
    std::function<void(std::size_t read, std::size_t toRead)> onProgress;

private:
    void Run();
    void Post(std::function<void()> call);
    void WriteMarks(CatalogCache& cache);

    CacheFactory m_makeCache;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<std::vector<LibraryRoot>> m_pending;
    std::vector<std::pair<std::uint64_t, PatchMarks>> m_marks;
    bool m_stop = false;
    bool m_holdCheck = false;  // the check after a trusting refresh waits for the window to take its catalog
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_busy{false};
    std::thread m_thread;
};
