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
#include <set>
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
    std::string controller = Cc(binding.controller);
    if (binding.fine) controller += "/" + std::to_string(binding.controller + 32);
    return controller + " on channel " + std::to_string(binding.channel + 1);
}

bool ControllerLearn::IsClosedTarget(int target) const {
    if (target < kFirstExtraTarget) return false;
    const auto it = m_extra.find(target);
    return it == m_extra.end() || (it->second.open && !it->second.open());
}

void ControllerLearn::SetLearnText(int target, std::string text) {
    m_learnText = std::move(text);
    m_learnTextTarget = target;
    m_frame.ShowStatus(m_learnText);
    // The windows show the learn's state with the commands' (a control marked, the note where it began).
    m_frame.CommandsChanged();
}

// ---- learn and forget -----------------------------------------------------------------------------

void ControllerLearn::BeginLearn(int target) {
    if (!CanLearn(target)) return;
    m_learning = target;
    m_pairCandidate.reset();
    // Without an input device nothing would ever come: the learn waits all the same, for the one chosen next.
    if (m_inputChosen && !m_inputChosen()) {
        SetLearnText(target,
                     "No MIDI input is chosen: choose your controller in MIDI Options › Input Device..., then "
                     "move a knob or slider on it.");
    } else {
        SetLearnText(target, "Move a knob or slider for " + TargetName(target) + " on your controller...");
    }
}

void ControllerLearn::CancelLearn() {
    if (!m_learning) return;
    const int target = *m_learning;
    m_learning.reset();
    SetLearnText(target, "Learn Controller cancelled.");
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
    m_pairCandidate.reset();
    Save();
    SetLearnText(target, Sentence(Describe(*binding) + " no longer moves " + TargetName(target)));
}

