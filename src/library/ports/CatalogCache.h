// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"

#include <span>
#include <string>
#include <vector>

// Where the library keeps what it read of each file between runs, keyed by path, size and modification
// time. A cache may forget anything at any time: the index then reads those files again.
class CatalogCache {
public:
    virtual ~CatalogCache() = default;
    // Every entry it holds; nothing when it holds nothing it can vouch for.
    virtual std::vector<CatalogEntry> Load() = 0;
    // Stores new and changed entries and forgets removed paths, all or nothing. False when it could not.
    virtual bool Update(std::span<const CatalogEntry> changed, std::span<const std::string> removed) = 0;
};
