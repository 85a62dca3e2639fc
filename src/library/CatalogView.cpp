// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/CatalogView.h"

#include "library/PatchKinds.h"
#include "library/TextFold.h"

#include <algorithm>
#include <functional>
#include <numeric>

namespace {

// Between fields of the haystack, so that no word typed matches across two of them.
constexpr char kFieldSeparator = '\x1F';

std::vector<std::string> Words(std::string_view folded) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < folded.size()) {
        while (i < folded.size() && (folded[i] == ' ' || folded[i] == '\t')) ++i;
        std::size_t end = i;
        while (end < folded.size() && folded[end] != ' ' && folded[end] != '\t') ++end;
        if (end > i) words.emplace_back(folded.substr(i, end - i));
        i = end;
    }
    return words;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::vector<std::uint32_t> OrderOf(const std::vector<CatalogEntry>& entries, const std::vector<std::string>& names,
                                   const std::function<PatchKind(std::size_t)>& kindAt, CatalogColumn column,
                                   bool ascending);

std::string OneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return out;
}

std::string DisplayName(const CatalogEntry& entry) {
    const std::string_view name = Trimmed(entry.patchName);
    if (entry.valid && !name.empty()) return OneLine(name);
    std::string_view file = entry.fileName;
    if (const std::size_t dot = file.rfind('.'); dot != std::string_view::npos && dot > 0) file = file.substr(0, dot);
    return OneLine(file);
}

PreparedCatalog PrepareCatalog(std::vector<CatalogEntry> entries, CatalogExtras extras) {
    PreparedCatalog out;
    out.entries = std::move(entries);
    const std::size_t n = out.entries.size();
    const bool kept = extras.guessed.size() == n && extras.byName.size() == n;
    if (kept) {
        out.guessed = std::move(extras.guessed);
        out.byName = std::move(extras.byName);
    } else {
        out.guessed.reserve(n);
        for (const CatalogEntry& e : out.entries)
            out.guessed.push_back(e.valid ? GuessKind(e.patchName, e.comment) : PatchKind::Other);
    }
    out.names.reserve(n);
    out.haystackEnds.reserve(n);
    std::size_t bytes = 0;
    for (const CatalogEntry& e : out.entries)
        bytes += e.patchName.size() + e.author.size() + e.comment.size() + e.fileName.size() + 3;
    out.haystack.reserve(bytes);
    std::string hay;
    for (const CatalogEntry& e : out.entries) {
        out.names.push_back(DisplayName(e));
        hay.clear();
        hay.append(e.patchName).append(1, kFieldSeparator).append(e.author).append(1, kFieldSeparator);
        // The file name without its extension: ".qnp" would make every file match a "p".
        std::string_view file = e.fileName;
        if (file.size() > 4 && FoldCase(file.substr(file.size() - 4)) == ".qnp") file.remove_suffix(4);
        hay.append(e.comment).append(1, kFieldSeparator).append(file);
        AppendFoldCase(out.haystack, hay);
        out.haystackEnds.push_back(out.haystack.size());
    }
    // The list's first order, worked out here rather than by the window.
    if (!kept)
        out.byName = OrderOf(
            out.entries, out.names, [&out](std::size_t i) { return out.guessed[i]; }, CatalogColumn::Name, true);
    return out;
}

void CatalogView::SetCatalog(PreparedCatalog catalog) {
    m_entries = std::move(catalog.entries);
    m_names = std::move(catalog.names);
    m_haystack = std::move(catalog.haystack);
    m_haystackEnds = std::move(catalog.haystackEnds);
    m_guessed = std::move(catalog.guessed);
    if (m_guessed.size() != m_entries.size()) {
        m_guessed.clear();
        for (const CatalogEntry& e : m_entries)
            m_guessed.push_back(e.valid ? GuessKind(e.patchName, e.comment) : PatchKind::Other);
    }
    // A result list names entries of the catalog it was made from.
    m_list.reset();
    m_match.assign(m_entries.size(), 1);
    if (m_sortColumn == CatalogColumn::Name && catalog.byName.size() == m_entries.size()) {
        m_order = std::move(catalog.byName);
        if (!m_ascending) std::reverse(m_order.begin(), m_order.end());
    } else {
        Order();
    }
    // The search typed so far applies to the new entries too.
    Select(false);
}

bool CatalogView::SetFilter(std::string_view text) {
    std::string folded = FoldCase(text);
    if (text == m_filterText) return false;
    // Typing on only ever narrows: then only what matched so far is looked at again.
    const bool narrowing = folded.starts_with(m_folded);
    m_filterText = std::string(text);
    m_folded = std::move(folded);
    m_terms = Words(m_folded);
    const std::vector<std::uint32_t> before = m_rows;
    Select(narrowing);
    return m_rows != before;
}

