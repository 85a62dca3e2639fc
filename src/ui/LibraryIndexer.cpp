// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LibraryIndexer.h"

#include "library/MemoryCatalogCache.h"

#include <QMetaObject>

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

void LibraryIndexer::Post(std::function<void()> call) {
    // Queued to this object: dropped if it is gone by then, which cannot happen while the thread runs.
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void LibraryIndexer::Run() {
    std::unique_ptr<CatalogCache> cache;
    bool first = true;
    bool delivered = false;  // the window has a catalog from this thread
    for (;;) {
        std::vector<LibraryRoot> roots;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_pending.has_value(); });
            if (m_stop) return;
            roots = std::move(*m_pending);
            m_pending.reset();
        }
        if (!cache) cache = m_makeCache ? m_makeCache() : nullptr;
        if (!cache) cache = std::make_unique<MemoryCatalogCache>();

        RefreshCallbacks callbacks;
        callbacks.cancel = &m_cancel;
        if (first) {
            // Only the first time: later the window already shows at least as much.
            callbacks.cached = [this, &delivered](const std::vector<CatalogEntry>& cached) {
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
        RefreshStats stats;
        std::vector<CatalogEntry> entries = RefreshCatalog(roots, *cache, &stats, callbacks);
        if (m_cancel) return;
        first = false;
        bool more = false;
        {
            const std::lock_guard lock(m_mutex);
            more = m_pending.has_value();
            if (!more) m_busy = false;
        }
        // What was delivered last is what the cache held: when nothing differs from it, the window keeps
        // what it has, and preparing it all again would be wasted.
        const bool same = stats.changed == 0 && stats.removed == 0 && delivered;
        delivered = true;
        if (same) {
            Post([this, stats = std::move(stats), more]() {
                if (onEntries) onEntries(nullptr, stats, !more);
            });
            continue;
        }
        Post([this, catalog = PrepareCatalog(std::move(entries)), stats = std::move(stats), more]() mutable {
            if (onEntries) onEntries(&catalog, stats, !more);
        });
    }
}