void ControllerLearn::Bind(ControllerBinding binding) {
    const int key = Key(binding.channel, binding.controller);
    std::optional<int> left;
    if (const auto it = m_bindings.find(key); it != m_bindings.end() && it->second.target != binding.target)
        left = it->second.target;
    // The least significant half of a pair learned on its own: the pair goes on with its most significant half.
    if (binding.controller >= 32 && binding.controller < 64)
        if (const auto it = m_bindings.find(Key(binding.channel, binding.controller - 32)); it != m_bindings.end())
            it->second.fine = false;
    // One controller for a control, one control for a controller: a controller learned anew moves over.
    std::erase_if(m_bindings, [&](const auto& entry) { return entry.second.target == binding.target; });
    m_bindings[key] = binding;
    Save();
    const std::string name = TargetName(binding.target);
    if (!left) {
        SetLearnText(binding.target, Sentence(Describe(binding) + " now moves " + name));
        return;
    }
    // Which control it leaves is said, or that one would stop following the knob unnoticed.
    std::string controller = Cc(binding.controller);
    if (binding.channel != 0) controller += " on channel " + std::to_string(binding.channel + 1);
    SetLearnText(binding.target, controller + " now moves " + name + " (no longer " + TargetName(*left) + ")");
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
    m_pairCandidate.reset();
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

bool ControllerLearn::OnInputControlChange(int channel, int controller, int value, std::uint32_t arrived,
                                           std::string& what) {
    if (channel < 0 || channel > 15 || controller < 0 || controller > 127 || value < 0 || value > 127) return false;
    const int key = Key(channel, controller);
    m_lastValue[static_cast<std::size_t>(key)] = static_cast<std::uint8_t>(value);
    // Only the very next message can complete a pair.
    const std::optional<PairCandidate> candidate = std::exchange(m_pairCandidate, std::nullopt);

    if (m_learning) return TakeForLearn(channel, controller, value, arrived, what);

    if (const auto it = m_bindings.find(key); it != m_bindings.end()) {
        const ControllerBinding& binding = it->second;
        if (IsClosedTarget(binding.target)) return false;
        what = Cc(controller) + " → " + TargetName(binding.target);
        // A pair's most significant half comes first, and sets the least significant one to 0.
        what += binding.fine ? Move(binding.target, value << 7, kControllerTop14)
                             : Move(binding.target, value, kControllerTop7);
        return true;
    }
    if (controller < 32 || controller >= 64) return false;

    // The least significant half of a pair. The learned knob's own, arriving right after the message that
    // was learned, makes the pair; later, only a pair's own is taken: another knob on the same number is
    // none of its business. The arrival times wrap: a distance is their difference, unsigned.
    const int msbKey = Key(channel, controller - 32);
    const auto it = m_bindings.find(msbKey);
    if (it == m_bindings.end()) return false;
    if (!it->second.fine && candidate && candidate->key == msbKey &&
        arrived - candidate->arrived <= kPairWindowMicros) {
        it->second.fine = true;
        Save();
        SetLearnText(it->second.target, Sentence(Describe(it->second) + " now moves " + TargetName(it->second.target)));
    }
    if (!it->second.fine || IsClosedTarget(it->second.target)) return false;
    const int msb = m_lastValue[static_cast<std::size_t>(msbKey)];
    what = Cc(controller) + " → " + TargetName(it->second.target) +
           Move(it->second.target, (msb << 7) | value, kControllerTop14);
    return true;
}

bool ControllerLearn::TakeForLearn(int channel, int controller, int value, std::uint32_t arrived, std::string& what) {
    // Channel mode messages are a keyboard's own: the learn goes on waiting.
    if (controller >= kFirstChannelModeController) return false;
    const int target = *m_learning;
    m_learning.reset();
    if (!CanLearn(target)) {
        m_frame.CommandsChanged();
        return false;
    }
    Bind({channel, controller, target, false});
    // A pair may follow: its least significant half must be free.
    if (controller < 32 && !m_bindings.contains(Key(channel, controller + 32)))
        m_pairCandidate = PairCandidate{Key(channel, controller), arrived};
    // The message that binds is a move of the knob like any other.
    what = Cc(controller) + " → learned by " + TargetName(target) + Move(target, value, kControllerTop7);
    return true;
}

std::string ControllerLearn::Move(int target, int value, int top) {
    const ControllerValue knob{value, top};
    if (target < kFirstExtraTarget) {
        std::string shown;
        switch (MoveByController(m_form, target, knob, shown)) {
            case KnobMove::Moved: return " = " + shown;
            case KnobMove::Unchanged: return " (unchanged)";
            case KnobMove::Disabled: return " (off on the form)";
            case KnobMove::Refused:
                return " (refused: " + (m_refusedReason ? m_refusedReason() : std::string("the original is shown")) +
                       ")";
            case KnobMove::Empty: return " (no entries)";
        }
        return {};
    }
    const auto it = m_extra.find(target);
    if (it == m_extra.end() || IsClosedTarget(target)) return " (not open)";
    const int position = ControllerPosition(knob, it->second.rangeMax + 1);
    if (position == it->second.position()) return " (unchanged)";
    it->second.setPosition(position);
    return " = " + (it->second.shown ? it->second.shown(position) : std::to_string(position));
}

// ---- the profile ----------------------------------------------------------------------------------

void ControllerLearn::Load() {
    m_bindings.clear();
    const int count = std::clamp(m_profile.GetProfileInt(kProfileControllersSection, kProfileControllersCountKey, 0), 0,
                                 kMostProfileEntries);
    m_savedCount = 0;
    m_pairCandidate.reset();
    std::set<int> taken;  // by Key: every controller a binding read so far listens to
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
        // The first entry for a controller holds, and a pair holds its least significant half as well: a later
        // entry that wants either is left out, whichever comes first.
        const int key = Key(*channel - 1, *controller);
        if (taken.contains(key) || (fine && taken.contains(key + 32))) continue;
        taken.insert(key);
        if (fine) taken.insert(key + 32);
        m_bindings.emplace(key, ControllerBinding{*channel - 1, *controller, *target, fine});
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
