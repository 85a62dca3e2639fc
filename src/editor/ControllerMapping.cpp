// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ControllerMapping.h"

#include "editor/CMainDlg.h"
#include "editor/ControlTable.h"

#include <algorithm>

int ControllerPosition(ControllerValue value, int count) {
    if (count <= 1 || value.top <= 0) return 0;
    const int v = std::clamp(value.value, 0, value.top);
    if (v == value.top) return count - 1;
    // Bands of equal width; 64-bit, as 16383 x a large count would not fit an int.
    return static_cast<int>(static_cast<long long>(v) * count / (static_cast<long long>(value.top) + 1));
}

bool IsControllerTarget(const CMainDlg& form, int id) {
    if (!form.form().Has(id)) return false;
    switch (form.form().Get(id).kind) {
        case ControlKind::Slider:
        case ControlKind::List:
        case ControlKind::CheckBox: return true;
        default: return false;
    }
}

KnobMove MoveByController(CMainDlg& form, int id, ControllerValue value, std::string& shown) {
    if (!IsControllerTarget(form, id)) return KnobMove::Empty;
    FormState& state = form.form();
    const ControlState& control = state.Get(id);
    if (!control.enabled) return KnobMove::Disabled;

    const bool refused = form.IsReadOnly();
    const CMainDlg::ControllerMoves byKnob(form);
    switch (control.kind) {
        case ControlKind::Slider: {
            const int position = control.rangeMin + ControllerPosition(value, control.rangeMax - control.rangeMin + 1);
            if (position == control.position) return KnobMove::Unchanged;
            form.UserMovedSlider(id, position);
            shown = std::to_string(state.GetPos(id));
            break;
        }
        case ControlKind::List: {
            const int count = state.GetCount(id);
            if (count == 0) return KnobMove::Empty;
            const int index = ControllerPosition(value, count);
            if (index == control.selection) return KnobMove::Unchanged;
            form.UserSelected(id, index);
            const int now = state.GetCurSel(id);
            shown = now >= 0 && now < state.GetCount(id) ? state.Get(id).entries[static_cast<std::size_t>(now)] : "";
            break;
        }
        case ControlKind::CheckBox: {
            const bool on = ControllerPosition(value, 2) == 1;
            if (on == control.checked) return KnobMove::Unchanged;
            form.UserClicked(id);
            shown = state.IsChecked(id) ? "on" : "off";
            break;
        }
        default: return KnobMove::Empty;
    }
    // The user's own move is already shown by the widget that made it; a knob's is not.
    state.Refresh(id);
    return refused ? KnobMove::Refused : KnobMove::Moved;
}
