// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo: one gesture is one step, and a step put back leaves the form, and the instrument that the form
// has been sending to, as they were.
#include "InstrumentModel.h"
#include "PatchFixtures.h"

#include "app/Commands.h"
#include "editor/ControlNames.h"

#include <chrono>
#include <map>
#include <random>

namespace {

using namespace std::chrono_literals;

struct UndoStep : ::testing::Test, StartedRig {
    void SetUp() override { StartApp(); }
};

TEST_F(UndoStep, UndoAndRedoPutTheControlBackAndSendWhatThatChangeSends) {
    // A drag from 200 to 120 on DCO1 Amp. while its source list had chosen "Vel" (entry 8).
    dlg.UserSelected(ctl::Dco1AmpSource, 8);
    dlg.UserBeganDrag(ctl::Dco1Amp);
    for (int p : {190, 150, 120}) dlg.UserMovedSlider(ctl::Dco1Amp, p);
    dlg.UserEndedGesture(ctl::Dco1Amp);
    EXPECT_EQ(app.CommandText(cmd::EditUndo), "&Undo DCO1 Amp.");
    ports.bytes.clear();
    app.OnCommand(cmd::EditUndo);
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {29, 72}, {16, 3}, {29, 7}}));  // the slider back, then its source
    EXPECT_EQ(dlg.m_dco1Amp, 200);
    EXPECT_EQ(form.GetCurSel(ctl::Dco1AmpSource), 8);
    EXPECT_EQ(app.CommandText(cmd::EditRedo), "&Redo DCO1 Amp.");
    EXPECT_EQ(app.CommandText(cmd::EditUndo), "&Undo DCO1 Amp. source");
    ports.bytes.clear();
    app.OnCommand(cmd::EditRedo);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {29, 120}}));
    EXPECT_EQ(form.GetCurSel(ctl::Dco1AmpSource), 0);

    // A list, a check box and a text.
    dlg.UserSelected(ctl::FilterType, 11);
    dlg.UserClicked(ctl::Dco2KeyFollow);
    dlg.UserEdited(ctl::PatchName, "Hand Builtx");
    ports.bytes.clear();
    EXPECT_EQ(app.CommandText(cmd::EditUndo), "&Undo Patch name");
    app.form().Undo();
    EXPECT_EQ(dlg.m_patchName, "Hand Built");
    EXPECT_EQ(form.GetText(ctl::PatchName), "Hand Built");
    EXPECT_EQ(app.CommandText(cmd::EditUndo), "&Undo DCO2 Key follow");
    app.form().Undo();
    EXPECT_EQ(app.CommandText(cmd::EditUndo), "&Undo Type / routing");
    app.form().Undo();
    // Post mixes and Boost stay; the routing code is the filter type's (0x41).
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {25, 0x95 - 128}, {16, 2}, {20, 0xCD - 128}}));
    EXPECT_EQ(form.GetCurSel(ctl::FilterType), 3);
    EXPECT_TRUE(form.IsEnabled(ctl::Cutoff2));
    ports.bytes.clear();
    app.form().Redo();
    app.form().Redo();
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {20, 0xCF - 128}, {16, 2}, {25, 0xB5 - 128}}));
    EXPECT_EQ(form.GetText(ctl::Cutoff2Label), "Width");
    // A new edit drops what was undone.
    dlg.UserMovedSlider(ctl::Step, 2);
    EXPECT_FALSE(dlg.CanRedo());
    EXPECT_FALSE(app.IsCommandEnabled(cmd::EditRedo));
    EXPECT_EQ(app.CommandText(cmd::EditRedo), "&Redo");
}

