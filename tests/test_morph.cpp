// SPDX-License-Identifier: GPL-3.0-or-later
// Morph and Variations: the blend's rule, what a move sends and what a sweep leaves at the synthesizer, Keep
// and Cancel as the history sees them, and rounds of variations that a seed repeats.
#include "InstrumentModel.h"
#include "PatchFixtures.h"

#include "app/Commands.h"
#include "app/ControllerLearn.h"
#include "app/DocumentLibraryHost.h"
#include "editor/Morph.h"
#include "editor/Variations.h"
#include "patch/PatchFile.h"

#include <cstdlib>

namespace {

using namespace std::chrono_literals;

// The hand-built patch as the form holds it once loaded: the filter word's routing follows the filter type, and
// the channel is the stored selection's.
PatchRecord PatchA() {
    PatchRecord a = DecodePatchRecord(HandBuiltRecord());
    a.filterBits = (a.filterBits & ~kFilterRoutingMask) | 0x41;
    // The stored selection, not slot 0, is the channel.
    a.valueSlots[0] = a.selections[StoredSelectionEntry(ctl::MidiChannel)];
    return a;
}

// Differs from A in sliders of both kinds, a row that follows a source in A only, lists, boxes, texts and channel.
PatchRecord PatchB() {
    PatchRecord b = PatchA();
    b.patchName = "Other";
    b.author = "Someone";
    b.valueSlots[0] = 9;
    b.valueSlots[1] = 0;     // DCO1 Amp. 200 -> 0
    b.valueSlots[4] = 30;    // DCO1 Pulsew.: A follows "En1", B its own value
    b.valueSlots[13] = 201;  // ENV1 Attack 1 -> 201
    b.valueSlots[26] = 3;    // the second cutoff 99 -> 3
    b.selections[StoredSelectionEntry(ctl::Dco1PulsewSource)] = 0;
    b.selections[StoredSelectionEntry(ctl::Dco1Wave)] = 0;
    b.selections[StoredSelectionEntry(ctl::FilterType)] = 13;
    b.selections[StoredSelectionEntry(ctl::MidiChannel)] = 9;
    b.switchBits = 0x02;
    b.filterBits = 0x13 | 0x04;
    return b;
}

// B as a morph ends on it: A's texts and channel.
PatchRecord PatchBWithTextsOfA() {
    PatchRecord b = PatchB();
    const PatchRecord a = PatchA();
    b.patchName = a.patchName;
    b.author = a.author;
    b.comment = a.comment;
    b.valueSlots[0] = a.valueSlots[0];
    b.selections[StoredSelectionEntry(ctl::MidiChannel)] = a.selections[StoredSelectionEntry(ctl::MidiChannel)];
    return b;
}

void WritePatch(const std::string& path, const PatchRecord& record) {
    WriteAll(path, EncodePatchFile(kPatchVersion, [&](std::span<std::uint8_t> r) { EncodePatchRecord(record, r); }));
}

// What Transmit All of a patch sends, on a form of its own.
Bytes TransmissionOf(const PatchRecord& record) {
    Editor e;
    e.dlg.FillFromRecord(record);
    e.ports.bytes.clear();
    e.dlg.TransmitAll(false);
    return e.ports.bytes;
}

InstrumentModel::Parameters Holds(const Bytes& bytes) {
    InstrumentModel synth;
    synth.Take(bytes);
    return synth.parameters;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Every page select is followed at once by the parameter it is for.
bool PairsWhole(const Bytes& bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const bool page = bytes[i + 1] == 16;
        if (page != (i / 3 % 2 == 0)) return false;
    }
    return bytes.size() % 6 == 0;
}

TEST(MorphBlend, SlidersMoveLinearlyAndListsBoxesAndSourceRowsSwitchAtTheMiddle) {
    const PatchRecord a = PatchA(), b = PatchB();
    EXPECT_EQ(BlendPatches(a, b, 0), a);
    EXPECT_EQ(BlendPatches(a, b, 1000), PatchBWithTextsOfA());
    EXPECT_EQ(BlendPatches(a, b, -5), a);
    EXPECT_EQ(BlendPatches(a, b, 1200), PatchBWithTextsOfA());

    // To the nearest value, a half away from A: the same values on the way there and back.
    EXPECT_EQ(BlendValue(0, 1, 499), 0);
    EXPECT_EQ(BlendValue(0, 1, 500), 1);
    EXPECT_EQ(BlendValue(1, 0, 500), 0);
    EXPECT_EQ(BlendValue(0, 255, 1), 0);
    EXPECT_EQ(BlendValue(0, 255, 2), 1);
    EXPECT_EQ(BlendValue(255, 0, 2), 254);
    EXPECT_EQ(BlendValue(200, 0, 250), 150);

    const PatchRecord below = BlendPatches(a, b, 499), middle = BlendPatches(a, b, 500);
    EXPECT_EQ(below.selections, a.selections);
    EXPECT_EQ(std::tie(below.switchBits, below.filterBits), std::tie(a.switchBits, a.filterBits));
    EXPECT_EQ(middle.selections, PatchBWithTextsOfA().selections);
    EXPECT_EQ(std::tie(middle.switchBits, middle.filterBits), std::tie(b.switchBits, b.filterBits));
    EXPECT_EQ(std::make_pair(below.valueSlots[1], middle.valueSlots[1]), std::make_pair(100, 100));
    EXPECT_EQ(std::make_pair(below.valueSlots[13], middle.valueSlots[13]), std::make_pair(101, 101));
    // A row that follows a source in either patch does not blend: its value goes with its source list.
    EXPECT_EQ(std::make_pair(below.valueSlots[4], middle.valueSlots[4]), std::make_pair(64, 30));
    EXPECT_EQ(middle.patchName, a.patchName);
}

// The application on the hand-built patch, sent whole so that the synthesizer holds it, and B in a file.
struct Morph : ::testing::Test, StartedRig {
    Bytes heard;  // everything the synthesizer was sent since it held A
    std::string bPath;

