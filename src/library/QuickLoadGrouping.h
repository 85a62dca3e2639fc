// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"

#include <cstddef>
#include <string>
#include <vector>

// The most entries one menu holds before it is split into alphabetical submenus.
constexpr std::size_t kQuickLoadMenuLimit = 40;

// An item of the quick-load menu: a patch to load (with a path) or a submenu (without).
struct QuickLoadItem {
    std::string label;
    std::string path;
    std::vector<QuickLoadItem> children;

    bool IsMenu() const { return path.empty(); }
    bool operator==(const QuickLoadItem&) const = default;
};

// The valid patches the user has not hidden, as a menu: a submenu per bank (nested as the bank folders are), the
// patches of the folders' tops beside them. A menu of more than kQuickLoadMenuLimit entries holds, instead, submenus
// that each cover a stretch of the alphabet ("A–F", "G", "Sa–Sk", ...), none of them holding more than the limit.
std::vector<QuickLoadItem> BuildQuickLoadMenu(const std::vector<CatalogEntry>& entries);

// Splits one menu's items, already in order, as above.
std::vector<QuickLoadItem> SplitQuickLoadMenu(std::vector<QuickLoadItem> items);
