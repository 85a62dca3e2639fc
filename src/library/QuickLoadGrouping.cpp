// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/QuickLoadGrouping.h"

#include "library/CatalogView.h"
#include "library/TextFold.h"

#include <algorithm>
#include <map>

namespace {

constexpr const char* kEnDash = "\u2013";
// Past this many characters of common prefix, a stretch is cut by count instead.
constexpr std::size_t kMaxPrefix = 6;

std::string Capitalised(std::string_view prefix) {
    std::string s(prefix);
    for (std::size_t i = 0; i < s.size(); ++i) {
        char& c = s[i];
        if (i == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (i > 0 && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return s.empty() ? std::string("#") : s;
}

std::string RangeLabel(const std::string& first, const std::string& last) {
    return first == last ? first : first + kEnDash + last;
}

struct Stretch {
    std::size_t begin, end;   // item indexes
    std::string first, last;  // labels of the prefixes at both ends
};

std::string Prefix(const QuickLoadItem& item, std::size_t depth) {
    return Capitalised(FirstCharacters(item.label, depth));
}

std::string FoldedPrefix(const QuickLoadItem& item, std::size_t depth) {
    return FoldCase(FirstCharacters(item.label, depth));
}

std::vector<QuickLoadItem> Split(std::vector<QuickLoadItem> items, std::size_t depth);

// Wraps runs of menus in further menus until no more than the limit remain side by side.
std::vector<QuickLoadItem> Wrap(std::vector<QuickLoadItem> menus, std::vector<Stretch> stretches) {
    while (menus.size() > kQuickLoadMenuLimit) {
        std::vector<QuickLoadItem> outer;
        std::vector<Stretch> outerStretches;
        for (std::size_t i = 0; i < menus.size(); i += kQuickLoadMenuLimit) {
            const std::size_t end = std::min(menus.size(), i + kQuickLoadMenuLimit);
            Stretch s{i, end, stretches[i].first, stretches[end - 1].last};
            QuickLoadItem menu{RangeLabel(s.first, s.last), "", {}, -1};
            for (std::size_t k = i; k < end; ++k) menu.children.push_back(std::move(menus[k]));
            outer.push_back(std::move(menu));
            outerStretches.push_back(std::move(s));
        }
        menus = std::move(outer);
        stretches = std::move(outerStretches);
    }
    return menus;
}

// Items that no prefix tells apart, cut into numbered stretches.
std::vector<QuickLoadItem> SplitByCount(std::vector<QuickLoadItem> items, const std::string& prefix) {
    std::vector<QuickLoadItem> menus;
    std::vector<Stretch> stretches;
    for (std::size_t i = 0; i < items.size(); i += kQuickLoadMenuLimit) {
        const std::size_t end = std::min(items.size(), i + kQuickLoadMenuLimit);
        const std::string label = prefix + " (" + std::to_string(i + 1) + kEnDash + std::to_string(end) + ")";
        QuickLoadItem menu{label, "", {}, -1};
        for (std::size_t k = i; k < end; ++k) menu.children.push_back(std::move(items[k]));
        menus.push_back(std::move(menu));
        stretches.push_back({i, end, label, label});
    }
    return Wrap(std::move(menus), std::move(stretches));
}

std::vector<QuickLoadItem> Split(std::vector<QuickLoadItem> items, std::size_t depth) {
    if (items.size() <= kQuickLoadMenuLimit) return items;
    if (depth > kMaxPrefix) return SplitByCount(std::move(items), Prefix(items.front(), kMaxPrefix));

    // Runs of items that share their first `depth` characters, then runs packed into stretches.
    std::vector<Stretch> runs;
    for (std::size_t i = 0; i < items.size();) {
        const std::string key = FoldedPrefix(items[i], depth);
        std::size_t end = i + 1;
        while (end < items.size() && FoldedPrefix(items[end], depth) == key) ++end;
        runs.push_back({i, end, Prefix(items[i], depth), Prefix(items[i], depth)});
        i = end;
    }
    if (runs.size() == 1) return Split(std::move(items), depth + 1);

    std::vector<Stretch> stretches;
    for (const Stretch& run : runs) {
        const std::size_t size = run.end - run.begin;
        if (!stretches.empty()) {
            Stretch& open = stretches.back();
            const bool openIsBig = open.end - open.begin > kQuickLoadMenuLimit;
            if (!openIsBig && size <= kQuickLoadMenuLimit && open.end - open.begin + size <= kQuickLoadMenuLimit) {
                open.end = run.end;
                open.last = run.last;
                continue;
            }
        }
        stretches.push_back(run);
    }

    std::vector<QuickLoadItem> menus;
    for (const Stretch& s : stretches) {
        QuickLoadItem menu{RangeLabel(s.first, s.last), "", {}, -1};
        std::vector<QuickLoadItem> part(std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(s.begin)),
                                        std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(s.end)));
        menu.children = Split(std::move(part), depth + 1);
        menus.push_back(std::move(menu));
    }
    return Wrap(std::move(menus), std::move(stretches));
}

struct BankNode {
    std::map<std::string, BankNode> banks;     // by folded name
    std::map<std::string, std::string> names;  // folded name -> name as shown
    std::vector<QuickLoadItem> patches;
};

// By label as people read them ("Pad 2" before "Pad 10"), then by path.
void SortByLabel(std::vector<QuickLoadItem>& items) {
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) keys.emplace_back(FoldCase(items[i].label), i);
    std::sort(keys.begin(), keys.end(), [&items](const auto& a, const auto& b) {
        if (const int c = NaturalCompare(a.first, b.first); c != 0) return c < 0;
        return items[a.second].path < items[b.second].path;
    });
    std::vector<QuickLoadItem> sorted;
    sorted.reserve(items.size());
    for (const auto& k : keys) sorted.push_back(std::move(items[k.second]));
    items = std::move(sorted);
}

// One menu: its banks first, then its patches by label; when there are too many to list, banks and patches in
// one alphabet, so that each stretch is found where expected. Either way one sort, as the order is total (no two
// banks share a folded name, and a bank has no path).
std::vector<QuickLoadItem> OneMenu(std::vector<QuickLoadItem> banks, std::vector<QuickLoadItem> patches) {
    if (banks.size() + patches.size() <= kQuickLoadMenuLimit) {
        SortByLabel(patches);
        banks.insert(banks.end(), std::make_move_iterator(patches.begin()), std::make_move_iterator(patches.end()));
        return banks;
    }
    std::vector<QuickLoadItem> all = std::move(banks);
    all.insert(all.end(), std::make_move_iterator(patches.begin()), std::make_move_iterator(patches.end()));
    SortByLabel(all);
    return SplitQuickLoadMenu(std::move(all));
}

std::vector<QuickLoadItem> Items(BankNode& node) {
    std::vector<QuickLoadItem> banks;
    for (auto& [key, child] : node.banks) banks.push_back({node.names[key], "", Items(child), -1});
    return OneMenu(std::move(banks), std::move(node.patches));
}

// The node of an entry's bank, made on the way down as needed; `made` hears of each new one.
template <typename Node, typename Made>
Node* PlaceIn(Node& root, std::string_view bank, Made&& made) {
    Node* node = &root;
    while (!bank.empty()) {
        const std::size_t slash = bank.find('/');
        const std::string_view part = bank.substr(0, slash);
        if (!part.empty()) {
            const std::string key = FoldCase(part);
            node->names.emplace(key, OneLine(part));
            auto [it, isNew] = node->banks.try_emplace(key);
            node = &it->second;
            if (isNew) made(*node);
        }
        if (slash == std::string_view::npos) break;
        bank.remove_prefix(slash + 1);
    }
    return node;
}

}  // namespace

