// SPDX-License-Identifier: GPL-3.0-or-later
// Controller learn: a knob of the user's own controller bound to a control of the form moves it as the user's
// own move would, with the instrument's paging done by the form; the bindings live in the profile.
#include "PatchFixtures.h"

#include "app/Commands.h"
#include "app/ControllerLearn.h"
#include "app/InputDeviceSession.h"
#include "app/MidiMonitor.h"
#include "editor/ControllerMapping.h"

#include <climits>
#include <tuple>

namespace {

struct Controllers : ::testing::Test, StartedRig {
    ControllerLearn& learn = app.Controllers();
    FakeInputPorts inputs;
    std::string what;
    std::uint32_t clock = 0;  // when the next Control Change arrives (µs)

    // Started, with "Knobs B" chosen as the input device.
    void SetUp() override {
        StartApp();
        app.Inputs().SetPorts(&inputs);
        dialogs.inputDeviceAnswers = {2};
        app.Inputs().OnInputDevice();
        ASSERT_TRUE(app.Inputs().HasDevice());
        dialogs.messages.clear();
    }
    void TearDown() override { app.Inputs().SetPorts(nullptr); }
    // A Control Change from the input on a channel counted from 0.
    bool Knob(int controller, int value, int channel = 0) {
        what.clear();
        return learn.OnInputControlChange(channel, controller, value, clock, what);
    }
    // Learned with the knob at its top, which moves the control there; a while later.
    void Learn(int target, int controller, int channel = 0) {
        learn.BeginLearn(target);
        ASSERT_TRUE(Knob(controller, 127, channel));
        ports.bytes.clear();
        clock += 1000000;
    }
    // A learn by a knob that sends both halves of a 14-bit pair at once.
    void LearnPair(int target, int controller, int channel = 0) {
        learn.BeginLearn(target);
        ASSERT_TRUE(Knob(controller, 127, channel));
        ASSERT_TRUE(Knob(controller + 32, 127, channel));
        ASSERT_TRUE(learn.BindingOf(target)->fine);
        ports.bytes.clear();
        clock += 1000000;
    }
};

TEST(ControllerMapping, ValuesSpreadOverTheWholeRangeAndTheTopReachesTheEnd) {
    // A 0-255 slider in steps of 2, with 127 on 255.
    for (const auto& [value, position] :
         std::vector<std::pair<int, int>>{{0, 0}, {1, 2}, {63, 126}, {64, 128}, {126, 252}, {127, 255}})
        EXPECT_EQ(ControllerPosition({value, kControllerTop7}, 256), position) << value;
    // Small ranges and lists: bands of equal width.
    EXPECT_EQ(ControllerPosition({15, kControllerTop7}, 8), 0);
    EXPECT_EQ(ControllerPosition({16, kControllerTop7}, 8), 1);
    EXPECT_EQ(ControllerPosition({127, kControllerTop7}, 8), 7);
    EXPECT_EQ(ControllerPosition({127, kControllerTop7}, 16), 15);
    EXPECT_EQ(ControllerPosition({42, kControllerTop7}, 3), 0);
    EXPECT_EQ(ControllerPosition({43, kControllerTop7}, 3), 1);
    EXPECT_EQ(ControllerPosition({86, kControllerTop7}, 3), 2);
    // A check box: on from 64.
    EXPECT_EQ(ControllerPosition({63, kControllerTop7}, 2), 0);
    EXPECT_EQ(ControllerPosition({64, kControllerTop7}, 2), 1);
    // A 14-bit pair reaches every position.
    EXPECT_EQ(ControllerPosition({63, kControllerTop14}, 256), 0);
    EXPECT_EQ(ControllerPosition({64, kControllerTop14}, 256), 1);
    EXPECT_EQ(ControllerPosition({8192, kControllerTop14}, 256), 128);
    EXPECT_EQ(ControllerPosition({16383, kControllerTop14}, 256), 255);
    // Nothing outside the travel, nothing to choose from.
    EXPECT_EQ(ControllerPosition({500, kControllerTop7}, 256), 255);
    EXPECT_EQ(ControllerPosition({-3, kControllerTop7}, 256), 0);
    EXPECT_EQ(ControllerPosition({100, kControllerTop7}, 0), 0);
}

TEST_F(Controllers, EveryControlOfTheFormGoesFromItsFirstToItsLastPosition) {
    int targets = 0;
    for (const ControlDef& def : FormControls()) {
        if (def.id == kNoId || !learn.CanLearn(def.id)) continue;
        ++targets;
        // Enabled, so that every one can move; a list keeps the entries it has now.
        form.Enable(def.id, true);
        learn.BeginLearn(def.id);
        Knob(100, 0);
        Knob(100, 127);
        Knob(100, 0);
        const ControlState& s = form.Get(def.id);
        switch (def.kind) {
            case ControlKind::Slider: EXPECT_EQ(s.position, 0) << def.id; break;
            case ControlKind::List: EXPECT_EQ(s.selection, 0) << def.id; break;
            case ControlKind::CheckBox: EXPECT_FALSE(s.checked) << def.id; break;
            default: ADD_FAILURE() << def.id;
        }
        Knob(100, 127);
        switch (def.kind) {
            case ControlKind::Slider: EXPECT_EQ(s.position, def.rangeMax) << def.id; break;
            case ControlKind::List: EXPECT_EQ(s.selection, form.GetCount(def.id) - 1) << def.id; break;
            case ControlKind::CheckBox: EXPECT_TRUE(s.checked) << def.id; break;
            default: break;
        }
    }
    EXPECT_EQ(targets, 26 + 21 + 11);  // sliders, lists, check boxes
    // Text boxes, value boxes, buttons and labels follow no knob, nor an id outside the form that no window
    // registered.
    for (int id : {ctl::PatchName, ctl::Env1AttackBox, ctl::Comment, ctl::Cutoff1Label, 999, kLastExtraTarget})
        EXPECT_FALSE(learn.CanLearn(id)) << id;
}

TEST_F(Controllers, AKnobAbove127SendsThePageSelectThenTheParameter) {
    learn.BeginLearn(ctl::Dco1Amp);
    EXPECT_EQ(frame.status, "Move a knob or slider for DCO1 Amp. on your controller...");
    EXPECT_TRUE(learn.IsLearning());
    // The first message binds, and moves the control as any other would: here to where it stands.
    ASSERT_TRUE(Knob(74, 100));
    EXPECT_EQ(frame.status, "CC 74 on channel 1 now moves DCO1 Amp.");
    EXPECT_EQ(what, "CC 74 → learned by DCO1 Amp. (unchanged)");
    EXPECT_FALSE(learn.IsLearning());
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_FALSE(doc.IsModified());

    ASSERT_TRUE(Knob(74, 64));
    EXPECT_EQ(what, "CC 74 → DCO1 Amp. = 128");
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {29, 0}}));
    EXPECT_EQ(dlg.m_dco1Amp, 128);
    EXPECT_TRUE(doc.IsModified());
    ports.bytes.clear();
    Knob(74, 127);
    Knob(74, 10);
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {29, 127}, {16, 1}, {29, 20}}));
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 20);
    // Another channel's CC 74 is another controller.
    ports.bytes.clear();
    EXPECT_FALSE(Knob(74, 90, 1));
    EXPECT_TRUE(ports.bytes.empty());
}

