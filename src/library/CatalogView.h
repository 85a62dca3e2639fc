// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class CatalogColumn { Name, Author, Bank, File, Modified };
constexpr int kCatalogColumnCount = 5;

// The name a patch is listed by: its patch name, or its file name without the extension when it has
// none (or is no patch); on one line.
std::string DisplayName(const CatalogEntry& entry);
// A text for a single line: control characters become spaces.
std::string OneLine(std::string_view text);

// What searching and listing need of a catalog besides the entries, worked out once. For thousands of
// entries that takes a while, so the indexing thread makes it, not the window.
struct PreparedCatalog {
    std::vector<CatalogEntry> entries;
    std::vector<std::string> names;     // DisplayName of each entry
    std::vector<std::string> haystack;  // folded name, author, comment and file name, one per entry
};
PreparedCatalog PrepareCatalog(std::vector<CatalogEntry> entries);

// The catalog as the library window shows it: filtered by what the user typed, sorted by a column.
// Filtering is case-insensitive over name, author, comment and file name; every word typed must occur.
class CatalogView {
public:
    void SetEntries(std::vector<CatalogEntry> entries) { SetCatalog(PrepareCatalog(std::move(entries))); }
    void SetCatalog(PreparedCatalog catalog);
    const std::vector<CatalogEntry>& Entries() const { return m_entries; }

    // True when the rows changed.
    bool SetFilter(std::string_view text);
    const std::string& Filter() const { return m_filterText; }
    void SortBy(CatalogColumn column, bool ascending);
    CatalogColumn SortColumn() const { return m_sortColumn; }
    bool SortAscending() const { return m_ascending; }

    std::size_t RowCount() const { return m_rows.size(); }
    const CatalogEntry& Row(std::size_t row) const { return m_entries[m_rows[row]]; }
    const std::string& RowName(std::size_t row) const { return m_names[m_rows[row]]; }
    std::optional<std::size_t> RowOfPath(std::string_view path) const;

private:
    void Order();
    void Select(bool narrowing);

    std::vector<CatalogEntry> m_entries;
    std::vector<std::string> m_names;     // DisplayName of each entry
    std::vector<std::string> m_haystack;  // folded name, author, comment and file name, one per entry
    std::vector<std::uint32_t> m_order;   // every entry, in sort order
    std::vector<std::uint8_t> m_match;    // per entry
    std::vector<std::uint32_t> m_rows;    // the matching entries, in sort order
    std::string m_filterText;
    std::string m_folded;
    std::vector<std::string> m_terms;
    CatalogColumn m_sortColumn = CatalogColumn::Name;
    bool m_ascending = true;
};
