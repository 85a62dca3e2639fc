// SPDX-License-Identifier: GPL-3.0-or-later
// The sound designer's commands: a test note, all notes off, comparing with the original, and mutations.
#include "InstrumentModel.h"
#include "PatchFixtures.h"

#include "app/Commands.h"
#include "editor/ControlNames.h"
#include "editor/Mutation.h"
#include "midi/MidiFile.h"

#include <chrono>
#include <map>
#include <set>

namespace {

using namespace std::chrono_literals;

struct SoundDesign : ::testing::Test, StartedRig {
    void SetUp() override { StartApp(); }
    // What Transmit All sends of the form as it is now.
    Bytes Transmission() {
        const Bytes sent = ports.bytes;
        ports.bytes.clear();
        dlg.TransmitAll(false);
        Bytes out = ports.bytes;
        ports.bytes = sent;
        return out;
    }
};

TEST_F(SoundDesign, TestNotePlaysForHalfASecondOrUntilReleased) {
    app.OnCommand(cmd::PlayTestNote);
    EXPECT_EQ(ports.bytes, (Bytes{0x90, 0x3C, 0x64}));
    clock.Advance(499ms);
    EXPECT_EQ(ports.bytes.size(), 3u);
    clock.Advance(1ms);
    EXPECT_EQ(ports.bytes, (Bytes{0x90, 0x3C, 0x64, 0x80, 0x3C, 0x40}));

    // A new note while one sounds ends the first one first.
    ports.bytes.clear();
    app.Sound().OnPlayTestNote();
    clock.Advance(200ms);
    app.Sound().OnPlayTestNote();
    clock.Advance(499ms);
    EXPECT_EQ(ports.bytes, (Bytes{0x90, 0x3C, 0x64, 0x80, 0x3C, 0x40, 0x90, 0x3C, 0x64}));

    // Held, the note sounds until the command comes again; pitch and velocity come from the profile.
    clock.Advance(1ms);
    ports.bytes.clear();
    dialogs.testNoteAnswers = {TestNoteSettings{48, 127}};
    app.Sound().OnTestNoteSettings();
    EXPECT_EQ(profile.ints["Options/Test Note"], 48);
    EXPECT_EQ(profile.ints["Options/Test Velocity"], 127);
    app.OnCommand(cmd::HoldTestNote);
    EXPECT_TRUE(app.IsCommandChecked(cmd::HoldTestNote));
    clock.Advance(10s);
    EXPECT_EQ(ports.bytes, (Bytes{0x90, 48, 127}));
    app.OnCommand(cmd::HoldTestNote);
    EXPECT_EQ(ports.bytes, (Bytes{0x90, 48, 127, 0x80, 48, 0x40}));
    EXPECT_FALSE(app.IsCommandChecked(cmd::HoldTestNote));

    // Out-of-range settings in the profile are brought into range; Cancel changes nothing.
    profile.ints["Options/Test Note"] = 300;
    profile.ints["Options/Test Velocity"] = 0;
    ports.bytes.clear();
    app.Sound().OnPlayTestNote();
    EXPECT_EQ(ports.bytes, (Bytes{0x90, 127, 1}));
    const int writes = profile.intWrites;
    app.Sound().OnTestNoteSettings();
    EXPECT_EQ(profile.intWrites, writes);
}

TEST_F(SoundDesign, AllNotesOffAlsoEndsTheTestNote) {
    app.Sound().OnAllNotesOff();
    EXPECT_EQ(ports.bytes, (Bytes{0xB0, 0x7B, 0x00, 0xB0, 0x78, 0x00}));
    ports.bytes.clear();
    app.Sound().OnHoldTestNote();
    app.OnCommand(cmd::AllNotesOff);
    EXPECT_EQ(ports.bytes, (Bytes{0x90, 0x3C, 0x64, 0xB0, 0x7B, 0x00, 0xB0, 0x78, 0x00, 0x80, 0x3C, 0x40}));
    EXPECT_FALSE(app.Sound().IsHoldingTestNote());
    clock.Advance(1s);
    EXPECT_EQ(ports.bytes.size(), 12u);  // nothing more when the half second would have passed
}

TEST_F(SoundDesign, CompareShowsAndSendsTheOriginalThenTheEdit) {
    const Bytes original = Transmission();
    dlg.UserMovedSlider(ctl::Dco1Amp, 5);
    dlg.UserSelected(ctl::FilterType, 0);
    const Bytes edited = Transmission();
    ports.bytes.clear();
    const std::size_t steps = dlg.History().StepCount();

    app.OnCommand(cmd::EditCompare);
    EXPECT_EQ(ports.bytes, original);  // without the transmit question
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(frame.comparing);
    EXPECT_EQ(dlg.m_dco1Amp, 200);
    EXPECT_TRUE(app.IsCommandChecked(cmd::EditCompare));

    // Nothing can be changed while the original is shown; the status line says why.
    ports.bytes.clear();
    dlg.UserMovedSlider(ctl::Dco1Amp, 77);
    dlg.UserClicked(ctl::Boost);
    dlg.UserEdited(ctl::PatchName, "x");
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 200);
    EXPECT_EQ(frame.status, "The original is shown: press F2 to return to your edit.");

