// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/MemoryCatalogCache.h"

#include <unordered_map>
#include <unordered_set>

bool MemoryCatalogCache::Update(std::span<const CatalogEntry> changed, std::span<const std::string> removed) {
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < m_entries.size(); ++i) index.emplace(m_entries[i].path, i);
    for (const CatalogEntry& e : changed) {
        if (auto it = index.find(e.path); it != index.end()) {
            m_entries[it->second] = e;
        } else {
            index.emplace(e.path, m_entries.size());
            m_entries.push_back(e);
        }
    }
    std::unordered_set<std::string> gone(removed.begin(), removed.end());
    std::erase_if(m_entries, [&gone](const CatalogEntry& e) { return gone.contains(e.path); });
    return true;
}

bool MemoryCatalogCache::SetMarks(std::uint64_t content, const PatchMarks& marks) {
    if (content == 0) return false;
    if (marks.Empty()) {
        m_marks.erase(content);
    } else {
        m_marks[content] = marks;
    }
    return true;
}
