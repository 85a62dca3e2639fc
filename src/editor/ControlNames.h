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