TEST_F(Controllers, AKnobsMovesAreOneUndoStepUntilAnotherEditComesBetween) {
    Learn(ctl::Dco1Amp, 74);
    for (int v : {70, 80, 100, 100}) Knob(74, v);  // the second 100 leaves 200 where the first put it
    EXPECT_EQ(what, "CC 74 → DCO1 Amp. (unchanged)");
    for (int v : {110, 120}) Knob(74, v);
    EXPECT_EQ(dlg.History().StepCount(), 1u);
    EXPECT_EQ(app.CommandText(cmd::EditUndo), "&Undo DCO1 Amp.");
    ports.bytes.clear();
    app.OnCommand(cmd::EditUndo);
    EXPECT_EQ(dlg.m_dco1Amp, 200);
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 200);
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {29, 72}}));

    // An undo ends the gesture; so does another control's edit.
    Knob(74, 10);
    dlg.UserMovedSlider(ctl::Env1Attack, 5);
    Knob(74, 20);
    Knob(74, 30);
    EXPECT_EQ(dlg.History().StepCount(), 3u);
    app.OnCommand(cmd::EditUndo);
    EXPECT_EQ(dlg.m_dco1Amp, 20);
    // The mouse on the same slider is an edit of its own.
    app.OnCommand(cmd::EditRedo);
    dlg.UserMovedSlider(ctl::Dco1Amp, 61);
    EXPECT_EQ(dlg.History().StepCount(), 4u);
}

