// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// One parameter of the synthesizer as the likeness compares it: bits `mask` of entry `index` of a patch's
// PatchParams. A parameter with a range counts the difference as a share of it (one step of a 0..255 slider
// is 1/255, the whole range 1); one without (a list entry, a switch) counts 1 when the values differ.
struct LikenessParameter {
    std::uint8_t index = 0;
    std::uint16_t mask = 0xFFFF;
    std::int32_t range = 0;  // 0: equal or not
};

// Which parameters make the sound: the program builds it from the form's tables (FormLikeness in src/app),
// so that this code knows nothing of the form. Parameters left out (the MIDI channel) never count.
using LikenessScale = std::vector<LikenessParameter>;

// 0 for patches that sound alike in every parameter, growing with each difference.
double PatchDistance(const PatchParams& a, const PatchParams& b, const LikenessScale& scale);

struct Neighbour {
    std::size_t entry;  // index into the entries given
    double distance;
};

// The `count` valid entries nearest `target`, nearest first; ties in the order of the entries, except that
// `self` (the entry the target was taken from), when given, comes first of all.
std::vector<Neighbour> NearestPatches(std::span<const CatalogEntry> entries, const PatchParams& target,
                                      const LikenessScale& scale, std::size_t count,
                                      std::optional<std::size_t> self = std::nullopt);

// The groups of two or more valid entries whose parameters are all equal (names, author, comment aside), each
// in the order of the entries; groups in the order of their first entry.
std::vector<std::vector<std::size_t>> DuplicateGroups(std::span<const CatalogEntry> entries,
                                                      const LikenessScale& scale);