TEST_F(UndoStep, OneGestureIsOneStep) {
    const auto steps = [&] { return dlg.History().StepCount(); };
    dlg.UserBeganDrag(ctl::Env1Attack);  // a drag, however long
    for (int p = 0; p < 50; ++p) {
        dlg.UserMovedSlider(ctl::Env1Attack, p);
        clock.Advance(100ms);
    }
    dlg.UserEndedGesture(ctl::Env1Attack);
    EXPECT_EQ(steps(), 1u);
    for (int p : {60, 61, 62}) {  // key presses within a second of each other
        dlg.UserMovedSlider(ctl::Env1Attack, p);
        clock.Advance(900ms);
    }
    EXPECT_EQ(steps(), 2u);
    clock.Advance(200ms);
    dlg.UserMovedSlider(ctl::Env1Attack, 63);  // a pause: a new step
    dlg.UserMovedSlider(ctl::Env1Decay, 5);    // another control: a new step
    EXPECT_EQ(steps(), 4u);
    for (const char* text : {"H", "He", "Hey"}) dlg.UserEdited(ctl::Author, text);  // typing until the focus leaves
    clock.Advance(5s);
    dlg.UserEdited(ctl::Author, "Hey!");
    EXPECT_EQ(steps(), 5u);
    dlg.UserEndedGesture(ctl::Author);
    dlg.UserEdited(ctl::Author, "Hey!!");
    EXPECT_EQ(steps(), 6u);
    dlg.UserClicked(ctl::Boost);  // two clicks that cancel out leave no step
    dlg.UserClicked(ctl::Boost);
    EXPECT_EQ(steps(), 6u);
    dialogs.commentAnswers = {std::string("one"), std::string("two")};  // each Comment OK is a step
    dlg.UserClicked(ctl::Comment);
    dlg.UserClicked(ctl::Comment);
    EXPECT_EQ(steps(), 8u);

    while (dlg.CanUndo()) dlg.Undo();
    EXPECT_EQ(dlg.m_env1Attack, 1);  // as the loaded patch had it
    EXPECT_EQ(dlg.m_author, "Tester");
    EXPECT_EQ(dlg.m_comment, "line one\r\nline two");
}

// An action that changes nothing is no edit: the redo history stays, and a saved patch stays unmodified.
TEST_F(UndoStep, AnActionThatChangesNothingKeepsTheRedoHistoryAndTheSavedState) {
    dlg.UserSelected(ctl::Dco1AmpSource, 8);
    dlg.UserMovedSlider(ctl::Env1Attack, 0);
    dlg.UserMovedSlider(ctl::Dco2Amp, 3);
    app.OnCommand(cmd::EditUndo);
    ASSERT_TRUE(dlg.CanRedo());
    dialogs.savePaths = {dir / "saved.qnp"};
    ASSERT_TRUE(app.Work().OnFileSaveAs());
    ports.bytes.clear();
    const std::vector<std::pair<const char*, std::function<void()>>> nothing{
        {"Home at 0", [&] { dlg.UserMovedSlider(ctl::Env1Attack, 0); }},
        {"the entry a list shows", [&] { dlg.UserSelected(ctl::FilterType, form.GetCurSel(ctl::FilterType)); }},
        {"the source a list shows", [&] { dlg.UserSelected(ctl::Dco1AmpSource, 8); }},
        {"a click on a thumb",
         [&] {
             dlg.UserBeganDrag(ctl::Env2Decay);
             dlg.UserMovedSlider(ctl::Env2Decay, form.GetPos(ctl::Env2Decay));
             dlg.UserEndedGesture(ctl::Env2Decay);
         }},
        {"the same name", [&] { dlg.UserEdited(ctl::PatchName, form.GetText(ctl::PatchName)); }},
    };
    for (const auto& [what, action] : nothing) {
        SCOPED_TRACE(what);
        action();
        EXPECT_TRUE(dlg.CanRedo());
        EXPECT_EQ(app.CommandText(cmd::EditRedo), "&Redo DCO2 Amp.");
        EXPECT_FALSE(app.document().IsModified());
        EXPECT_FALSE(frame.modified);
    }
    app.OnCommand(cmd::EditRedo);
    EXPECT_EQ(form.GetPos(ctl::Dco2Amp), 3);
}

// Undo ends the gesture it undid: the next press on the same control, however soon, is a step of its own.
TEST_F(UndoStep, AfterUndoTheNextPressIsAStepOfItsOwn) {
    app.OnCommand(cmd::EditUndo);  // nothing to undo: nothing happens, and nothing breaks
    app.OnCommand(cmd::EditRedo);
    const int start = form.GetPos(ctl::Dco1Amp);
    dlg.UserMovedSlider(ctl::Dco1Amp, 10);  // two arrow keys: one step
    dlg.UserMovedSlider(ctl::Dco1Amp, 11);
    app.OnCommand(cmd::EditUndo);
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), start);
    dlg.UserMovedSlider(ctl::Dco1Amp, 12);  // at once: still a step of its own
    EXPECT_FALSE(dlg.CanRedo());
    app.OnCommand(cmd::EditUndo);
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), start);
    EXPECT_FALSE(dlg.CanUndo());
    app.OnCommand(cmd::EditRedo);
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 12);
    EXPECT_FALSE(dlg.CanRedo());

    // The same after a redo.
    app.OnCommand(cmd::EditUndo);
    app.OnCommand(cmd::EditRedo);
    dlg.UserMovedSlider(ctl::Dco1Amp, 13);
    app.OnCommand(cmd::EditUndo);
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 12);
}