TEST_F(Controllers, AValueThatChangesNothingDoesNothing) {
    // The learning message is such a value too.
    const bool keyFollow = form.IsChecked(ctl::Dco2KeyFollow);
    const int filter = form.GetCurSel(ctl::FilterType);
    const int entries = form.GetCount(ctl::FilterType);
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 0) learn.BeginLearn(ctl::Dco1Amp);
        EXPECT_TRUE(Knob(74, 100));  // 200, as loaded
        if (pass == 0) learn.BeginLearn(ctl::Dco2KeyFollow);
        EXPECT_TRUE(Knob(75, keyFollow ? 127 : 0));
        if (pass == 0) learn.BeginLearn(ctl::FilterType);
        EXPECT_TRUE(Knob(76, (filter * 128 + entries - 1) / entries));  // the first value of the entry's band
    }
    EXPECT_EQ(form.GetCurSel(ctl::FilterType), filter);
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_FALSE(dlg.CanUndo());
}

TEST_F(Controllers, ListsAndCheckBoxesFollowAsTheirClicksDo) {
    // Learned where the check box stands, so that the knob's click starts from the patch as loaded.
    const bool was = form.IsChecked(ctl::Dco2KeyFollow);
    learn.BeginLearn(ctl::Dco2KeyFollow);
    ASSERT_TRUE(Knob(75, was ? 127 : 0));
    ASSERT_TRUE(ports.bytes.empty());
    Knob(75, was ? 63 : 64);
    EXPECT_EQ(form.IsChecked(ctl::Dco2KeyFollow), !was);
    EXPECT_EQ(what, std::string("CC 75 → DCO2 Key follow = ") + (was ? "off" : "on"));
    const Bytes byKnob = ports.bytes;
    // The user's click on a twin editor sends the same.
    {
        StartedRig twin;
        twin.StartApp();
        twin.dlg.UserClicked(ctl::Dco2KeyFollow);
        EXPECT_EQ(byKnob, twin.ports.bytes);
    }
    Learn(ctl::FilterType, 76);
    Knob(76, 0);
    EXPECT_EQ(form.GetCurSel(ctl::FilterType), 0);
    EXPECT_EQ(what, "CC 76 → Filter Type / routing = " + form.Get(ctl::FilterType).entries[0]);
    EXPECT_FALSE(ports.bytes.empty());
    EXPECT_EQ(app.CommandText(cmd::EditUndo), "&Undo Type / routing");
    // A cutoff row the filter type turned off stays where it is.
    if (!form.IsEnabled(ctl::Cutoff2)) {
        Learn(ctl::Cutoff2, 77);
        const int before = form.GetPos(ctl::Cutoff2);
        EXPECT_TRUE(Knob(77, before == 0 ? 127 : 0));
        EXPECT_EQ(form.GetPos(ctl::Cutoff2), before);
        EXPECT_NE(what.find("(off on the form)"), std::string::npos) << what;
    }
}

TEST_F(Controllers, WhileTheOriginalIsShownAKnobIsRefusedAsTheMouseIs) {
    Learn(ctl::Dco1Amp, 74);
    dlg.UserMovedSlider(ctl::Env1Attack, 5);
    app.OnCommand(cmd::EditCompare);
    ports.bytes.clear();
    Knob(74, 0);
    EXPECT_EQ(frame.status, "The original is shown: press F2 to return to your edit.");
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 200);
}

TEST_F(Controllers, TheInputDevicesControlChangesLearnAndMoveAndShowInTheMonitor) {
    app.OnCommand(cmd::MidiMonitor);
    ASSERT_NE(frame.monitor, nullptr);
    learn.BeginLearn(ctl::Dco1Amp);
    inputs.received = {0xB3, 74, 5, 0xB3, 74, 64, 0xB3, 74, 64, 0xB0, 74, 64};
    app.Inputs().OnInputReceived();
    // Learned on channel 4 and moved by it, moved again, then unchanged; channel 1's CC 74 is another
    // controller, for no one.
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {29, 10}, {16, 2}, {29, 0}}));
    std::vector<std::string> shown;
    for (const MidiMonitor::Entry& e : frame.monitor->TakeNew())
        if (e.meaning.rfind("input: ", 0) == 0) shown.push_back(e.meaning);
    EXPECT_EQ(shown, (std::vector<std::string>{"input: CC 74 = 5, channel 4: CC 74 → learned by DCO1 Amp. = 10",
                                               "input: CC 74 = 64, channel 4: CC 74 → DCO1 Amp. = 128",
                                               "input: CC 74 = 64, channel 4: CC 74 → DCO1 Amp. (unchanged)",
                                               "input: CC 74 = 64, channel 1: ignored"}));
}

