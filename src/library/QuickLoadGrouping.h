// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// The most entries one menu holds before it is split into alphabetical submenus.
constexpr std::size_t kQuickLoadMenuLimit = 40;

// An item of the quick-load menu: a patch to load (with a path) or a submenu (without).
struct QuickLoadItem {
    std::string label;
    std::string path;
    std::vector<QuickLoadItem> children;
    // A bank whose items come when it opens (QuickLoadTree::Bank); -1: the children are as they are.
    int bank = -1;

    bool IsMenu() const { return path.empty(); }
    bool operator==(const QuickLoadItem&) const = default;
};

// The valid patches the user has not hidden, as a menu: a submenu per bank (nested as the bank folders are), the
// patches of the folders' tops beside them. A menu of more than kQuickLoadMenuLimit entries holds, instead, submenus
// that each cover a stretch of the alphabet ("A–F", "G", "Sa–Sk", ...), none of them holding more than the limit.
std::vector<QuickLoadItem> BuildQuickLoadMenu(const std::vector<CatalogEntry>& entries);

// The same menu built a level at a time, as it opens: grouping the patches by bank is all that is done up front,
// and a bank's patches are sorted and split only when its menu opens. A library of 50,000 patches in 50 banks so
// sorts the 50 banks before the menu shows, not the 50,000 patches. Opening every bank gives BuildQuickLoadMenu.
class QuickLoadTree {
public:
    explicit QuickLoadTree(std::vector<CatalogEntry> entries);
    QuickLoadTree(const QuickLoadTree&) = delete;
    QuickLoadTree& operator=(const QuickLoadTree&) = delete;

    // The top of the menu; its banks (and theirs, further down) have `bank` set and no children yet.
    std::vector<QuickLoadItem> Top();
    // The items of a bank item's menu; nothing for a number that is no bank's.
    std::vector<QuickLoadItem> Bank(int bank);

private:
    struct Node {
        std::map<std::string, Node> banks;         // by folded name
        std::map<std::string, std::string> names;  // folded name -> name as shown
        std::vector<std::size_t> patches;          // indexes into m_entries
        int number = -1;
    };
    Node* Place(const CatalogEntry& entry);
    std::vector<QuickLoadItem> Items(Node& node);

    std::vector<CatalogEntry> m_entries;
    Node m_root;
    std::vector<Node*> m_nodes;  // by number
};

// Splits one menu's items, already in order, as above.
std::vector<QuickLoadItem> SplitQuickLoadMenu(std::vector<QuickLoadItem> items);
