// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LibraryCompare.h"

#include "editor/ControlNames.h"
#include "editor/ControlTable.h"
#include "editor/FormState.h"
#include "editor/ParameterMap.h"

#include <algorithm>

LikenessScale FormLikeness() {
    LikenessScale scale;
    // Slot 0 is the MIDI channel: where a patch is sent, not how it sounds.
    for (int slot = 1; slot < kSlotCount; ++slot) {
        const ControlDef* slider = FindControl(kSlotControls[static_cast<std::size_t>(slot)]);
        scale.push_back({static_cast<std::uint8_t>(slot), 0xFFFF, std::max(1, slider ? slider->rangeMax : 255)});
    }
    for (std::size_t entry = 0; entry < kRecordSelectionCount; ++entry) {
        if (kStoredSelectionLists[entry] == ctl::MidiChannel) continue;
        scale.push_back({static_cast<std::uint8_t>(kSlotCount + entry), 0xFFFF, 0});
    }
    constexpr std::uint8_t kSwitchWord = kSlotCount + kRecordSelectionCount;
    for (const BitBox& bit : kSwitchBoxes) scale.push_back({kSwitchWord, static_cast<std::uint16_t>(bit.mask), 0});
    // The filter word's routing bits repeat the Type / routing entry, compared above; its boxes are its own.
    for (const BitBox& bit : kFilterBoxes)
        scale.push_back({static_cast<std::uint8_t>(kSwitchWord + 1), static_cast<std::uint16_t>(bit.mask), 0});
    return scale;
}

namespace {

const PlainSlider* PlainRowOf(int slider) {
    for (const PlainSlider& row : kPlainSliders)
        if (row.slider == slider) return &row;
    return nullptr;
}

// What the form shows of a control's value.
std::string Shown(const FormState& form, const ControlDef& control) {
    const ControlState& state = form.Get(control.id);
    switch (control.kind) {
        case ControlKind::Slider: {
            // A slider with a value box is read there, as the user reads it.
            if (const PlainSlider* row = PlainRowOf(control.id); row != nullptr && form.Has(row->valueBox)) {
                const std::string& text = form.GetText(row->valueBox);
                if (!text.empty()) return text;
            }
            return std::to_string(state.position);
        }
        case ControlKind::List:
            if (state.selection < 0 || static_cast<std::size_t>(state.selection) >= state.entries.size())
                return "(none)";
            return state.entries[static_cast<std::size_t>(state.selection)];
        case ControlKind::CheckBox: return state.checked ? "on" : "off";
        default: return {};
    }
}

}  // namespace

std::vector<ParameterDifference> FormDifferences(const FormState& from, const FormState& to) {
    std::vector<ParameterDifference> out;
    for (const ControlDef& control : FormControls()) {
        if (control.id == kNoId || control.id == ctl::QuickLoad) continue;
        if (control.kind != ControlKind::Slider && control.kind != ControlKind::List &&
            control.kind != ControlKind::CheckBox)
            continue;
        if (!from.Has(control.id) || !to.Has(control.id)) continue;
        std::string a = Shown(from, control), b = Shown(to, control);
        if (a == b) continue;
        out.push_back({control.id, ControlName(from, control.id), std::move(a), std::move(b)});
    }
    return out;
}

std::string DifferenceLine(const ParameterDifference& difference) {
    return difference.name + ": " + difference.from + " \u2192 " + difference.to;
}
