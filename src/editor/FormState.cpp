#include "editor/FormState.h"

#include <algorithm>
#include <stdexcept>

namespace {
std::size_t Slot(int id) { return static_cast<std::size_t>(id - ctl::First); }
bool InIdRange(int id) { return id >= ctl::First && id <= ctl::Last; }
}  // namespace

FormState::FormState() {
    for (const ControlDef& def : FormControls()) {
        if (def.id == kNoId) continue;
        ControlState& s = m_states[Slot(def.id)];
        s.kind = def.kind;
        if (def.kind == ControlKind::Label || def.kind == ControlKind::PushButton ||
            def.kind == ControlKind::CheckBox) {
            s.text = std::string(def.text);
        }
        m_present[Slot(def.id)] = true;
    }
}

bool FormState::Has(int id) const { return InIdRange(id) && m_present[Slot(id)]; }

const ControlState& FormState::Get(int id) const {
    // Every id the form addresses is part of its template; anything else is a programming error.
    if (!Has(id)) throw std::out_of_range("no control with id " + std::to_string(id));
    return m_states[Slot(id)];
}

ControlState& FormState::Mutable(int id) { return const_cast<ControlState&>(Get(id)); }

void FormState::Changed(int id) {
    if (m_observer != nullptr) m_observer->ControlChanged(id);
}

void FormState::SetPos(int id, int position) {
    ControlState& s = Mutable(id);
    s.position = std::clamp(position, s.rangeMin, s.rangeMax);
    Changed(id);
}

void FormState::SetRange(int id, int minimum, int maximum) {
    ControlState& s = Mutable(id);
    s.rangeMin = minimum;
    s.rangeMax = std::max(minimum, maximum);
    s.position = std::clamp(s.position, s.rangeMin, s.rangeMax);
    Changed(id);
}

void FormState::SetCurSel(int id, int index) {
    ControlState& s = Mutable(id);
    s.selection = (index >= 0 && index < static_cast<int>(s.entries.size())) ? index : -1;
    Changed(id);
}

void FormState::ResetContent(int id) {
    ControlState& s = Mutable(id);
    s.entries.clear();
    s.selection = -1;
    Changed(id);
}

void FormState::AddString(int id, std::string entry) {
    Mutable(id).entries.push_back(std::move(entry));
    Changed(id);
}

void FormState::SetEntries(int id, std::vector<std::string> entries) {
    ControlState& s = Mutable(id);
    s.entries = std::move(entries);
    s.selection = -1;
    Changed(id);
}

void FormState::SetCheck(int id, bool checked) {
    Mutable(id).checked = checked;
    Changed(id);
}

void FormState::Enable(int id, bool enabled) {
    Mutable(id).enabled = enabled;
    Changed(id);
}

void FormState::SetText(int id, std::string text) {
    ControlState& s = Mutable(id);
    s.text = std::move(text);
    Changed(id);
    if ((s.kind == ControlKind::EditBox || s.kind == ControlKind::ValueBox) && m_textChanged) m_textChanged(id);
}