TEST_F(Controllers, TheModulationWheelLearnedForTheMorphPassesThroughWhileNoMorphIsOpen) {
    app.OnCommand(cmd::MidiMonitor);
    ASSERT_NE(frame.monitor, nullptr);
    learn.BeginLearn(kMorphPositionTarget);
    inputs.received = {0xB0, 1, 0, 0xB0, 1, 90};
    app.Inputs().OnInputReceived();
    ASSERT_EQ(learn.BindingOf(kMorphPositionTarget)->controller, 1);
    // The learning message had nothing to move; the next is the player's vibrato, passed on as before.
    EXPECT_EQ(ports.bytes, (Bytes{0xB0, 1, 90}));
    std::vector<std::string> shown;
    for (const MidiMonitor::Entry& e : frame.monitor->TakeNew())
        if (e.meaning.rfind("input: ", 0) == 0) shown.push_back(e.meaning);
    EXPECT_EQ(shown,
              (std::vector<std::string>{"input: CC 1 = 0, channel 1: CC 1 → learned by Morph position (not open)",
                                        "input: CC 1 = 90, channel 1: thru"}));
}

TEST_F(Controllers, ALearnWithoutAnInputDeviceSaysWhereToChooseOne) {
    dialogs.inputDeviceAnswers = {0};  // None
    app.Inputs().OnInputDevice();
    learn.BeginLearn(ctl::Dco1Amp);
    EXPECT_EQ(frame.status,
              "No MIDI input is chosen: choose your controller in MIDI Options › Input Device..., then move a knob or "
              "slider on it.");
    // It waits all the same, for the device chosen next.
    EXPECT_TRUE(Knob(74, 0));
    EXPECT_EQ(frame.status, "CC 74 on channel 1 now moves DCO1 Amp.");
}

TEST_F(Controllers, LearnForgetCancelAndAControllerMovingOver) {
    // Cancelled: the next message is not taken.
    learn.BeginLearn(ctl::Dco2Amp);
    learn.CancelLearn();
    EXPECT_EQ(frame.status, "Learn Controller cancelled.");
    EXPECT_FALSE(Knob(74, 5));
    EXPECT_TRUE(learn.Bindings().empty());

    // Channel mode messages are never learned; the learn goes on waiting.
    learn.BeginLearn(ctl::Dco2Amp);
    EXPECT_FALSE(Knob(123, 0));
    EXPECT_TRUE(learn.IsLearning());
    EXPECT_TRUE(Knob(74, 5, 3));
    EXPECT_EQ(frame.status, "CC 74 on channel 4 now moves DCO2 Amp.");

    // Learned on another control, the controller moves over; a control learns one controller at a time.
    Learn(ctl::Dco1Amp, 74, 3);
    EXPECT_FALSE(learn.BindingOf(ctl::Dco2Amp));
    Learn(ctl::Dco1Amp, 75, 3);
    EXPECT_EQ(learn.Bindings(), (std::vector<ControllerBinding>{{3, 75, ctl::Dco1Amp, false}}));
    EXPECT_FALSE(Knob(74, 5, 3));

    const std::size_t steps = dlg.History().StepCount();
    learn.Forget(ctl::Dco1Amp);
    EXPECT_EQ(frame.status, "CC 75 on channel 4 no longer moves DCO1 Amp.");
    EXPECT_TRUE(learn.Bindings().empty());
    EXPECT_FALSE(Knob(75, 5, 3));
    EXPECT_EQ(dlg.History().StepCount(), steps);
    // Out-of-range messages are not the program's.
    EXPECT_FALSE(Knob(128, 0));
    EXPECT_FALSE(Knob(1, 128));
    EXPECT_FALSE(Knob(1, 0, 16));
    EXPECT_FALSE(Knob(-1, 0));
}