std::vector<QuickLoadItem> SplitQuickLoadMenu(std::vector<QuickLoadItem> items) { return Split(std::move(items), 1); }

std::vector<QuickLoadItem> BuildQuickLoadMenu(const std::vector<CatalogEntry>& entries) {
    BankNode root;
    for (const CatalogEntry& e : entries) {
        if (!e.valid || e.marks.hidden) continue;
        PlaceIn(root, e.bank, [](BankNode&) {})->patches.push_back({DisplayName(e), e.path, {}, -1});
    }
    return Items(root);
}

QuickLoadTree::QuickLoadTree(std::vector<CatalogEntry> entries) : m_entries(std::move(entries)) {
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const CatalogEntry& e = m_entries[i];
        if (e.valid && !e.marks.hidden) Place(e)->patches.push_back(i);
    }
}

QuickLoadTree::Node* QuickLoadTree::Place(const CatalogEntry& entry) {
    return PlaceIn(m_root, entry.bank, [this](Node& made) {
        made.number = static_cast<int>(m_nodes.size());
        m_nodes.push_back(&made);
    });
}

std::vector<QuickLoadItem> QuickLoadTree::Items(Node& node) {
    std::vector<QuickLoadItem> banks;
    for (auto& [key, child] : node.banks) banks.push_back({node.names[key], "", {}, child.number});
    std::vector<QuickLoadItem> patches;
    patches.reserve(node.patches.size());
    for (const std::size_t i : node.patches) patches.push_back({DisplayName(m_entries[i]), m_entries[i].path, {}, -1});
    return OneMenu(std::move(banks), std::move(patches));
}

std::vector<QuickLoadItem> QuickLoadTree::Top() { return Items(m_root); }

std::vector<QuickLoadItem> QuickLoadTree::Bank(int bank) {
    if (bank < 0 || bank >= static_cast<int>(m_nodes.size())) return {};
    return Items(*m_nodes[static_cast<std::size_t>(bank)]);
}
