// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ControllerLearn.h"

#include "app/FrameSlot.h"
#include "app/ports/Profile.h"
#include "editor/CMainDlg.h"
#include "editor/ControlNames.h"
#include "editor/ControllerMapping.h"
#include "editor/ports/UserDialogs.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

namespace {

// Far more entries than there can be bindings (one per controller of every channel): a count beyond it is
// not believed.
constexpr int kMostProfileEntries = 16 * kFirstChannelModeController;

std::string Cc(int controller) { return "CC " + std::to_string(controller); }

// A sentence that ends with a name: "... moves DCO1 Amp." takes the name's own full stop.
std::string Sentence(std::string text) {
    if (text.empty() || text.back() != '.') text += '.';
    return text;
}

// A whole number of at most four digits, nothing else.
std::optional<int> Number(std::string_view token) {
    if (token.empty() || token.size() > 4 || token.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error != std::errc() || end != token.data() + token.size()) return std::nullopt;
    return value;
}

// The words between single spaces: an empty one where two spaces meet or a space begins or ends the text.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    for (std::size_t start = 0; words.size() < 5;) {
        const std::size_t space = text.find(' ', start);
        words.push_back(text.substr(start, space == std::string_view::npos ? space : space - start));
        if (space == std::string_view::npos) break;
        start = space + 1;
    }
    return words;
}

}  // namespace

ControllerLearn::ControllerLearn(CMainDlg& form, Profile& profile, UserDialogs& dialogs, const FrameSlot& frame)
    : m_form(form), m_profile(profile), m_dialogs(dialogs), m_frame(frame) {}

// ---- what a control is ----------------------------------------------------------------------------

bool ControllerLearn::CanLearn(int target) const {
    return IsControllerTarget(m_form, target) || m_extra.contains(target);
}

bool ControllerLearn::IsKnownTarget(int target) const {
    // A binding to a target outside the form is kept before its window registers it.
    return IsControllerTarget(m_form, target) || (target >= kFirstExtraTarget && target <= kLastExtraTarget);
}

std::string ControllerLearn::TargetName(int target) const {
    if (IsControllerTarget(m_form, target)) return AccessibleName(m_form.form(), target);
    if (const auto it = m_extra.find(target); it != m_extra.end()) return it->second.name;
    return "control " + std::to_string(target);
}

std::string ControllerLearn::Describe(const ControllerBinding& binding) const {
    return Cc(binding.controller) + " on channel " + std::to_string(binding.channel + 1);
}

// ---- learn and forget -----------------------------------------------------------------------------

void ControllerLearn::BeginLearn(int target) {
    if (!CanLearn(target)) return;
    m_learning = target;
    // Without an input device nothing would ever come: the learn waits all the same, for the one chosen next.
    if (m_inputChosen && !m_inputChosen()) {
        m_frame.ShowStatus(
            "No MIDI input is chosen: choose your controller in MIDI Options › Input Device..., then "
            "move a knob or slider on it.");
    } else {
        m_frame.ShowStatus("Move a knob or slider on your controller...");
    }
    m_frame.CommandsChanged();
}

void ControllerLearn::CancelLearn() {
    if (!m_learning) return;
    m_learning.reset();
    m_frame.ShowStatus("Learn Controller cancelled.");
    m_frame.CommandsChanged();
}

std::optional<ControllerBinding> ControllerLearn::BindingOf(int target) const {
    for (const auto& [key, binding] : m_bindings)
        if (binding.target == target) return binding;
    return std::nullopt;
}

void ControllerLearn::Forget(int target) {
    const std::optional<ControllerBinding> binding = BindingOf(target);
    if (!binding) return;
    m_bindings.erase(Key(binding->channel, binding->controller));
    Save();
    m_frame.ShowStatus(Sentence(Describe(*binding) + " no longer moves " + TargetName(target)));
}

void ControllerLearn::Bind(ControllerBinding binding) {
    // One controller for a control, one control for a controller: a controller learned anew moves over.
    std::erase_if(m_bindings, [&](const auto& entry) { return entry.second.target == binding.target; });
    m_bindings[Key(binding.channel, binding.controller)] = binding;
    Save();
}

std::vector<ControllerBinding> ControllerLearn::Bindings() const {
    std::vector<ControllerBinding> all;
    all.reserve(m_bindings.size());
    for (const auto& [key, binding] : m_bindings) all.push_back(binding);
    return all;
}

void ControllerLearn::OnControllers() {
    const std::vector<ControllerBinding> all = Bindings();
    std::vector<ControllerRow> rows;
    rows.reserve(all.size());
    for (const ControllerBinding& b : all) rows.push_back({b.controller, b.channel + 1, TargetName(b.target), b.fine});
    const std::optional<std::vector<std::size_t>> removed = m_dialogs.RunControllersDialog(rows);
    if (!removed || removed->empty()) return;
    for (const std::size_t row : *removed)
        if (row < all.size()) m_bindings.erase(Key(all[row].channel, all[row].controller));
    Save();
}

// ---- targets outside the form ---------------------------------------------------------------------

void ControllerLearn::RegisterTarget(int id, ExtraControllerTarget target) {
    if (id < kFirstExtraTarget || id > kLastExtraTarget || !target.position || !target.setPosition) return;
    // A range the positions of a knob can be counted in.
    target.rangeMax = std::clamp(target.rangeMax, 0, 1 << 20);
    m_extra[id] = std::move(target);
}