void CatalogView::Select(bool narrowing) {
    const std::size_t n = m_entries.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (narrowing && !m_match[i]) continue;
        bool all = true;
        const std::size_t begin = i == 0 ? 0 : m_haystackEnds[i - 1];
        const std::string_view hay = std::string_view(m_haystack).substr(begin, m_haystackEnds[i] - begin);
        for (const std::string& term : m_terms) {
            if (hay.find(term) == std::string_view::npos) {
                all = false;
                break;
            }
        }
        m_match[i] = all;
    }
    ListRows();
}

PatchKind CatalogView::KindAt(std::size_t entry) const {
    const PatchMarks& marks = m_entries[entry].marks;
    if (marks.kind >= 0 && marks.kind < kPatchKindCount) return static_cast<PatchKind>(marks.kind);
    return entry < m_guessed.size() ? m_guessed[entry] : PatchKind::Other;
}

bool CatalogView::Shown(std::uint32_t i) const {
    if (!m_match[i]) return false;
    // A result list shows what it found, hidden or not; the kind and star filters are for the whole list.
    if (m_list) return true;
    const PatchMarks& marks = m_entries[i].marks;
    if (marks.hidden && !m_marks.showHidden) return false;
    if (m_marks.starredOnly && !marks.star) return false;
    if (m_marks.kind && KindAt(i) != *m_marks.kind) return false;
    return true;
}

void CatalogView::ListRows() {
    m_rows.clear();
    if (m_list) {
        for (std::uint32_t i : *m_list)
            if (i < m_entries.size() && Shown(i)) m_rows.push_back(i);
        return;
    }
    for (std::uint32_t i : m_order)
        if (Shown(i)) m_rows.push_back(i);
}

void CatalogView::SetMarkFilter(const MarkFilter& filter) {
    if (filter == m_marks) return;
    m_marks = filter;
    ListRows();
}

bool CatalogView::SetMarks(std::uint64_t content, const PatchMarks& marks) {
    if (content == 0) return false;
    bool changed = false;
    for (CatalogEntry& e : m_entries) {
        if (e.content == content && e.marks != marks) {
            e.marks = marks;
            changed = true;
        }
    }
    if (changed) {
        // Sorted by kind, a new kind moves the row.
        if (m_sortColumn == CatalogColumn::Kind) Order();
        ListRows();
    }
    return changed;
}

void CatalogView::ShowResultList(std::vector<std::uint32_t> entries) {
    m_list = std::move(entries);
    ListRows();
}

void CatalogView::ClearResultList() {
    if (!m_list) return;
    m_list.reset();
    ListRows();
}

void CatalogView::SortBy(CatalogColumn column, bool ascending) {
    if (column == m_sortColumn && ascending == m_ascending) return;
    m_sortColumn = column;
    m_ascending = ascending;
    Order();
    ListRows();
}

// Every entry in the order of a column; ties fall back to the name and the path, so that the order never
// depends on the order of reading, and descending is ascending reversed.
std::vector<std::uint32_t> OrderOf(const std::vector<CatalogEntry>& entries, const std::vector<std::string>& names,
                                   const std::function<PatchKind(std::size_t)>& kindAt, CatalogColumn column,
                                   bool ascending) {
    std::vector<std::uint32_t> order(entries.size());
    std::iota(order.begin(), order.end(), 0u);
    std::vector<std::string> keys(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const CatalogEntry& e = entries[i];
        switch (column) {
            case CatalogColumn::Name: keys[i] = FoldCase(names[i]); break;
            case CatalogColumn::Author: keys[i] = FoldCase(e.author); break;
            case CatalogColumn::Bank: keys[i] = FoldCase(e.bank); break;
            case CatalogColumn::File: keys[i] = FoldCase(e.fileName); break;
            case CatalogColumn::Modified: break;
            case CatalogColumn::Kind: keys[i] = std::string(KindName(kindAt(i))); break;
        }
    }
    const bool byTime = column == CatalogColumn::Modified;
    auto less = [&](std::uint32_t a, std::uint32_t b) {
        if (byTime) {
            if (entries[a].mtime != entries[b].mtime) return entries[a].mtime < entries[b].mtime;
        } else if (int c = NaturalCompare(keys[a], keys[b]); c != 0) {
            return c < 0;
        }
        if (int c = names[a].compare(names[b]); c != 0) return c < 0;
        return entries[a].path < entries[b].path;
    };
    std::sort(order.begin(), order.end(), less);
    if (!ascending) std::reverse(order.begin(), order.end());
    return order;
}

void CatalogView::Order() {
    m_order = OrderOf(
        m_entries, m_names, [this](std::size_t i) { return KindAt(i); }, m_sortColumn, m_ascending);
}

std::optional<std::size_t> CatalogView::RowOfPath(std::string_view path) const {
    for (std::size_t r = 0; r < m_rows.size(); ++r)
        if (m_entries[m_rows[r]].path == path) return r;
    return std::nullopt;
}
