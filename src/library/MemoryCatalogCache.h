// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/ports/CatalogCache.h"

// A cache in memory: for a run without a cache file, and for tests.
class MemoryCatalogCache : public CatalogCache {
public:
    std::vector<CatalogEntry> Load() override { return m_entries; }
    bool Update(std::span<const CatalogEntry> changed, std::span<const std::string> removed) override;
    MarksByContent LoadMarks() override { return m_marks; }
    bool SetMarks(std::uint64_t content, const PatchMarks& marks) override;
    ScanRecord LoadScan() override { return m_scan; }
    bool SaveScan(const ScanRecord& record) override {
        m_scan = record;
        return true;
    }

    std::vector<CatalogEntry> m_entries;
    MarksByContent m_marks;
    ScanRecord m_scan;
};
