// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A hardware controller's value put on a control of the form, as the user's own move of that control.

#include <string>

class CMainDlg;

// A controller's value and how far it goes: 0-127 for a plain controller, 0-16383 for a 14-bit pair.
struct ControllerValue {
    int value = 0;
    int top = 127;
};
constexpr int kControllerTop7 = 127;
constexpr int kControllerTop14 = 16383;

// Where a value falls among `count` positions (a slider's range, a list's entries, a check box's two states):
// the controller's travel cut into `count` equal bands, its top always the last position. 0-127 over 256
// positions goes in steps of 2 with 127 on 255; over 8 positions each band is 16 values wide.
int ControllerPosition(ControllerValue value, int count);

// Whether a control of the form can follow a controller: a slider, a list or a check box.
bool IsControllerTarget(const CMainDlg& form, int id);

// What a knob did to a control.
enum class KnobMove {
    Moved,      // the control moved, through the user's entry point of its kind
    Unchanged,  // the control already stood there: nothing ran, nothing was sent
    Disabled,   // the control is off on the form now, as it is for the mouse
    Refused,    // the form takes no edits now (the original, the morph or a variation is shown); the host said so
    Empty,      // a list without entries
};

// Moves form control `id` to where `value` puts it, as the user's own move would: through CMainDlg's User…
// entry point of its kind, so the same handler runs, the same messages go out, the document is modified and
// the view redraws. The moves of one control by a controller make one undo step until another edit comes
// between. `shown` is what the control shows then (the position, the entry, "on" or "off").
KnobMove MoveByController(CMainDlg& form, int id, ControllerValue value, std::string& shown);