TEST_F(Controllers, FourteenBitPairsReachEveryPosition) {
    // The least significant half right after the learned message (at most 10 ms later) makes the pair.
    learn.BeginLearn(ctl::Dco1Amp);
    Knob(7, 0);
    clock += kPairWindowMicros;
    EXPECT_TRUE(Knob(39, 127));
    EXPECT_EQ(what, "CC 39 → DCO1 Amp. = 1");
    EXPECT_EQ(frame.status, "CC 7/39 on channel 1 now moves DCO1 Amp.");
    EXPECT_EQ(learn.Bindings(), (std::vector<ControllerBinding>{{0, 7, ctl::Dco1Amp, true}}));
    EXPECT_EQ(profile.strings["Controllers/Binding1"], "7 1 1004 14");
    ports.bytes.clear();
    Knob(7, 64);  // 8192: the least significant half starts again from 0
    Knob(39, 64);
    Knob(7, 127);
    Knob(39, 127);
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {29, 0}, {16, 2}, {29, 1}, {16, 2}, {29, 126}, {16, 2}, {29, 127}}));

    // A least significant half on its own, of a controller that is no pair, is not taken.
    Learn(ctl::Dco2Amp, 8);
    Knob(8, 10);
    Knob(1, 0);
    EXPECT_FALSE(Knob(40, 5));
    EXPECT_FALSE(learn.BindingOf(ctl::Dco2Amp)->fine);
    // Learned on its own, a pair's least significant half leaves the pair its most significant one.
    Learn(ctl::Env1Attack, 39);
    EXPECT_EQ(learn.Bindings(),
              (std::vector<ControllerBinding>{
                  {0, 7, ctl::Dco1Amp, false}, {0, 8, ctl::Dco2Amp, false}, {0, 39, ctl::Env1Attack, false}}));
}

TEST_F(Controllers, APairIsMadeOnlyByTheLearnedKnobAtOnceAndNeverByAnotherKnob) {
    // Learn CC 7 for DCO1 Amp. and turn it to 100 (Amp. 200): another, never-learned knob on CC 39 then moves
    // nothing, sends nothing and leaves the profile as the learn wrote it.
    Learn(ctl::Dco1Amp, 7);
    Knob(7, 100);
    ASSERT_EQ(form.GetPos(ctl::Dco1Amp), 200);
    ports.bytes.clear();
    const MapProfile learned = profile;
    EXPECT_FALSE(Knob(39, 127));
    EXPECT_FALSE(Knob(39, 1));
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 200);
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(profile.strings, learned.strings);
    EXPECT_EQ(profile.strings["Controllers/Binding1"], "7 1 1004");
    EXPECT_FALSE(learn.BindingOf(ctl::Dco1Amp)->fine);

    // Right after the learned message, but too late for the same knob: 10 ms and a microsecond.
    learn.BeginLearn(ctl::Dco2Amp);
    Knob(8, 127);
    clock += kPairWindowMicros + 1;
    EXPECT_FALSE(Knob(40, 5));
    EXPECT_FALSE(learn.BindingOf(ctl::Dco2Amp)->fine);
    // In time, but another message came between.
    learn.BeginLearn(ctl::Dco2Amp);
    Knob(8, 127);
    Knob(8, 126);
    EXPECT_FALSE(Knob(40, 5));
    EXPECT_FALSE(learn.BindingOf(ctl::Dco2Amp)->fine);
    // In time, but on another channel: another controller.
    learn.BeginLearn(ctl::Dco2Amp);
    Knob(8, 127);
    EXPECT_FALSE(Knob(40, 5, 1));
    EXPECT_FALSE(learn.BindingOf(ctl::Dco2Amp)->fine);
    // In time, but the least significant number moves another control: it goes on doing so.
    Learn(ctl::Env1Attack, 41);
    learn.BeginLearn(ctl::Dco2Offset);
    Knob(9, 127);
    EXPECT_TRUE(Knob(41, 0));
    EXPECT_EQ(what, "CC 41 → ENV1 Attack = 0");
    EXPECT_FALSE(learn.BindingOf(ctl::Dco2Offset)->fine);
    // An arrival clock that wrapped between the two halves still measures the distance.
    clock = 0xFFFFFFFFu - 100;
    learn.BeginLearn(ctl::Dco2Amp);
    Knob(8, 127);
    clock += 200;
    EXPECT_TRUE(Knob(40, 5));
    EXPECT_TRUE(learn.BindingOf(ctl::Dco2Amp)->fine);
}

