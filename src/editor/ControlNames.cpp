// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ControlNames.h"

#include "editor/ControlTable.h"
#include "editor/FormState.h"
#include "editor/ParameterMap.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <vector>

namespace {

bool Contains(const DialogRect& outer, const DialogRect& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
           inner.y <= outer.y + outer.h;
}

// The group box around an item, or null for the top row.
const ControlDef* SectionOf(const ControlDef& def) {
    for (const ControlDef& box : FormControls())
        if (box.kind == ControlKind::GroupBox && Contains(box.rect, def.rect)) return &box;
    return nullptr;
}

std::string WithoutMnemonic(std::string_view text) {
    std::string out(text);
    std::erase(out, '&');
    return out;
}

// What a label the form rewrites shows now. Where another such label of its section shows the same (both
// cutoff rows read "N/A" while the filter is off), the template's text tells them apart.
std::string ShownLabel(const FormState& form, const ControlDef& label, const ControlDef* section) {
    const std::string& shown = form.GetText(label.id);
    for (const ControlDef& other : FormControls()) {
        if (other.kind == ControlKind::Label && other.id != kNoId && other.id != label.id &&
            SectionOf(other) == section && form.GetText(other.id) == shown)
            return shown + " (" + std::string(label.text) + ")";
    }
    return shown;
}

// The text on the item's row: a label to its left in the same section, the last one before it in the template.
// Without a form, labels read as the template has them.
std::string RowLabel(const FormState* form, const ControlDef& def) {
    const ControlDef* section = SectionOf(def);
    std::string label;
    for (const ControlDef& other : FormControls()) {
        if (other.place >= def.place) break;
        if (other.kind != ControlKind::Label || SectionOf(other) != section) continue;
        // Tops, not middles: a list's height is that of its opened drop-down.
        if (std::abs(other.rect.y - def.rect.y) > 4 || other.rect.x >= def.rect.x) continue;
        label = other.id != kNoId && form != nullptr ? ShownLabel(*form, other, section) : std::string(other.text);
    }
    return label;
}

std::string BareName(const FormState* form, const ControlDef& def) {
    if (def.kind == ControlKind::CheckBox || def.kind == ControlKind::PushButton) return WithoutMnemonic(def.text);
    if (const PlainSlider* plain = FindRow(kPlainSliders, &PlainSlider::valueBox, def.id))
        return BareName(form, *FindControl(plain->slider));
    if (const ModulatedParam* row = FindRow(kModulatedParams, &ModulatedParam::sourceList, def.id))
        return BareName(form, *FindControl(row->slider)) + " source";
    if (FindRow(kOscillators, &Oscillator::modeList, def.id) != nullptr) return "row 3 mode";
    std::string label = RowLabel(form, def);
    if (!label.empty()) return label;
    // The third slider row of an oscillator is named by its mode list.
    for (const Oscillator& osc : kOscillators) {
        const ControlDef* mode = FindControl(osc.modeList);
        if (std::abs(mode->rect.y - def.rect.y) <= 2 && SectionOf(*mode) == SectionOf(def)) {
            const int s = form != nullptr ? form->GetCurSel(osc.modeList) : -1;
            return s >= 0 ? form->Get(osc.modeList).entries[static_cast<std::size_t>(s)] : "row 3";
        }
    }
    return {};
}

// Whether a control's name takes its section: another section has a control of the same name. Decided once,
// on the template's texts; the labels the form rewrites stay unique to their section or common to both
// oscillators whatever they show.
bool NeedsSection(const ControlDef& def) {
    static const std::vector<int> ambiguous = [] {
        std::vector<int> ids;
        for (const ControlDef& a : FormControls()) {
            if (a.id == kNoId || a.kind == ControlKind::Label || a.kind == ControlKind::GroupBox) continue;
            for (const ControlDef& b : FormControls()) {
                if (b.id == kNoId || b.id == a.id || b.kind == ControlKind::Label || b.kind == ControlKind::GroupBox)
                    continue;
                if (SectionOf(a) != SectionOf(b) && BareName(nullptr, a) == BareName(nullptr, b)) {
                    ids.push_back(a.id);
                    break;
                }
            }
        }
        return ids;
    }();
    return std::find(ambiguous.begin(), ambiguous.end(), def.id) != ambiguous.end();
}

// Controls whose text on the form is an abbreviation a screen reader would spell out.
struct SpokenName {
    int id;
    std::string_view name;
};
constexpr SpokenName kSpokenNames[] = {{ctl::QuickLoad, "Quick load"}};

// The parameter a slider sends, from the tables the handlers walk.
int ParameterOf(int slider) {
    if (const ModulatedParam* row = FindRow(kModulatedParams, &ModulatedParam::slider, slider)) return row->parameter;
    if (const PlainSlider* plain = FindRow(kPlainSliders, &PlainSlider::slider, slider)) return plain->parameter;
    return -1;
}

}  // namespace

std::string ControlName(const FormState& form, int id) {
    const ControlDef* def = FindControl(id);
    if (def == nullptr) return {};
    const std::string name = BareName(&form, *def);
    const ControlDef* section = SectionOf(*def);
    return section != nullptr && NeedsSection(*def) ? std::string(section->text) + " " + name : name;
}

std::string_view SectionOf(int id) {
    const ControlDef* def = FindControl(id);
    const ControlDef* section = def != nullptr ? SectionOf(*def) : nullptr;
    return section != nullptr ? section->text : std::string_view();
}

std::string AccessibleName(const FormState& form, int id) {
    const ControlDef* def = FindControl(id);
    if (def == nullptr) return {};
    for (const SpokenName& spoken : kSpokenNames)
        if (spoken.id == id) return std::string(spoken.name);
    std::string name = BareName(&form, *def);
    if (def->kind == ControlKind::ValueBox) name += " value";
    const ControlDef* section = SectionOf(*def);
    return section != nullptr ? std::string(section->text) + " " + name : name;
}

std::string AccessibleDescription(const FormState& form, int id) {
    const int parameter = ParameterOf(id);
    if (parameter < 0) return {};
    return "Sends parameter " + std::to_string(parameter) + ", " + ControlName(form, id);
}

std::string SpokenEntry(const FormState& form, int id, int index) {
    const std::vector<std::string>& entries = form.Get(id).entries;
    if (index < 0 || index >= static_cast<int>(entries.size())) return {};
    if (index == kFixedValueEntry && FindRow(kModulatedParams, &ModulatedParam::sourceList, id) != nullptr)
        return "fixed value";
    return entries[static_cast<std::size_t>(index)];
}
