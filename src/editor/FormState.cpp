// SPDX-License-Identifier: GPL-3.0-or-later
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

void FormState::Changed(int id, ChangeOrigin origin) {
    if (origin == ChangeOrigin::Program && m_observer != nullptr) m_observer->ControlChanged(id);
    // Every setter ends here, so a watcher misses no change however it was made.
    for (FormWatcher* watcher : m_watchers) watcher->ControlStateChanged(id);
}

void FormState::AddWatcher(FormWatcher* watcher) {
    if (watcher != nullptr && std::find(m_watchers.begin(), m_watchers.end(), watcher) == m_watchers.end())
        m_watchers.push_back(watcher);
}

void FormState::RemoveWatcher(FormWatcher* watcher) { std::erase(m_watchers, watcher); }

void FormState::SetPos(int id, int position, ChangeOrigin origin) {
    ControlState& s = Mutable(id);
    s.position = std::clamp(position, s.rangeMin, s.rangeMax);
    Changed(id, origin);
}

void FormState::SetRange(int id, int minimum, int maximum) {
    ControlState& s = Mutable(id);
    s.rangeMin = minimum;
    s.rangeMax = std::max(minimum, maximum);
    s.position = std::clamp(s.position, s.rangeMin, s.rangeMax);
    Changed(id);
}

int FormState::GetPageSize(int id) const {
    const ControlState& s = Get(id);
    return std::max(1, (s.rangeMax - s.rangeMin) / 5);
}

void FormState::SetCurSel(int id, int index, ChangeOrigin origin) {
    ControlState& s = Mutable(id);
    s.selection = (index >= 0 && index < static_cast<int>(s.entries.size())) ? index : -1;
    Changed(id, origin);
}

void FormState::SetEntries(int id, std::vector<std::string> entries) {
    ControlState& s = Mutable(id);
    s.entries = std::move(entries);
    s.selection = -1;
    Changed(id);
}

void FormState::SetEntryText(int id, int index, std::string text) {
    ControlState& s = Mutable(id);
    if (index >= 0 && index < static_cast<int>(s.entries.size()))
        s.entries[static_cast<std::size_t>(index)] = std::move(text);
    s.selection = -1;
    Changed(id);
}

void FormState::SetCheck(int id, bool checked, ChangeOrigin origin) {
    Mutable(id).checked = checked;
    Changed(id, origin);
}

void FormState::Enable(int id, bool enabled) {
    Mutable(id).enabled = enabled;
    Changed(id);
}

void FormState::SetText(int id, std::string text, ChangeOrigin origin) {
    ControlState& s = Mutable(id);
    s.text = std::move(text);
    Changed(id, origin);
    if ((s.kind == ControlKind::EditBox || s.kind == ControlKind::ValueBox) && m_textChanged) m_textChanged(id);
}

void FormState::ShowText(int id, std::string text) {
    Mutable(id).text = std::move(text);
    Changed(id);
}