void ControllerLearn::UnregisterTarget(int id) {
    m_extra.erase(id);
    if (m_learning == id) CancelLearn();
}

// ---- the input ------------------------------------------------------------------------------------

bool ControllerLearn::OnInputControlChange(int channel, int controller, int value, std::string& what) {
    if (channel < 0 || channel > 15 || controller < 0 || controller > 127 || value < 0 || value > 127) return false;
    const int key = Key(channel, controller);
    const int previous = std::exchange(m_lastKey, key);
    m_lastValue[static_cast<std::size_t>(key)] = static_cast<std::uint8_t>(value);

    if (m_learning) {
        if (controller >= kFirstChannelModeController) return false;
        const int target = *m_learning;
        m_learning.reset();
        m_frame.CommandsChanged();
        if (!CanLearn(target)) return false;
        const ControllerBinding binding{channel, controller, target, false};
        Bind(binding);
        m_frame.ShowStatus(Sentence(Describe(binding) + " now moves " + TargetName(target)));
        what = Cc(controller) + " → learned by " + TargetName(target);
        return true;
    }

    if (const auto it = m_bindings.find(key); it != m_bindings.end()) {
        const ControllerBinding& binding = it->second;
        // A pair's most significant half comes first, and sets the least significant one to 0.
        if (binding.fine) return Move(binding.target, value << 7, kControllerTop14, controller, what);
        return Move(binding.target, value, kControllerTop7, controller, what);
    }

    // The least significant half of a pair: of a binding known as a pair, or one that follows its most
    // significant half at once, which makes the binding a pair from now on.
    if (controller >= 32 && controller < 64) {
        const int msbKey = Key(channel, controller - 32);
        const auto it = m_bindings.find(msbKey);
        if (it == m_bindings.end() || !(it->second.fine || previous == msbKey)) return false;
        if (!it->second.fine) {
            it->second.fine = true;
            Save();
        }
        const int msb = m_lastValue[static_cast<std::size_t>(msbKey)];
        return Move(it->second.target, (msb << 7) | value, kControllerTop14, controller, what);
    }
    return false;
}

bool ControllerLearn::Move(int target, int value, int top, int controller, std::string& what) {
    what = Cc(controller) + " → " + TargetName(target);
    const ControllerValue knob{value, top};
    if (target < kFirstExtraTarget) {
        std::string shown;
        switch (MoveByController(m_form, target, knob, shown)) {
            case KnobMove::Moved: what += " = " + shown; break;
            case KnobMove::Unchanged: what += " (unchanged)"; break;
            case KnobMove::Disabled: what += " (off on the form)"; break;
            case KnobMove::Refused: what += " (refused: the original is shown)"; break;
            case KnobMove::Empty: what += " (no entries)"; break;
        }
        return true;
    }
    const auto it = m_extra.find(target);
    if (it == m_extra.end()) {
        what += " (not open)";
        return true;
    }
    const int position = ControllerPosition(knob, it->second.rangeMax + 1);
    if (position == it->second.position()) {
        what += " (unchanged)";
        return true;
    }
    it->second.setPosition(position);
    what += " = " + std::to_string(position);
    return true;
}

// ---- the profile ----------------------------------------------------------------------------------

void ControllerLearn::Load() {
    m_bindings.clear();
    const int count = std::clamp(m_profile.GetProfileInt(kProfileControllersSection, kProfileControllersCountKey, 0), 0,
                                 kMostProfileEntries);
    m_savedCount = 0;
    for (int i = 1; i <= count; ++i) {
        const std::string text = m_profile.GetProfileString(kProfileControllersSection,
                                                            kProfileControllersBindingKey + std::to_string(i), "");
        if (!text.empty()) m_savedCount = i;
        const std::vector<std::string_view> words = Words(text);
        if (words.size() < 3 || words.size() > 4) continue;
        const std::optional<int> controller = Number(words[0]);
        const std::optional<int> channel = Number(words[1]);
        const std::optional<int> target = Number(words[2]);
        if (!controller || !channel || !target) continue;
        if (*controller >= kFirstChannelModeController || *channel < 1 || *channel > 16) continue;
        const bool fine = words.size() == 4;
        if (fine && (words[3] != "14" || *controller >= 32)) continue;
        if (!IsKnownTarget(*target) || BindingOf(*target)) continue;
        // The first entry for a controller holds.
        m_bindings.try_emplace(Key(*channel - 1, *controller),
                               ControllerBinding{*channel - 1, *controller, *target, fine});
    }
}

void ControllerLearn::Save() {
    int index = 0;
    for (const auto& [key, b] : m_bindings) {
        std::string text =
            std::to_string(b.controller) + " " + std::to_string(b.channel + 1) + " " + std::to_string(b.target);
        if (b.fine) text += " 14";
        m_profile.WriteProfileString(kProfileControllersSection,
                                     kProfileControllersBindingKey + std::to_string(++index), text);
    }
    // Entries beyond the count are not read; emptied all the same, so that the file says what holds.
    for (int stale = index + 1; stale <= m_savedCount; ++stale)
        m_profile.WriteProfileString(kProfileControllersSection, kProfileControllersBindingKey + std::to_string(stale),
                                     "");
    m_profile.WriteProfileInt(kProfileControllersSection, kProfileControllersCountKey, index);
    m_savedCount = index;
}
