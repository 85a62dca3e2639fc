// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Controller learn: which knob of the user's own controller moves which control, learning and forgetting it,
// and the moves themselves.

#include "app/ControllerInput.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class CMainDlg;
class FrameSlot;
class Profile;
class UserDialogs;

// Channel mode messages (All Notes Off and the like) are never learned: a keyboard sends them on its own.
constexpr int kFirstChannelModeController = 120;
// A 14-bit pair is learned when the learned controller's least significant half (controller + 32) arrives this
// soon after its most significant half: a knob that sends both does so at once, a player turning a second knob
// does not.
constexpr std::uint32_t kPairWindowMicros = 10000;
// Ids of targets that are not on the form (RegisterTarget) lie from here on, clear of the form's ids.
constexpr int kFirstExtraTarget = 2000;
constexpr int kLastExtraTarget = 2999;
// The morph window's slider: a knob (the modulation wheel, say) learned to it moves the open morph.
constexpr int kMorphPositionTarget = kFirstExtraTarget;

// One controller and what it moves.
struct ControllerBinding {
    int channel = 0;     // 0-15
    int controller = 0;  // 0-119; a 14-bit pair's most significant half (0-31)
    int target = 0;      // a control id of the form, or a registered target's id
    bool fine = false;   // a 14-bit pair: controller + 32 carries the least significant 7 bits
    bool operator==(const ControllerBinding&) const = default;
};

// A control outside the form that a controller can move (the morph window's slider): a range like a slider's,
// moved through the setter, which must act as the user's own move of it does.
struct ExtraControllerTarget {
    std::string name;    // as the status bar and the Controllers dialog name it ("Morph position")
    int rangeMax = 127;  // 0..rangeMax
    std::function<int()> position;
    std::function<void(int position)> setPosition;
    // Whether it is there to move (its window open); unset: always. A controller bound to it passes through
    // while it is not, as an unlearned one does.
    std::function<bool()> open;
    // A position as its window shows it ("70.3 % B"); unset: the number.
    std::function<std::string(int position)> shown;
};

class ControllerLearn : public ControllerInput {
public:
    ControllerLearn(CMainDlg& form, Profile& profile, UserDialogs& dialogs, const FrameSlot& frame);

    // Reads the bindings from the profile; entries that make no sense are left out.
    void Load();
    // Whether an input device is chosen, for what a learn tells the user; unset: one is.
    void SetInputChosen(std::function<bool()> chosen) { m_inputChosen = std::move(chosen); }
    // Why the form takes no edits now ("a variation is shown"), for the monitor's word on a refused knob.
    void SetRefusedReason(std::function<std::string()> reason) { m_refusedReason = std::move(reason); }

    // A Control Change from the input device: a learn takes it, or the control bound to it moves.
    bool OnInputControlChange(int channel, int controller, int value, std::uint32_t arrived,
                              std::string& what) override;

    // Whether `target` can learn a controller: a slider, list or check box of the form, or a registered target.
    bool CanLearn(int target) const;
    // The next Control Change from the input binds its controller and channel to `target`.
    void BeginLearn(int target);
    // Escape, or a second right-click: no controller is learned.
    void CancelLearn();
    bool IsLearning() const { return m_learning.has_value(); }
    std::optional<int> LearningTarget() const { return m_learning; }
    // What the last learn said, for the window it was begun in: the prompt while it waits, then what became of
    // it; and the target it was for.
    const std::string& LearnText() const { return m_learnText; }
    std::optional<int> LearnTextTarget() const { return m_learnTextTarget; }
    // The controller that moves `target`, if any.
    std::optional<ControllerBinding> BindingOf(int target) const;
    void Forget(int target);
    // Every binding, by channel then controller.
    std::vector<ControllerBinding> Bindings() const;
    // What a target is called for the user: "DCO1 Amp.", a registered target's name.
    std::string TargetName(int target) const;
    // MIDI Options > Controllers...: the bindings listed, the ones the user removes forgotten.
    void OnControllers();

    // A control outside the form, with an id from kFirstExtraTarget to kLastExtraTarget. A binding to it kept
    // in the profile does nothing until it is registered; unregistering keeps the binding.
    void RegisterTarget(int id, ExtraControllerTarget target);
    void UnregisterTarget(int id);

private:
    static int Key(int channel, int controller) { return channel * 128 + controller; }
    bool IsKnownTarget(int target) const;
    // A registered target outside the form whose window is not open: its controller is not taken.
    bool IsClosedTarget(int target) const;
    // Binds, and says so: what the controller moved before, if anything, it no longer moves.
    void Bind(ControllerBinding binding);
    bool TakeForLearn(int channel, int controller, int value, std::uint32_t arrived, std::string& what);
    // Moves `target` as a knob's value puts it; returns what became of it for the MIDI monitor (" = 128",
    // " (unchanged)").
    std::string Move(int target, int value, int top);
    void SetLearnText(int target, std::string text);
    void Save();
    std::string Describe(const ControllerBinding& binding) const;

    CMainDlg& m_form;
    Profile& m_profile;
    UserDialogs& m_dialogs;
    const FrameSlot& m_frame;
    std::map<int, ControllerBinding> m_bindings;       // by Key(channel, controller)
    std::array<std::uint8_t, 16 * 128> m_lastValue{};  // each controller's last value, by Key
    std::map<int, ExtraControllerTarget> m_extra;
    std::function<bool()> m_inputChosen;
    std::function<std::string()> m_refusedReason;
    std::optional<int> m_learning;
    std::string m_learnText;
    std::optional<int> m_learnTextTarget;
    // The controller just learned, whose least significant half may still come to make it a pair.
    struct PairCandidate {
        int key = 0;
        std::uint32_t arrived = 0;
    };
    std::optional<PairCandidate> m_pairCandidate;
    int m_savedCount = 0;  // how many entries the profile may hold
};
