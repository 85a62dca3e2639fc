// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

class FormState;

// A control's name as the form labels it, for the user: the label on its row ("Amp."), or its own text for a
// check box, with its section in front when another section has a control of the same name ("DCO1 Amp.").
// A source list is its slider's name and " source"; a value box is its slider's name; the row-3 slider takes
// the name its mode list shows ("DCO1 Std."). Labels the form rewrites (the cutoff rows) are read as they are now.
std::string ControlName(const FormState& form, int id);

// The section a control belongs to, as its group box names it ("DCO1"); empty for the top row.
std::string_view SectionOf(int id);

// What a screen reader calls a control: its section and its name on the form, unique on the whole form
// ("DCO1 Amp.", "Filter Type / routing", "ENV2 [Level => release]"); a value box is its slider's name and
// " value"; the top row's controls have no section ("Patch name", "Quick load").
std::string AccessibleName(const FormState& form, int id);

// What a screen reader adds about a control: for a slider, the parameter it sends as the MIDI monitor names it
// ("Sends parameter 29, DCO1 Amp."); empty for other controls.
std::string AccessibleDescription(const FormState& form, int id);

// An entry of a list as a screen reader says it: a source list's first entry is the slider's own value, so it
// is "fixed value"; every other entry reads as it shows.
std::string SpokenEntry(const FormState& form, int id, int index);