TEST_F(Controllers, ThePairWindowIsMeasuredOnTheInputsArrivalTimes) {
    // Read from the input in one go, as a busy window thread would: what counts is when each message arrived.
    learn.BeginLearn(ctl::Dco1Amp);
    inputs.received = {0xB0, 7, 100, 0xB0, 39, 127};
    inputs.arrived = {1000, 1000, 1000, 11001, 11001, 11001};
    app.Inputs().OnInputReceived();
    EXPECT_FALSE(learn.BindingOf(ctl::Dco1Amp)->fine);
    learn.BeginLearn(ctl::Dco1Amp);
    inputs.received = {0xB0, 7, 100, 0xB0, 39, 127};
    inputs.arrived = {1000, 1000, 1000, 11000, 11000, 11000};
    app.Inputs().OnInputReceived();
    EXPECT_TRUE(learn.BindingOf(ctl::Dco1Amp)->fine);
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 201);  // 100 << 7 | 127 over 256 positions
}

TEST_F(Controllers, LearnSaysWhatItWaitsForAndWhatAControllerLeaves) {
    learn.BeginLearn(ctl::Env1Attack);
    EXPECT_EQ(learn.LearnText(), "Move a knob or slider for ENV1 Attack on your controller...");
    EXPECT_EQ(learn.LearnTextTarget(), ctl::Env1Attack);
    learn.CancelLearn();
    Learn(ctl::Dco1Amp, 74);
    learn.BeginLearn(ctl::Env1Attack);
    // The first message moves the control it binds: 0 for ENV1 Attack.
    dlg.UserMovedSlider(ctl::Env1Attack, 5);
    ports.bytes.clear();
    ASSERT_TRUE(Knob(74, 0));
    EXPECT_EQ(frame.status, "CC 74 now moves ENV1 Attack (no longer DCO1 Amp.)");
    EXPECT_EQ(learn.LearnText(), frame.status);
    EXPECT_EQ(form.GetPos(ctl::Env1Attack), 0);
    EXPECT_FALSE(ports.bytes.empty());
    EXPECT_FALSE(learn.BindingOf(ctl::Dco1Amp));
    // On another channel the channel is said.
    Learn(ctl::Dco1Amp, 74, 5);
    learn.BeginLearn(ctl::Dco2Amp);
    Knob(74, 0, 5);
    EXPECT_EQ(frame.status, "CC 74 on channel 6 now moves DCO2 Amp. (no longer DCO1 Amp.)");

    // Channel mode messages (120-127) are never learned, the first of them included; the learn waits on.
    learn.BeginLearn(ctl::Dco1Amp);
    for (int mode = kFirstChannelModeController; mode <= 127; ++mode) EXPECT_FALSE(Knob(mode, 0)) << mode;
    EXPECT_TRUE(learn.IsLearning());
    EXPECT_TRUE(Knob(119, 0));
    EXPECT_EQ(learn.BindingOf(ctl::Dco1Amp)->controller, 119);
}

TEST_F(Controllers, BindingsSurviveARestartAndNeverTheirPatch) {
    Learn(ctl::Dco1Amp, 74);
    LearnPair(ctl::FilterType, 7, 15);
    Learn(ctl::Env2FreeRun, 1, 9);
    const std::vector<ControllerBinding> kept = learn.Bindings();
    ASSERT_EQ(kept.size(), 3u);

    EditorRig next;
    next.profile = profile;
    next.app.Controllers().Load();
    EXPECT_EQ(next.app.Controllers().Bindings(), kept);

    // Forgetting one writes the list again, the one that went away emptied.
    learn.Forget(ctl::Dco1Amp);
    EXPECT_EQ(profile.ints["Controllers/Count"], 2);
    EXPECT_EQ(profile.strings["Controllers/Binding1"], "1 10 1050");
    EXPECT_EQ(profile.strings["Controllers/Binding2"], "7 16 1014 14");
    EXPECT_EQ(profile.strings["Controllers/Binding3"], "");
}

