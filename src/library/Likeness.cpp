// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/Likeness.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

namespace {

std::int32_t Value(const PatchParams& p, const LikenessParameter& parameter) {
    if (parameter.index >= p.size()) return 0;
    // A whole value keeps its sign; bits of a packed word are bits.
    if (parameter.mask == 0xFFFF) return p[parameter.index];
    return static_cast<std::uint16_t>(p[parameter.index]) & parameter.mask;
}

}  // namespace

double PatchDistance(const PatchParams& a, const PatchParams& b, const LikenessScale& scale) {
    double d = 0;
    for (const LikenessParameter& parameter : scale) {
        const std::int32_t x = Value(a, parameter), y = Value(b, parameter);
        if (x == y) continue;
        if (parameter.range > 0) {
            d += static_cast<double>(std::abs(x - y)) / parameter.range;
        } else {
            d += 1;
        }
    }
    return d;
}

std::vector<Neighbour> NearestPatches(std::span<const CatalogEntry> entries, const PatchParams& target,
                                      const LikenessScale& scale, std::size_t count, std::optional<std::size_t> self) {
    std::vector<Neighbour> all;
    all.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].valid) continue;
        all.push_back({i, PatchDistance(entries[i].params, target, scale)});
    }
    auto before = [self](const Neighbour& a, const Neighbour& b) {
        if (self) {
            if (a.entry == *self) return b.entry != *self;
            if (b.entry == *self) return false;
        }
        if (a.distance != b.distance) return a.distance < b.distance;
        return a.entry < b.entry;
    };
    const std::size_t n = std::min(count, all.size());
    std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n), all.end(), before);
    all.resize(n);
    return all;
}

std::vector<std::vector<std::size_t>> DuplicateGroups(std::span<const CatalogEntry> entries,
                                                      const LikenessScale& scale) {
    // Bucketed by a hash of what the scale compares, then split by the values themselves, so that a collision
    // never joins two sounds.
    auto key = [&scale](const PatchParams& p) {
        std::uint64_t h = 0xCBF29CE484222325ull;
        for (const LikenessParameter& parameter : scale) {
            h ^= static_cast<std::uint32_t>(Value(p, parameter));
            h *= 0x100000001B3ull;
        }
        return h;
    };
    auto same = [&scale](const PatchParams& a, const PatchParams& b) {
        for (const LikenessParameter& parameter : scale)
            if (Value(a, parameter) != Value(b, parameter)) return false;
        return true;
    };
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> buckets;
    buckets.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].valid) buckets[key(entries[i].params)].push_back(i);
    std::vector<std::vector<std::size_t>> groups;
    for (auto& [hash, members] : buckets) {
        if (members.size() < 2) continue;
        std::vector<bool> taken(members.size(), false);
        for (std::size_t a = 0; a < members.size(); ++a) {
            if (taken[a]) continue;
            std::vector<std::size_t> group{members[a]};
            for (std::size_t b = a + 1; b < members.size(); ++b) {
                if (!taken[b] && same(entries[members[a]].params, entries[members[b]].params)) {
                    taken[b] = true;
                    group.push_back(members[b]);
                }
            }
            if (group.size() > 1) groups.push_back(std::move(group));
        }
    }
    std::sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) { return a.front() < b.front(); });
    return groups;
}