// Each text box gets its own text back.
TEST_F(UndoStep, UndoingATextPutsItBackInItsOwnBox) {
    const std::string name = form.GetText(ctl::PatchName);
    dlg.UserEdited(ctl::Author, "Someone else");
    dlg.UserEndedGesture(ctl::Author);
    app.OnCommand(cmd::EditUndo);
    EXPECT_EQ(form.GetText(ctl::Author), "Tester");
    EXPECT_EQ(dlg.m_author, "Tester");
    EXPECT_EQ(form.GetText(ctl::PatchName), name);
    EXPECT_EQ(dlg.m_patchName, name);
    app.OnCommand(cmd::EditRedo);
    EXPECT_EQ(form.GetText(ctl::Author), "Someone else");
    EXPECT_EQ(form.GetText(ctl::PatchName), name);
}

TEST(ControlNames, AsTheFormLabelsThemWithTheirSectionWhereNeeded) {
    EditorRig rig;
    rig.dlg.OnInitialUpdate();
    const auto name = [&](int id) { return ControlName(rig.form, id); };
    const int ids[]{ctl::Dco1Amp,   ctl::Dco2AmpSource, ctl::FilterType,   ctl::Step,
                    ctl::StepBox,   ctl::Env2Offset,    ctl::Env1Loop,     ctl::Dco1SyncSlave,
                    ctl::PatchName, ctl::Comment,       ctl::Dco1Row3Mode, ctl::Cutoff1};
    std::vector<std::string> names;
    for (int id : ids) names.push_back(name(id));
    EXPECT_EQ(names, (std::vector<std::string>{"DCO1 Amp.", "DCO2 Amp. source", "Type / routing", "Step", "Step",
                                               "ENV2 Offset", "ENV1 [Level => release]", "Sync slave", "Patch name",
                                               "Comment", "DCO1 row 3 mode", "Cutoff1"}));
    rig.form.SetCurSel(ctl::Dco2Row3Mode, 2);
    rig.form.SetText(ctl::Cutoff1Label, "Freq.");
    EXPECT_EQ(name(ctl::Dco2Row3), "DCO2 Std.");
    EXPECT_EQ(name(ctl::Cutoff1Source), "Freq. source");
}

std::string Describe(const InstrumentModel& heard, const InstrumentModel& whole) {
    std::string out;
    for (const auto& [parameter, sent] : whole.parameters) {
        const auto it = heard.parameters.find(parameter);
        if (it != heard.parameters.end() && it->second == sent) continue;
        out += " CC " + std::to_string(parameter) + ": heard " +
               (it == heard.parameters.end()
                    ? std::string("nothing")
                    : std::to_string(it->second.first) + "/" + std::to_string(it->second.second)) +
               ", Transmit All " + std::to_string(sent.first) + "/" + std::to_string(sent.second) + ";";
    }
    return out;
}

TEST(UndoStepWalk, MutationsUndoneAndRedoneLeaveTheInstrumentAsTransmitAllWould) {
    std::vector<std::string> disagreements;
    for (std::uint32_t seed = 1; seed <= 200; ++seed) {
        StartedRig rig;
        rig.StartApp();
        rig.dlg.TransmitAll(false);
        InstrumentModel instrument;
        instrument.Take(rig.ports.bytes);
        std::mt19937 walk(seed);
        rig.app.Sound().SetRandomSeed(seed);
        for (int step = 0; step < 40; ++step) {
            rig.ports.bytes.clear();
            switch (walk() % 4) {
                case 0:
                case 1: {
                    MutationSettings settings;
                    settings.amountPercent = 1 + static_cast<int>(walk() % 100);
                    rig.dialogs.mutateAnswers = {MutationRequest{settings, walk() % 2 == 0}};
                    rig.app.Sound().OnEditMutate();
                    break;
                }
                case 2:
                    if (rig.dlg.CanUndo()) rig.dlg.Undo();
                    break;
                default:
                    if (rig.dlg.CanRedo()) rig.dlg.Redo();
                    break;
            }
            instrument.Take(rig.ports.bytes);
            rig.ports.bytes.clear();
            rig.dlg.TransmitAll(false);
            InstrumentModel whole = instrument;
            whole.Take(rig.ports.bytes);
            if (instrument.parameters != whole.parameters) {
                disagreements.push_back("seed " + std::to_string(seed) + " step " + std::to_string(step) + ":" +
                                        Describe(instrument, whole));
                break;
            }
        }
    }
    EXPECT_EQ(disagreements, std::vector<std::string>{});
}

}  // namespace