TEST_F(Controllers, HostileProfileEntriesAreLeftOut) {
    MapProfile hostile;
    const std::vector<std::string> entries{
        "", "74", "74 1", "74 0 1004", "74 17 1004", "120 1 1004", "-1 1 1004", "74 1 1054", "74 1 1099", "74 1 99999",
        "7 1 1004 14 x", "40 1 1004 14", "74  1 1004", " 74 1 1004", "74 1 1004 7", "0x4A 1 1004", "74 1 1004\n",
        "74 1 1004 ", "99999999999999999999 1 1004", "74 1 +1004", "\xff\xfe 1 1004", "74 1 1004 14",
        // Good ones, and one that repeats a control and one that repeats a controller.
        "5 2 1004", "6 2 1004", "5 2 1061", "1 1 2001", "9 3 1014 14"};
    for (std::size_t i = 0; i < entries.size(); ++i)
        hostile.strings["Controllers/Binding" + std::to_string(i + 1)] = entries[i];
    hostile.ints["Controllers/Count"] = static_cast<int>(entries.size());
    EditorRig next;
    next.profile = hostile;
    next.app.Controllers().Load();
    EXPECT_EQ(next.app.Controllers().Bindings(),
              (std::vector<ControllerBinding>{{0, 1, 2001, false}, {1, 5, ctl::Dco1Amp, false}, {2, 9, 1014, true}}));
    // A target outside the form does nothing until its window registers it.
    std::string what;
    EXPECT_FALSE(next.app.Controllers().OnInputControlChange(0, 1, 5, 0, what));

    for (int count : {-5, INT_MIN, INT_MAX}) {
        next.profile.ints["Controllers/Count"] = count;
        next.app.Controllers().Load();
        EXPECT_EQ(next.app.Controllers().Bindings().size(), count > 0 ? 3u : 0u) << count;
    }
}

// Bindings read from a profile, entry by entry.
std::vector<ControllerBinding> Read(const std::vector<std::string>& entries) {
    EditorRig rig;
    for (std::size_t i = 0; i < entries.size(); ++i)
        rig.profile.strings["Controllers/Binding" + std::to_string(i + 1)] = entries[i];
    rig.profile.ints["Controllers/Count"] = static_cast<int>(entries.size());
    rig.app.Controllers().Load();
    return rig.app.Controllers().Bindings();
}

TEST_F(Controllers, APairsSecondControllerIsTakenWhenTheProfileIsRead) {
    const std::string attack = std::to_string(ctl::Env1Attack);
    // A later entry on the pair's least significant half is left out, and so is a pair on an earlier one's.
    EXPECT_EQ(Read({"7 1 1004 14", "39 1 " + attack}), (std::vector<ControllerBinding>{{0, 7, ctl::Dco1Amp, true}}));
    EXPECT_EQ(Read({"39 1 " + attack, "7 1 1004 14"}),
              (std::vector<ControllerBinding>{{0, 39, ctl::Env1Attack, false}}));
    // Another channel's CC 39 is another controller.
    EXPECT_EQ(Read({"7 1 1004 14", "39 2 " + attack}),
              (std::vector<ControllerBinding>{{0, 7, ctl::Dco1Amp, true}, {1, 39, ctl::Env1Attack, false}}));

    // One turn of the 14-bit knob moves DCO1 Amp. alone.
    profile.strings["Controllers/Binding1"] = "7 1 1004 14";
    profile.strings["Controllers/Binding2"] = "39 1 " + attack;
    profile.ints["Controllers/Count"] = 2;
    learn.Load();
    const int before = form.GetPos(ctl::Env1Attack);
    Knob(7, 64);
    Knob(39, 100);
    EXPECT_EQ(form.GetPos(ctl::Env1Attack), before);
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 129);  // (64 << 7 | 100) over 256 positions
}