    void SetUp() override {
        StartApp();
        dlg.TransmitAll(false);
        bPath = dir / "b.qnp";
        WritePatch(bPath, PatchB());
    }
    Bytes Take() {
        heard.insert(heard.end(), ports.bytes.begin(), ports.bytes.end());
        return std::exchange(ports.bytes, {});
    }
    MorphSession& Open() {
        Take();
        app.OnCommand(cmd::EditMorph);
        MorphSession* morph = app.Sound().Morph();
        EXPECT_NE(morph, nullptr);
        return *morph;
    }
    // What Transmit All sends of the form now, without sending it.
    Bytes FormShows() {
        const PatchRecord shown = dlg.CaptureRecord();
        return TransmissionOf(shown);
    }
};

TEST_F(Morph, TheFormAndTheSynthesizerFollowTheBlendFromAToB) {
    MorphSession& morph = Open();
    EXPECT_EQ(frame.events.back(), "show morph");
    EXPECT_EQ(morph.LoadPatchB(bPath), std::nullopt);
    EXPECT_EQ(morph.PatchBName(), "Other");
    // At 0 the blend is A: nothing to send.
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(FormShows(), TransmissionOf(PatchA()));

    for (int position : {499, 500, 1000, 0, 1000}) {
        morph.SetPosition(position);
        Take();
        EXPECT_EQ(FormShows(), TransmissionOf(BlendPatches(PatchA(), PatchB(), position))) << position;
        EXPECT_EQ(Holds(heard), Holds(FormShows())) << position;
    }
    EXPECT_EQ(FormShows(), TransmissionOf(PatchB()));
    EXPECT_TRUE(PairsWhole(heard));
    // The lists switched at the middle, not before.
    morph.SetPosition(499);
    EXPECT_EQ(form.GetCurSel(ctl::FilterType), 3);
    morph.SetPosition(500);
    EXPECT_EQ(form.GetCurSel(ctl::FilterType), 13);
}

TEST_F(Morph, AMoveSendsOnlyTheParametersItChanged) {
    MorphSession& morph = Open();
    PatchRecord b = PatchA();
    b.valueSlots[13] = 201;  // ENV1 Attack, parameter 108
    morph.SetPatchB(b, "Attack");
    EXPECT_TRUE(Take().empty());
    morph.SetPosition(1000);
    EXPECT_EQ(Take(), CC({{16, 2}, {108, 73}}));
    morph.SetPosition(999);  // still 201
    EXPECT_TRUE(Take().empty());
    morph.SetPosition(500);
    EXPECT_EQ(Take(), CC({{16, 1}, {108, 101}}));
    // Another B at the same position: the blend with it, again only what differs.
    b.valueSlots[13] = 1;
    b.valueSlots[14] = 202;  // ENV1 Decay, parameter 110
    morph.SetPatchB(b, "Decay");
    EXPECT_EQ(Take(), CC({{16, 1}, {108, 1}, {16, 1}, {110, 102}}));
    EXPECT_EQ(morph.Position(), 500);
}

TEST_F(Morph, AKnobLearnedToTheMorphSweepsItAndStaysLearnedWithNoMorphOpen) {
    ControllerLearn& learn = app.Controllers();
    std::string what;
    learn.BeginLearn(kMorphPositionTarget);
    ASSERT_TRUE(learn.OnInputControlChange(0, 1, 0, 0, what));  // the modulation wheel
    EXPECT_EQ(learn.BindingOf(kMorphPositionTarget)->controller, 1);
    // No morph open: the wheel is not taken (it passes through as an unlearned one, for its vibrato) and
    // moves nothing of the program's.
    Take();
    EXPECT_FALSE(learn.OnInputControlChange(0, 1, 127, 0, what));
    EXPECT_TRUE(Take().empty());

    MorphSession& morph = Open();
    morph.SetPatchB(PatchB(), "Other");
    Take();
    learn.OnInputControlChange(0, 1, 127, 0, what);
    EXPECT_EQ(morph.Position(), 1000);
    EXPECT_EQ(what, "CC 1 → Morph position = 100.0 % B");  // as the morph window shows it
    Take();
    EXPECT_EQ(FormShows(), TransmissionOf(PatchB()));
    EXPECT_EQ(Holds(heard), Holds(FormShows()));
    learn.OnInputControlChange(0, 1, 90, 0, what);
    EXPECT_EQ(what, "CC 1 → Morph position = 70.3 % B");
    EXPECT_EQ(MorphPositionText(morph.Position()), "70.3 % B");
    learn.OnInputControlChange(0, 1, 0, 0, what);
    EXPECT_EQ(morph.Position(), 0);
    Take();
    EXPECT_EQ(Holds(heard), Holds(TransmissionOf(PatchA())));

    // The binding is kept in the profile and read back before any morph opens.
    EditorRig next;
    next.profile = profile;
    next.app.Controllers().Load();
    ASSERT_TRUE(next.app.Controllers().BindingOf(kMorphPositionTarget));
    EXPECT_EQ(next.app.Controllers().BindingOf(kMorphPositionTarget)->controller, 1);
}

TEST_F(Morph, KeepIsOneUndoStepAndCancelPutsABackWithoutOne) {
    const std::size_t steps = dlg.History().StepCount();
    MorphSession& morph = Open();
    ASSERT_EQ(morph.LoadPatchB(bPath), std::nullopt);
    // The entry point a learned controller calls moves the morph as the slider does.
    EXPECT_TRUE(app.Sound().SetMorphPosition(700));
    EXPECT_EQ(morph.Position(), 700);
    // While the blend is shown the form takes no edit, Compare waits, and the patch is still A.
    dlg.UserMovedSlider(ctl::Env1Attack, 5);
    EXPECT_EQ(frame.status, "The morph is shown: Keep or Cancel it in the Morph window.");
    EXPECT_FALSE(app.IsCommandEnabled(cmd::EditCompare));
    EXPECT_EQ(app.Sound().Edit(), PatchA());
    EXPECT_FALSE(doc.IsModified());

    app.Sound().EndMorph(true);
    EXPECT_EQ(frame.events.back(), "close morph");
    EXPECT_EQ(app.Sound().Morph(), nullptr);
    EXPECT_FALSE(app.Sound().SetMorphPosition(10));
    EXPECT_EQ(dlg.CaptureRecord(), BlendPatches(PatchA(), PatchB(), 700));
    EXPECT_EQ(dlg.History().StepCount(), steps + 1);
    EXPECT_EQ(dlg.UndoName(), "Morph");
    EXPECT_TRUE(doc.IsModified());
    Take();
    EXPECT_EQ(Holds(heard), Holds(FormShows()));
    app.OnCommand(cmd::EditUndo);
    Take();
    EXPECT_EQ(dlg.CaptureRecord(), PatchA());
    EXPECT_EQ(Holds(heard), Holds(TransmissionOf(PatchA())));

    // A command on the patch that is cancelled (Mutate, answered Cancel) leaves the morph where it was.
    app.OnCommand(cmd::EditRedo);
    const std::size_t before = dlg.History().StepCount();
    const PatchRecord patch = dlg.CaptureRecord();
    MorphSession& again = Open();
    again.SetPatchB(PatchB(), "Other");
    again.SetPosition(300);
    again.SetPosition(900);
    app.OnCommand(cmd::EditMutate);
    EXPECT_EQ(app.Sound().Morph(), &again);
    EXPECT_EQ(again.Position(), 900);
    EXPECT_EQ(frame.events.back(), "show morph");
    Take();
    EXPECT_EQ(dlg.CaptureRecord(), BlendPatches(patch, PatchB(), 900));
    EXPECT_EQ(Holds(heard), Holds(FormShows()));
    EXPECT_TRUE(dlg.IsReadOnly());
    // One that goes ahead cancels it first: A back on the form and at the synthesizer, no step of its own.
    app.OnCommand(cmd::EditUndo);
    EXPECT_EQ(app.Sound().Morph(), nullptr);
    EXPECT_EQ(frame.events.back(), "close morph");
    Take();
    EXPECT_EQ(dlg.CaptureRecord(), PatchA());
    EXPECT_EQ(Holds(heard), Holds(FormShows()));
    EXPECT_EQ(dlg.History().StepCount(), before);
    EXPECT_FALSE(dlg.IsReadOnly());
}

TEST_F(Morph, APatchBThatCannotBeReadIsNamedWithWhyAndChangesNothing) {
    MorphSession& morph = Open();
    const std::string bad = dir / "bad.qnp";
    WriteAll(bad, Bytes(kPatchFileSize, 'x'));
    EXPECT_EQ(morph.LoadPatchB(bad), "Patch B could not be read from " + bad + ": Not a QuarnEdit Patch.");
    WriteAll(bad, Bytes{'Q', 'N', 'P', 0});
    EXPECT_EQ(morph.LoadPatchB(bad), "Patch B could not be read from " + bad + ": Couldn't read from input file.");
    // Short and not even beginning as a patch (a text): told as Open tells a file that is no patch. Too short to
    // tell, it is a file that could not be read.
    WriteAll(bad, Bytes{'q', 'n', 'p', '\n'});
    EXPECT_EQ(morph.LoadPatchB(bad), "Patch B could not be read from " + bad + ": Not a QuarnEdit Patch.");
    for (const Bytes& tooShort : {Bytes{}, Bytes{'Q', 'N'}, Bytes{'x', 'y'}}) {
        WriteAll(bad, tooShort);
        EXPECT_EQ(morph.LoadPatchB(bad), "Patch B could not be read from " + bad + ": Couldn't read from input file.");
    }
    const Bytes newer = HandBuiltFile(1);
    WriteAll(bad, newer);
    EXPECT_EQ(morph.LoadPatchB(bad), "Patch B could not be read from " + bad + ": Unknown Patch Version.");
    const std::string missing = dir / "missing.qnp";
    EXPECT_EQ(morph.LoadPatchB(missing), "Patch B could not be read from " + missing + ": Couldn't open input file.");
    EXPECT_FALSE(morph.HasPatchB());
    morph.SetPosition(1000);
    EXPECT_EQ(morph.Position(), 0);
    EXPECT_TRUE(Take().empty());
}

// The application on a pacer that sends only when told: the wire is as slow as the test says.
struct PacedRig : AppOn<RecordingPorts, ManualPacer> {
    PacedRig() {
        dlg.OnInitialUpdate();
        app.CreatePortSink().OpenDevice(0);
        const ScopedMute mute(app);
        dlg.FillFromRecord(PatchA());
    }
};

TEST(MorphSweep, AFastSweepDropsOnlyPassedValuesAndEndsExactlyOnTheLast) {
    PacedRig rig;
    rig.dlg.TransmitAll(false);
    rig.pacer.Drain();
    Bytes heard = std::exchange(rig.ports.bytes, {});
    rig.app.Sound().OnEditMorph();
    MorphSession& morph = *rig.app.Sound().Morph();
    morph.SetPatchB(PatchB(), "Other");

    // All of a sweep while nothing leaves: the queue holds each parameter once at most.
    std::size_t most = 0;
    for (int p = 0; p <= 1000; ++p) {
        morph.SetPosition(p);
        most = std::max(most, rig.pacer.served->Size());
    }
    EXPECT_LE(most, 2u * CMainDlg::kTransmitAllMessages);
    rig.pacer.Drain();
    EXPECT_TRUE(PairsWhole(rig.ports.bytes));
    EXPECT_LE(rig.ports.bytes.size(), 3u * 2 * CMainDlg::kTransmitAllMessages);
    heard.insert(heard.end(), rig.ports.bytes.begin(), rig.ports.bytes.end());
    EXPECT_EQ(Holds(heard), Holds(TransmissionOf(PatchB())));

    // Back, the wire taking a pair every 4 ms while the slider moves a step every 1 ms; then Cancel at the end.
    rig.ports.bytes.clear();
    for (int p = 1000; p >= 0; --p) {
        morph.SetPosition(p);
        rig.pacer.Advance(1ms);
    }
    rig.pacer.Drain();
    EXPECT_TRUE(PairsWhole(rig.ports.bytes));
    heard.insert(heard.end(), rig.ports.bytes.begin(), rig.ports.bytes.end());
    EXPECT_EQ(Holds(heard), Holds(TransmissionOf(PatchA())));
    morph.SetPosition(640);
    rig.app.Sound().EndMorph(false);
    rig.pacer.Drain();
    heard.insert(heard.end(), rig.ports.bytes.begin(), rig.ports.bytes.end());
    EXPECT_TRUE(PairsWhole(rig.ports.bytes));
    EXPECT_EQ(Holds(heard), Holds(TransmissionOf(PatchA())));
}

// ---- variations ---------------------------------------------------------------------------------

TEST(VariationsOnTheWire, AnAuditionGivesWayToTheNextAndClosingSendsWhatDiffersFromThePatch) {
    PacedRig rig;
    rig.app.Sound().SetRandomSeed(5);
    rig.app.Sound().OnEditVariations();
    VariationSession& v = *rig.app.Sound().Variations();
    v.Audition(0);
    rig.pacer.Advance(0us);  // the first page select leaves; its parameter stays with it
    v.Audition(1);
    rig.pacer.Drain();
    const Bytes first = TransmissionOf(v.Variations()[0]);
    EXPECT_EQ(rig.ports.bytes, Concat(Bytes(first.begin(), first.begin() + 6), TransmissionOf(v.Variations()[1])));
    const Bytes heard = rig.ports.bytes;
    rig.ports.bytes.clear();
    v.Audition(2);
    rig.app.Sound().EndVariations(false);
    rig.pacer.Drain();
    // Variation 2 never left: it gave way, and only what variation 1 changed goes back.
    EXPECT_LT(rig.ports.bytes.size(), TransmissionOf(PatchA()).size());
    EXPECT_EQ(Holds(Concat(heard, rig.ports.bytes)), Holds(TransmissionOf(PatchA())));
}

struct Variations : Morph {
    VariationSession& OpenVariations(std::uint32_t seed) {
        Take();
        app.Sound().SetRandomSeed(seed);
        app.OnCommand(cmd::EditVariations);
        VariationSession* v = app.Sound().Variations();
        EXPECT_NE(v, nullptr);
        return *v;
    }
};

// The farthest any slider of `record` lies outside the values between `low` and `high`.
int Reach(const PatchRecord& record, const PatchRecord& low, const PatchRecord& high) {
    int most = 0;
    for (std::size_t s = 1; s < kRecordValueCount; ++s) {
        const int lo = std::min(low.valueSlots[s], high.valueSlots[s]);
        const int hi = std::max(low.valueSlots[s], high.valueSlots[s]);
        most = std::max({most, lo - record.valueSlots[s], record.valueSlots[s] - hi});
    }
    return most;
}

TEST_F(Variations, ASeedRepeatsTheRoundsAndBreedStaysNearTheChosen) {
    const VariationSession::Round first = OpenVariations(7).Variations();
    EXPECT_EQ(frame.events.back(), "show variations");
    app.Sound().EndVariations(false);
    VariationSession& v = OpenVariations(7);
    EXPECT_EQ(v.Variations(), first);
    std::set<std::string> distinct;
    for (const PatchRecord& r : first) {
        EXPECT_NE(r, PatchA());
        EXPECT_LE(Reach(r, PatchA(), PatchA()), 26);  // 10 % of 255, rounded
        Bytes image(kRecordSize);
        EncodePatchRecord(r, image);
        distinct.insert(std::string(image.begin(), image.end()));
    }
    EXPECT_EQ(distinct.size(), kVariationCount);

    // An audition sends the variation whole and the form shows it; the patch is still the one there was.
    EXPECT_FALSE(v.Breed());
    v.Audition(2);
    EXPECT_EQ(Take(), TransmissionOf(first[2]));
    EXPECT_EQ(dlg.CaptureRecord(), SoundIn(first[2], PatchA()));
    EXPECT_EQ(app.Sound().Edit(), PatchA());
    EXPECT_FALSE(app.IsCommandEnabled(cmd::EditCompare));
    ASSERT_TRUE(v.Breed());
    EXPECT_EQ(v.RoundNumber(), 2u);
    EXPECT_EQ(v.Chosen(), std::nullopt);
    for (const PatchRecord& r : v.Variations()) EXPECT_LE(Reach(r, first[2], first[2]), 26);

    // Between two chosen: blends of them, mutated.
    v.Audition(1);
    v.AuditionSecond(6);
    EXPECT_EQ(std::make_pair(v.Chosen(), v.Second()),
              std::make_pair(std::optional<std::size_t>(1), std::optional<std::size_t>(6)));
    const VariationSession::Round second = v.Variations();
    ASSERT_TRUE(v.Breed());
    for (const PatchRecord& r : v.Variations()) EXPECT_LE(Reach(r, second[1], second[6]), 26);

    // Back to the round before, its choices with it; not before the first.
    EXPECT_TRUE(v.Back());
    EXPECT_EQ(v.Variations(), second);
    EXPECT_EQ(v.Second(), std::optional<std::size_t>(6));
    EXPECT_TRUE(v.Back());
    EXPECT_EQ(v.Variations(), first);
    EXPECT_EQ(v.Chosen(), std::optional<std::size_t>(2));
    EXPECT_FALSE(v.Back());

    app.Sound().EndVariations(false);
    VariationSession& other = OpenVariations(8);
    EXPECT_NE(other.Variations(), first);
}

// What the synthesizer plays is what the form shows and what Keep keeps: a knob or a click during an audition is
// refused as the morph refuses it, Back sends the round's pick again, and Keep takes the last heard of two.
TEST_F(Variations, WhatIsHeardIsWhatTheFormShowsAndWhatKeepKeeps) {
    ControllerLearn& learn = app.Controllers();
    std::string what;
    learn.BeginLearn(ctl::Dco1Amp);
    ASSERT_TRUE(learn.OnInputControlChange(0, 74, 0, 0, what));
    doc.SetModifiedFlag(false);  // the binding message moved DCO1 Amp.: the patch as saved from here
    const std::size_t steps = dlg.History().StepCount();
    VariationSession& v = OpenVariations(5);
    const VariationSession::Round first = v.Variations();
    v.Audition(1);
    const PatchRecord two = dlg.CaptureRecord();
    EXPECT_EQ(two, SoundIn(first[1], PatchA()));
    // A learned knob and a click: both refused, nothing sent, the form still variation 2.
    Take();
    learn.OnInputControlChange(0, 74, 20, 0, what);
    EXPECT_EQ(what, "CC 74 → DCO1 Amp. (refused: a variation is shown)");
    dlg.UserMovedSlider(ctl::Dco1Octave, 7);
    EXPECT_EQ(frame.status, "A variation is shown: Keep or Close it in the Variations window.");
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(dlg.CaptureRecord(), two);
    EXPECT_EQ(Holds(heard), Holds(FormShows()));
    EXPECT_FALSE(doc.IsModified());

    // Two chosen, then a round more; Back plays the last heard of the round before (5), not round 2's 7.
    v.Audition(2);
    v.AuditionSecond(4);
    EXPECT_EQ(v.HeardNow(), (VariationSession::Heard{1, 4}));
    ASSERT_TRUE(v.Breed());
    EXPECT_EQ(v.HeardNow(), (VariationSession::Heard{1, 4}));
    v.Audition(6);
    Take();
    EXPECT_EQ(Holds(heard), Holds(TransmissionOf(v.Variations()[6])));
    ASSERT_TRUE(v.Back());
    Take();
    EXPECT_EQ(v.HeardNow(), (VariationSession::Heard{1, 4}));
    EXPECT_EQ(dlg.CaptureRecord(), SoundIn(first[4], PatchA()));
    EXPECT_EQ(Holds(heard), Holds(FormShows()));

    // Keep: the last heard of the two (5), not the first chosen (3).
    app.Sound().EndVariations(true);
    Take();
    EXPECT_EQ(dlg.CaptureRecord(), SoundIn(first[4], PatchA()));
    EXPECT_EQ(Holds(heard), Holds(FormShows()));
    EXPECT_FALSE(dlg.IsReadOnly());
    EXPECT_EQ(dlg.History().StepCount(), steps + 1);
    EXPECT_EQ(dlg.UndoName(), "Variation");
    EXPECT_TRUE(doc.IsModified());
    // The knob moves the patch again.
    learn.OnInputControlChange(0, 74, 20, 0, what);
    EXPECT_EQ(dlg.m_dco1Amp, 40);
}

TEST_F(Variations, KeepIsOneUndoStepAndClosingSendsThePatchBack) {
    const std::size_t steps = dlg.History().StepCount();
    VariationSession& v = OpenVariations(3);
    EXPECT_FALSE(v.Keep());  // nothing heard yet
    v.Audition(5);
    v.Audition(3);
    const PatchRecord chosen = v.Variations()[3];
    app.Sound().EndVariations(false);
    EXPECT_EQ(frame.events.back(), "close variations");
    Take();
    EXPECT_EQ(dlg.CaptureRecord(), PatchA());
    EXPECT_EQ(Holds(heard), Holds(TransmissionOf(PatchA())));
    EXPECT_EQ(dlg.History().StepCount(), steps);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_FALSE(dlg.IsReadOnly());

    // A name and a channel given before stay: Keep takes the variation's sound into the patch there is.
    dlg.UserEdited(ctl::PatchName, "Renamed");
    dlg.UserEndedGesture(ctl::PatchName);
    dlg.UserSelected(ctl::MidiChannel, 6);
    const std::size_t named = dlg.History().StepCount();
    VariationSession& again = OpenVariations(3);
    EXPECT_EQ(SoundIn(again.Variations()[3], chosen), chosen);  // the same seed, the same sounds
    again.Audition(3);
    // The channel cannot change meanwhile.
    dlg.UserSelected(ctl::MidiChannel, 2);
    EXPECT_EQ(form.GetCurSel(ctl::MidiChannel), 6);
    app.Sound().EndVariations(true);
    Take();
    PatchRecord renamed = chosen;
    renamed.patchName = "Renamed";
    renamed.valueSlots[0] = 6;
    renamed.selections[StoredSelectionEntry(ctl::MidiChannel)] = 6;
    EXPECT_EQ(dlg.CaptureRecord(), renamed);
    EXPECT_EQ(Holds(heard), Holds(TransmissionOf(chosen)));
    EXPECT_EQ(dlg.History().StepCount(), named + 1);
    EXPECT_EQ(dlg.UndoName(), "Variation");
    EXPECT_TRUE(doc.IsModified());
    app.OnCommand(cmd::EditUndo);
    app.OnCommand(cmd::EditUndo);
    app.OnCommand(cmd::EditUndo);
    EXPECT_EQ(dlg.CaptureRecord(), PatchA());

    // Opening the morph ends the variations, and the other way round.
    OpenVariations(4).Audition(0);
    app.OnCommand(cmd::EditMorph);
    EXPECT_EQ(app.Sound().Variations(), nullptr);
    Take();
    EXPECT_EQ(Holds(heard), Holds(TransmissionOf(PatchA())));
    app.OnCommand(cmd::EditVariations);
    EXPECT_EQ(app.Sound().Morph(), nullptr);
}

// A command that would replace the patch asks its save question with the patch on the form and at the
// synthesizer; Cancel brings the morph or the variations back where they were, windows and all.
TEST_F(Variations, ACancelledCommandLeavesTheMorphAndTheVariationsWhereTheyWere) {
    dlg.UserMovedSlider(ctl::Env1Attack, 99);  // modified: New, Open and Exit ask
    const PatchRecord patch = dlg.CaptureRecord();
    WritePatch((dir / "recent.qnp"), PatchB());
    profile.recent = {dir / "recent.qnp"};
    app.Work().LoadRecentFiles();
    const std::vector<std::pair<const char*, std::function<void()>>> commands{
        {"New", [&] { app.OnCommand(cmd::FileNew); }},
        {"Open", [&] { app.OnCommand(cmd::FileOpen); }},
        {"recent file", [&] { app.OnCommand(cmd::FirstRecentFile); }},
        {"Exit", [&] { EXPECT_FALSE(app.QueryEndSession()); }},
        {"library", [&] { EXPECT_FALSE(app.Library().OpenPatch((dir / "recent.qnp"))); }},
        {"Mutate", [&] { app.OnCommand(cmd::EditMutate); }},
    };
    for (const auto& [name, command] : commands) {
        VariationSession& v = OpenVariations(9);
        v.Audition(4);
        ASSERT_TRUE(v.Breed());
        v.Audition(1);
        const PatchRecord shown = dlg.CaptureRecord();
        // The question is asked about the patch, which the form and the synthesizer hold while it is up.
        dialogs.onMessage = [&](const MessageRequest&) {
            EXPECT_EQ(dlg.CaptureRecord(), patch) << name;
            EXPECT_FALSE(dlg.IsReadOnly()) << name;
            Take();
            EXPECT_EQ(Holds(heard), Holds(TransmissionOf(patch))) << name;
        };
        const std::size_t messages = dialogs.messages.size();
        command();  // the save question answered Cancel, or the dialog cancelled
        dialogs.onMessage = nullptr;
        EXPECT_TRUE(std::string(name) == "Mutate" || dialogs.messages.size() == messages + 1) << name;
        ASSERT_EQ(app.Sound().Variations(), &v) << name;
        EXPECT_EQ(v.RoundNumber(), 2u) << name;
        EXPECT_EQ(v.HeardNow(), (VariationSession::Heard{2, 1})) << name;
        EXPECT_EQ(frame.events.back(), "show variations") << name;
        EXPECT_EQ(dlg.CaptureRecord(), shown) << name;
        EXPECT_TRUE(dlg.IsReadOnly()) << name;
        Take();
        EXPECT_EQ(Holds(heard), Holds(FormShows())) << name;
        app.Sound().EndVariations(false);

        MorphSession& morph = Open();
        morph.SetPatchB(PatchB(), "Other");
        morph.SetPosition(640);
        command();
        ASSERT_EQ(app.Sound().Morph(), &morph) << name;
        EXPECT_EQ(morph.Position(), 640) << name;
        EXPECT_EQ(frame.events.back(), "show morph") << name;
        EXPECT_EQ(dlg.CaptureRecord(), BlendPatches(patch, PatchB(), 640)) << name;
        EXPECT_TRUE(dlg.IsReadOnly()) << name;
        Take();
        EXPECT_EQ(Holds(heard), Holds(FormShows())) << name;
        app.Sound().EndMorph(false);
    }

    // Its window closed while the question was up: the variations do not come back.
    OpenVariations(9).Audition(2);
    dialogs.onMessage = [&](const MessageRequest&) { app.Sound().EndVariations(false); };
    app.OnCommand(cmd::FileNew);
    dialogs.onMessage = nullptr;
    EXPECT_EQ(app.Sound().Variations(), nullptr);
    EXPECT_EQ(frame.events.back(), "close variations");
    EXPECT_EQ(dlg.CaptureRecord(), patch);
    EXPECT_FALSE(dlg.IsReadOnly());

    // Answered No, the command goes ahead: the variations end, their window closes, the file opens.
    OpenVariations(9).Audition(3);
    dialogs.answers.push_back(MessageAnswer::No);
    app.OnCommand(cmd::FirstRecentFile);
    EXPECT_EQ(app.Sound().Variations(), nullptr);
    EXPECT_EQ(frame.events.back(), "close variations");
    EXPECT_FALSE(dlg.IsReadOnly());
    EXPECT_EQ(dlg.CaptureRecord(), PatchB());
}

// The B of the morph before is offered again when a morph opens, at A's end: nothing changes until the slider
// moves.
TEST_F(Variations, TheMorphOffersItsLastPatchBAgain) {
    MorphSession& morph = Open();
    ASSERT_EQ(morph.LoadPatchB(bPath), std::nullopt);
    morph.SetPosition(300);
    app.Sound().EndMorph(false);
    Take();
    MorphSession& again = Open();
    ASSERT_TRUE(again.HasPatchB());
    EXPECT_EQ(again.PatchBPath(), bPath);
    EXPECT_EQ(again.PatchBName(), "Other");
    EXPECT_EQ(again.Position(), 0);
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(dlg.CaptureRecord(), PatchA());
    again.SetPosition(1000);
    EXPECT_EQ(dlg.CaptureRecord(), PatchBWithTextsOfA());
}

}  // namespace
