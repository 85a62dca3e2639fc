// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"
#include "library/CatalogSnapshot.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class CatalogColumn { Name, Author, Bank, File, Modified, Kind };
constexpr int kCatalogColumnCount = 6;

// The name a patch is listed by: its patch name, or its file name without the extension when it has
// none (or is no patch); on one line.
std::string DisplayName(const CatalogEntry& entry);
// A text for a single line: control characters become spaces.
std::string OneLine(std::string_view text);

// What searching and listing need of a catalog besides the entries, worked out once. For thousands of
// entries that takes a while, so the indexing thread makes it, not the window.
struct PreparedCatalog {
    std::vector<CatalogEntry> entries;
    std::vector<std::string> names;  // DisplayName of each entry
    // Folded name, author, comment and file name of every entry, one after the other in one text (50,000 small
    // texts would cost as many allocations, and their memory stays scattered); entry i ends at haystackEnds[i].
    std::string haystack;
    std::vector<std::size_t> haystackEnds;
    std::vector<PatchKind> guessed;     // the kind each entry's texts suggest
    std::vector<std::uint32_t> byName;  // the entries by name, ascending
};
// Extras that the index kept for exactly these entries (CatalogSnapshot) are taken as they are; without them
// (or of another size), the kinds are guessed and the order worked out here.
PreparedCatalog PrepareCatalog(std::vector<CatalogEntry> entries, CatalogExtras extras = {});

// Which marked patches the list shows, besides what the search finds.
struct MarkFilter {
    bool starredOnly = false;
    bool showHidden = false;
    std::optional<PatchKind> kind;

    bool operator==(const MarkFilter&) const = default;
};

// The catalog as the library window shows it: filtered by what the user typed, sorted by a column.
// Filtering is case-insensitive over name, author, comment and file name; every word typed must occur.
// Hidden patches are left out unless asked for. A result list (the patches like one, the duplicates) shows
// just its entries, in its own order, hidden ones too, so that extras can be hidden from it.
class CatalogView {
public:
    void SetEntries(std::vector<CatalogEntry> entries) { SetCatalog(PrepareCatalog(std::move(entries))); }
    void SetCatalog(PreparedCatalog catalog);
    const std::vector<CatalogEntry>& Entries() const { return m_entries; }

    // True when the rows changed.
    bool SetFilter(std::string_view text);
    const std::string& Filter() const { return m_filterText; }
    void SetMarkFilter(const MarkFilter& filter);
    const MarkFilter& Marks() const { return m_marks; }
    // Gives every entry of that content these marks; true when any changed.
    bool SetMarks(std::uint64_t content, const PatchMarks& marks);
    // The kind listed for an entry: the user's, or the guess.
    PatchKind KindAt(std::size_t entry) const;

    // Shows only these entries (indexes into Entries()), in this order, until ClearResultList.
    void ShowResultList(std::vector<std::uint32_t> entries);
    void ClearResultList();
    bool ShowingResultList() const { return m_list.has_value(); }

    void SortBy(CatalogColumn column, bool ascending);
    CatalogColumn SortColumn() const { return m_sortColumn; }
    bool SortAscending() const { return m_ascending; }

    std::size_t RowCount() const { return m_rows.size(); }
    const CatalogEntry& Row(std::size_t row) const { return m_entries[m_rows[row]]; }
    const std::string& RowName(std::size_t row) const { return m_names[m_rows[row]]; }
    PatchKind RowKind(std::size_t row) const { return KindAt(m_rows[row]); }
    std::size_t RowEntry(std::size_t row) const { return m_rows[row]; }
    std::optional<std::size_t> RowOfPath(std::string_view path) const;

private:
    void Order();
    void Select(bool narrowing);
    void ListRows();
    bool Shown(std::uint32_t entry) const;

    std::vector<CatalogEntry> m_entries;
    std::vector<std::string> m_names;  // DisplayName of each entry
    std::string m_haystack;            // as PreparedCatalog has it
    std::vector<std::size_t> m_haystackEnds;
    std::vector<PatchKind> m_guessed;
    std::vector<std::uint32_t> m_order;  // every entry, in sort order
    std::vector<std::uint8_t> m_match;   // per entry
    std::vector<std::uint32_t> m_rows;   // the matching entries, in sort order
    std::string m_filterText;
    std::string m_folded;
    std::vector<std::string> m_terms;
    MarkFilter m_marks;
    std::optional<std::vector<std::uint32_t>> m_list;
    CatalogColumn m_sortColumn = CatalogColumn::Name;
    bool m_ascending = true;
};
