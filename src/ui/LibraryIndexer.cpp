// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LibraryIndexer.h"

#include "library/MemoryCatalogCache.h"

#include <QMetaObject>
#include <QTimer>

LibraryIndexer::LibraryIndexer(CacheFactory makeCache, QObject* parent)
    : QObject(parent), m_makeCache(std::move(makeCache)), m_thread([this] { Run(); }) {}

LibraryIndexer::~LibraryIndexer() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_cancel = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void LibraryIndexer::Request(std::vector<LibraryRoot> roots) {
    {
        const std::lock_guard lock(m_mutex);
        m_pending = std::move(roots);
        m_busy = true;
    }
    m_wake.notify_all();
}

void LibraryIndexer::SetMarks(std::uint64_t content, const PatchMarks& marks) {
    {
        const std::lock_guard lock(m_mutex);
        m_marks.emplace_back(content, marks);
    }
    m_wake.notify_all();
}

void LibraryIndexer::WriteMarks(CatalogCache& cache) {
    std::vector<std::pair<std::uint64_t, PatchMarks>> marks;
    {
        const std::lock_guard lock(m_mutex);
        marks.swap(m_marks);
    }
    for (const auto& [content, m] : marks) cache.SetMarks(content, m);
}

void LibraryIndexer::Post(std::function<void()> call) {
    // Queued to this object: dropped if it is gone by then, which cannot happen while the thread runs.
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void LibraryIndexer::Run() {
    std::unique_ptr<CatalogCache> cache;
    bool first = true;
    bool delivered = false;  // the window has a catalog from this thread
    auto ensureCache = [this, &cache] {
        if (!cache) cache = m_makeCache ? m_makeCache() : nullptr;
        if (!cache) cache = std::make_unique<MemoryCatalogCache>();
    };
    // Marks are the user's work: written before anything else, and before the thread ends.
    auto flushMarks = [this, &cache, &ensureCache] {
        bool any = false;
        {
            const std::lock_guard lock(m_mutex);
            any = !m_marks.empty();
        }
        if (!any) return;
        ensureCache();
        WriteMarks(*cache);
    };
    // After a refresh that trusted the folders' times, the check of each file that it left out.
    std::optional<std::vector<LibraryRoot>> verify;
    for (;;) {
        std::vector<LibraryRoot> roots;
        bool refresh = false;
        bool stop = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this, &verify] {
                return m_stop || m_pending.has_value() || !m_marks.empty() || (verify.has_value() && !m_holdCheck);
            });
            stop = m_stop;
            if (!stop && m_pending.has_value()) {
                roots = std::move(*m_pending);
                m_pending.reset();
                refresh = true;
            } else if (!stop && verify.has_value() && !m_holdCheck) {
                roots = std::move(*verify);
                refresh = true;
            }
            if (refresh) verify.reset();
        }
        flushMarks();
        if (stop) return;
        if (!refresh) continue;
        ensureCache();

        RefreshStats stats;
        RefreshCallbacks callbacks;
        callbacks.cancel = &m_cancel;
        // A window that opens lists the index at once, and checked by the folders' times when none changed.
        callbacks.trustUnchangedFolders = first;
        if (first) {
            // Only the first time: later the window already shows at least as much.
            callbacks.cached = [this, &delivered, &stats](const std::vector<CatalogEntry>& cached) {
                // Taken at the folders' word, the entries are the refresh's result at once: they go to the window
                // from there, moved rather than copied here.
                if (stats.trusted) return;
                delivered = true;
                Post([this, catalog = PrepareCatalog(cached)]() mutable {
                    if (onEntries) onEntries(&catalog, RefreshStats{}, false);
                });
            };
        }
        callbacks.progress = [this](std::size_t read, std::size_t toRead) {
            Post([this, read, toRead] {
                if (onProgress) onProgress(read, toRead);
            });
        };
        CatalogExtras extras;
        std::vector<CatalogEntry> entries = RefreshCatalog(roots, *cache, &stats, callbacks, &extras);
        if (m_cancel) {
            flushMarks();
            return;
        }
        if (stats.trusted) {
            verify = roots;
            // Held until the window has taken the catalog, so that the check does not slow its first paint.
            const std::lock_guard lock(m_mutex);
            m_holdCheck = true;
        }
        first = false;
        // What was delivered last is what the cache held: when nothing differs from it, the window keeps
        // what it has, and preparing it all again would be wasted. Let go before this thread counts as idle.
        const bool same = stats.changed == 0 && stats.removed == 0 && delivered;
        if (same) std::vector<CatalogEntry>().swap(entries);
        bool more = false;
        {
            const std::lock_guard lock(m_mutex);
            more = m_pending.has_value();
            // Busy until the check of each file that a trusting refresh leaves for after.
            if (!more && !stats.trusted) m_busy = false;
        }
        delivered = true;
        if (same) {
            Post([this, stats = std::move(stats), more]() {
                if (onEntries) onEntries(nullptr, stats, !more);
            });
            continue;
        }
        PreparedCatalog catalog = PrepareCatalog(std::move(entries), std::move(extras));
        // What was just prepared is kept for the next opening, unless the cache holds it already (the triggers
        // of the index drop a snapshot whenever its rows change). Encoded before the catalog goes to the window.
        std::vector<std::string> snapshot;
        if (stats.cacheWritten && !stats.fromSnapshot && !cache->HasSnapshot(PreparedRulesKey()))
            snapshot = EncodeSnapshot(catalog.entries, catalog.guessed, catalog.byName, PreparedRulesKey());
        Post([this, catalog = std::move(catalog), stats = std::move(stats), more]() mutable {
            if (onEntries) onEntries(&catalog, stats, !more);
            // What the window does right after taking a catalog (the first paint, its folders watched) comes
            // first; then the check of each file.
            QTimer::singleShot(0, this, [this] {
                {
                    const std::lock_guard lock(m_mutex);
                    m_holdCheck = false;
                }
                m_wake.notify_all();
            });
        });
        if (!snapshot.empty()) cache->SaveSnapshot(snapshot);
    }
}