    app.OnCommand(cmd::EditCompare);
    // The device held the original: only what the edit changed goes back.
    EXPECT_EQ(InstrumentModel::HeldAfter({original, ports.bytes}), InstrumentModel::HeldAfter({edited}));
    EXPECT_LT(ports.bytes.size(), edited.size());
    EXPECT_FALSE(frame.comparing);
    EXPECT_EQ(frame.status, "");
    EXPECT_EQ(dlg.m_dco1Amp, 5);
    EXPECT_EQ(dlg.History().StepCount(), steps);  // compare is no edit: no step, no new mark
    EXPECT_TRUE(app.document().IsModified());

    // A command on the patch returns to the edit first: Save writes the edit, never the original shown.
    app.OnCommand(cmd::EditCompare);
    dialogs.savePaths = {dir / "edit.qnp"};
    ASSERT_TRUE(app.OnCommand(cmd::FileSaveAs));
    EXPECT_FALSE(frame.comparing);
    EditorRig reader;
    reader.dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(reader.doc.OnOpenDocument(dir / "edit.qnp"));
    EXPECT_EQ(reader.dlg.m_dco1Amp, 5);
}

TEST_F(SoundDesign, MutationMovesOnlyTheChosenSectionsAndSendsWhatChanged) {
    MutationSettings settings;
    settings.amountPercent = 30;
    settings.sections = {false, true, false, true, false, false};  // DCO1 and ENV1
    const EditFields before = dlg.CaptureFields();
    const PatchRecord texts = dlg.CaptureRecord();
    app.Sound().SetRandomSeed(42);
    dialogs.mutateAnswers = {MutationRequest{settings, false}};
    app.OnCommand(cmd::EditMutate);
    const EditFields after = dlg.CaptureFields();
    ASSERT_NE(before, after);
    EXPECT_EQ(app.CommandText(cmd::EditUndo), "&Undo Mutate");

    // Only DCO1 and ENV1 controls moved; sliders by at most 30 % of their range; names stay.
    for (std::size_t slot = 1; slot < kRecordValueCount; ++slot) {
        const int control = kSlotControls[slot];
        const std::string_view section = SectionOf(control);
        if (section != "DCO1" && section != "ENV1") {
            EXPECT_EQ(before[slot], after[slot]) << control;
        } else {
            const int range = form.Get(control).rangeMax;
            EXPECT_LE(std::abs(after[slot] - before[slot]), (range * 30 + 50) / 100) << control;
        }
    }
    EXPECT_EQ(before[0], after[0]);  // Midi Ch.
    EXPECT_EQ(dlg.m_patchName, texts.patchName);
    EXPECT_EQ(dlg.m_comment, texts.comment);

    // Sent: only the parameters whose message changed, once each, in Transmit All's order.
    std::map<int, int> sentTimes;
    const Bytes sent = ports.bytes;
    for (std::size_t i = 0; i + 5 < sent.size(); i += 6) {
        EXPECT_EQ(sent[i + 1], 16);
        ++sentTimes[sent[i + 4]];
    }
    for (const auto& [parameter, times] : sentTimes) EXPECT_EQ(times, 1) << parameter;
    ports.bytes.clear();
    dlg.TransmitAll(false);
    const Bytes whole = ports.bytes;
    // The mutation's messages are the whole transmission with the unchanged ones left out.
    std::size_t at = 0;
    for (std::size_t i = 0; i + 5 < whole.size() && at < sent.size(); i += 6)
        if (Bytes(whole.begin() + i, whole.begin() + i + 6) == Bytes(sent.begin() + at, sent.begin() + at + 6)) at += 6;
    EXPECT_EQ(at, sent.size());

    // The same seed mutates the same way; one undo puts everything back.
    ports.bytes.clear();
    dlg.Undo();
    EXPECT_EQ(dlg.CaptureFields(), before);
    EXPECT_FALSE(ports.bytes.empty());
    app.Sound().SetRandomSeed(42);
    dialogs.mutateAnswers = {MutationRequest{settings, false}};
    app.Sound().OnEditMutate();
    EXPECT_EQ(dlg.CaptureFields(), after);
}

