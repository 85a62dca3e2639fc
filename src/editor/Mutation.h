// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string_view>

class CMainDlg;

// The sections a mutation may change, as the form names them.
constexpr std::array<std::string_view, 6> kMutationSections{"Main", "DCO1", "DCO2", "ENV1", "ENV2", "Filter"};

struct MutationSettings {
    int amountPercent = 10;  // 1..100
    std::array<bool, kMutationSections.size()> sections{true, true, true, true, true, true};
};

// Moves the patch at random within the chosen sections: each slider by up to `amountPercent` of its range,
// each list and check box to another entry or state with a probability of `amountPercent`. Controls the user
// could not change now (disabled ones) stay, and so do the name, author, comment and Midi Ch. What changed is
// sent, each parameter once, through its handler, in the order of a whole-patch transmission, and the whole
// mutation is one undo step. Returns whether anything changed.
bool MutatePatch(CMainDlg& form, const MutationSettings& settings, std::mt19937& random, bool randomize);
