// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/Likeness.h"

#include <string>
#include <vector>

class FormState;

// The library's likeness over this synthesizer's parameters, from the form's own tables: each slider by its
// range, each stored list entry and each switch equal or not; the MIDI channel left out.
LikenessScale FormLikeness();

// One control whose value differs between two forms, with both values as the form shows them.
struct ParameterDifference {
    int id;
    std::string name;  // ControlName: "DCO1 Amp."
    std::string from;
    std::string to;
};

// Every slider, list and check box whose shown value differs between `from` and `to`, in the form's tab order.
std::vector<ParameterDifference> FormDifferences(const FormState& from, const FormState& to);

// "DCO1 Amp.: 128 → 200".
std::string DifferenceLine(const ParameterDifference& difference);