TEST_F(SoundDesign, RandomizeStaysInRangeAndSendsOnlyMidiData) {
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
        app.Sound().SetRandomSeed(seed);
        dialogs.mutateAnswers = {MutationRequest{MutationSettings{}, true}};
        ports.bytes.clear();
        app.Sound().OnEditMutate();
        for (std::size_t i = 0; i < ports.bytes.size(); ++i)
            ASSERT_TRUE(i % 3 == 0 ? ports.bytes[i] == 0xB0 : ports.bytes[i] < 0x80)
                << "seed " << seed << " byte " << i;
        for (const ControlDef& def : FormControls()) {
            if (def.kind == ControlKind::Slider) {
                const ControlState& s = form.Get(def.id);
                ASSERT_TRUE(s.position >= s.rangeMin && s.position <= s.rangeMax) << def.id;
            }
        }
        ASSERT_EQ(app.CommandText(cmd::EditUndo), "&Undo Randomize");
    }
    // Every step undoes back to the loaded patch.
    while (dlg.CanUndo()) dlg.Undo();
    Editor loaded;
    loaded.dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(loaded.doc.OnOpenDocument(dir / "default.qnp"));
    EXPECT_EQ(dlg.CaptureFields(), loaded.dlg.CaptureFields());
}

// Over many mutations every entry of every list comes up, every slider reaches both ends of its range, and a
// control that was disabled before a mutation and still is after it keeps its value.
TEST_F(SoundDesign, MutationsReachEveryEntryAndLeaveDisabledControlsAlone) {
    std::map<int, std::set<int>> seen;
    std::map<int, std::pair<int, int>> extremes;
    int disabledKept = 0;
    const auto value = [&](const ControlDef& def) {
        const ControlState& s = form.Get(def.id);
        return def.kind == ControlKind::List ? s.selection : def.kind == ControlKind::Slider ? s.position : s.checked;
    };
    for (std::uint32_t seed = 1; seed <= 400; ++seed) {
        app.Sound().SetRandomSeed(seed);
        std::map<int, int> disabled;
        for (const ControlDef& def : FormControls())
            if (def.id != kNoId && !form.IsEnabled(def.id)) disabled[def.id] = value(def);
        MutationSettings settings;
        settings.amountPercent = seed % 2 == 0 ? 100 : 60;
        dialogs.mutateAnswers = {MutationRequest{settings, seed % 2 == 0}};
        app.OnCommand(cmd::EditMutate);
        for (const ControlDef& def : FormControls()) {
            if (def.id == kNoId) continue;
            if (def.kind == ControlKind::List) seen[def.id].insert(form.GetCurSel(def.id));
            if (def.kind == ControlKind::Slider) {
                auto [low, high] = extremes.try_emplace(def.id, 1 << 20, -1).first->second;
                extremes[def.id] = {std::min(low, form.GetPos(def.id)), std::max(high, form.GetPos(def.id))};
            }
            const auto was = disabled.find(def.id);
            if (was == disabled.end() || form.IsEnabled(def.id)) continue;
            ASSERT_EQ(value(def), was->second) << "seed " << seed << ": disabled control " << def.id << " changed";
            ++disabledKept;
        }
    }
    EXPECT_GT(disabledKept, 400);  // the walk did meet disabled controls
    for (const auto& [id, entries] : seen) {
        if (id == ctl::MidiChannel) continue;  // never mutated
        for (int entry = 0; entry < form.GetCount(id); ++entry)
            EXPECT_TRUE(entries.contains(entry)) << "list " << id << " never showed entry " << entry;
    }
    for (const auto& [id, range] : extremes) {
        EXPECT_EQ(range.first, form.Get(id).rangeMin) << "slider " << id;
        EXPECT_EQ(range.second, form.Get(id).rangeMax) << "slider " << id;
    }
}

}  // namespace