TEST_F(Controllers, AHostileListWithDuplicatesKeepsTheFirstOfEachAndLosesNothingElse) {
    const std::string attack = std::to_string(ctl::Env1Attack), decay = std::to_string(ctl::Env1Decay);
    std::vector<std::string> entries;
    // The same entry many times over, a controller for two controls, a control for two controllers, pairs that
    // overlap, between good entries that must all survive.
    for (int i = 0; i < 200; ++i) entries.push_back("74 1 1004");
    entries.insert(entries.end(),
                   {"74 1 " + attack, "75 1 1004", "5 1 " + attack, "5 1 " + attack + " 14", "37 1 " + decay,
                    "6 1 1014 14", "38 1 1061", "6 1 1061", "1 16 2000", "1 16 2000 14", "33 16 1005"});
    for (int i = 0; i < 50; ++i) entries.push_back("6 1 1014 14");
    const std::vector<ControllerBinding> expected{
        {0, 5, ctl::Env1Attack, false}, {0, 6, ctl::FilterType, true},        {0, 37, ctl::Env1Decay, false},
        {0, 74, ctl::Dco1Amp, false},   {15, 1, kMorphPositionTarget, false}, {15, 33, ctl::Dco1Offset, false}};
    EXPECT_EQ(Read(entries), expected);
    // Written back, it reads the same, and the entries beyond it are emptied.
    EditorRig rig;
    for (std::size_t i = 0; i < entries.size(); ++i)
        rig.profile.strings["Controllers/Binding" + std::to_string(i + 1)] = entries[i];
    rig.profile.ints["Controllers/Count"] = static_cast<int>(entries.size());
    rig.app.Controllers().Load();
    rig.app.Controllers().Forget(ctl::Dco1Offset);
    EXPECT_EQ(rig.profile.ints["Controllers/Count"], 5);
    EXPECT_EQ(rig.profile.strings["Controllers/Binding6"], "");
    EXPECT_EQ(rig.profile.strings["Controllers/Binding261"], "");
    EditorRig again;
    again.profile = rig.profile;
    again.app.Controllers().Load();
    EXPECT_EQ(again.app.Controllers().Bindings(), std::vector<ControllerBinding>(expected.begin(), expected.end() - 1));
}

TEST_F(Controllers, TheControllersDialogListsAndRemoves) {
    Learn(ctl::Dco1Amp, 74);
    LearnPair(ctl::Dco2KeyFollow, 12, 2);
    const std::size_t steps = dlg.History().StepCount();
    dialogs.controllerAnswers = {std::nullopt, std::vector<std::size_t>{1, 7}};
    app.OnCommand(cmd::Controllers);
    const std::vector<ControllerRow> rows{{74, 1, "DCO1 Amp.", false}, {12, 3, "DCO2 Key follow", true}};
    ASSERT_EQ(dialogs.controllerRequests.size(), 1u);
    EXPECT_EQ(dialogs.controllerRequests[0], rows);
    EXPECT_EQ(learn.Bindings().size(), 2u);  // cancelled
    app.OnCommand(cmd::Controllers);
    EXPECT_EQ(learn.Bindings(), (std::vector<ControllerBinding>{{0, 74, ctl::Dco1Amp, false}}));
    EXPECT_EQ(profile.ints["Controllers/Count"], 1);
    EXPECT_EQ(dlg.History().StepCount(), steps);  // no edit of the patch
}

TEST_F(Controllers, ATargetOutsideTheFormLearnsAndMovesThroughItsSetter) {
    int position = 10;
    std::vector<int> set;
    bool open = true;
    learn.RegisterTarget(2001, {"Morph position", 100, [&] { return position; },
                                [&](int p) {
                                    set.push_back(p);
                                    position = p;
                                },
                                [&] { return open; }, [](int p) { return std::to_string(p) + " %"; }});
    EXPECT_TRUE(learn.CanLearn(2001));
    learn.RegisterTarget(ctl::Dco1Amp, {"Not mine", 1, [] { return 0; }, [](int) {}, {}, {}});  // a form id: refused
    EXPECT_EQ(learn.TargetName(ctl::Dco1Amp), "DCO1 Amp.");
    Learn(2001, 20);
    EXPECT_EQ(frame.status, "CC 20 on channel 1 now moves Morph position.");
    Knob(20, 127);
    Knob(20, 127);
    Knob(20, 64);
    EXPECT_EQ(set, (std::vector<int>{100, 50}));
    EXPECT_EQ(what, "CC 20 → Morph position = 50 %");
    // Its window closed, or the target gone: the controller is not taken, and passes on as an unlearned one.
    open = false;
    EXPECT_FALSE(Knob(20, 0));
    open = true;
    learn.UnregisterTarget(2001);
    EXPECT_FALSE(Knob(20, 0));
    EXPECT_EQ(set.size(), 2u);
    EXPECT_TRUE(ports.bytes.empty());
    // A learn waiting for a target that goes away ends.
    learn.RegisterTarget(2001, {"Morph position", 100, [&] { return position; }, [&](int p) { position = p; }, {}, {}});
    learn.BeginLearn(2001);
    learn.UnregisterTarget(2001);
    EXPECT_FALSE(learn.IsLearning());
}

}  // namespace
