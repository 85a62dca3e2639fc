// SPDX-License-Identifier: GPL-3.0-or-later
// The synthesizer agrees with the form through device faults: a device that goes and comes back, one reopened or
// switched to by hand, a morph moved while the device was gone, and notes left sounding on a device left behind.
// Every check compares the instrument modelled from the bytes a device got with a fresh Transmit All of the form.
#include "AppFixture.h"
#include "InstrumentModel.h"

#include "app/Commands.h"
#include "editor/Morph.h"

namespace {

struct AgreementTest : AppTest {
    // The instrument as a fresh Transmit All of the form would leave it.
    InstrumentModel FormWouldSet() {
        const Bytes before = ports.bytes;
        const std::map<int, Bytes> beforeByPort = ports.byPort;
        ports.bytes.clear();
        app.form().TransmitAll(false);
        InstrumentModel model;
        model.Take(ports.bytes);
        ports.bytes = before;
        ports.byPort = beforeByPort;
        return model;
    }
    InstrumentModel Heard(int port) {
        InstrumentModel model;
        model.Take(ports.byPort[port]);
        return model;
    }
    void Lose() { app.Devices().OnMidiPortsChanged(MidiPortChange::OpenDeviceLost); }
    void ComeBack() {
        ports.opens = {true, true};
        app.Devices().OnMidiPortsChanged(MidiPortChange::ListChanged);
    }
};

TEST_F(AgreementTest, ADeviceThatComesBackGetsTheWholePatchAfterItsNoticeEveryTime) {
    ASSERT_TRUE(Start());
    for (const bool edit : {false, true}) {
        Lose();
        if (edit) app.form().UserMovedSlider(ctl::Dco1Amp, 77);
        dialogs.messages.clear();
        ports.bytes.clear();
        ComeBack();
        EXPECT_EQ(frame.status, "Port A is back: changes are sent to it again.");
        EXPECT_TRUE(dialogs.messages.empty());  // no question
        const Bytes resent = ports.bytes;
        ports.bytes.clear();
        app.form().TransmitAll(false);
        EXPECT_EQ(resent, ports.bytes) << edit;
    }
}

TEST_F(AgreementTest, AMorphMovedWhileTheDeviceWasGoneIsHeardOnceItIsBack) {
    ASSERT_TRUE(Start());
    app.form().TransmitAll(false);
    app.OnCommand(cmd::EditMorph);
    MorphSession* morph = app.Sound().Morph();
    ASSERT_NE(morph, nullptr);
    PatchRecord b = morph->PatchA();
    b.valueSlots[13] = 201;  // ENV1 Attack
    morph->SetPatchB(b, "Attack");
    Lose();
    morph->SetPosition(1000);
    ComeBack();
    app.Sound().EndMorph(true);
    EXPECT_EQ(Heard(0).parameters, FormWouldSet().parameters);
}

TEST_F(AgreementTest, ADeviceReopenedByHandAfterALossGetsWhatWasDropped) {
    ASSERT_TRUE(Start());
    Lose();
    app.form().UserMovedSlider(ctl::Dco1Amp, 150);
    ports.opens = {false, true};  // the automatic reopen fails
    app.Devices().OnMidiPortsChanged(MidiPortChange::ListChanged);
    ASSERT_TRUE(app.Devices().IsDeviceLost());
    ports.opens = {true, true};
    dialogs.deviceAnswers = {0};  // the user picks the same device, closed as it is
    app.Devices().OnOutputDevice();
    EXPECT_EQ(ports.openIndex, 0);
    EXPECT_EQ(Heard(0).parameters, FormWouldSet().parameters);
}

TEST_F(AgreementTest, ASwitchEndsTheNotesAndPedalTheOldDeviceHoldsAndTheNewOneGetsThePatch) {
    ASSERT_TRUE(Start());
    MidiPortSink& sink = app.CreatePortSink();
    sink.SendAhead(0x90, 62, 100);  // played through
    sink.SendAhead(0xB0, 64, 127);  // the pedal down
    app.Sound().OnHoldTestNote();
    ports.byPort.clear();
    dialogs.deviceAnswers = {1};
    app.Devices().OnOutputDevice();
    ASSERT_EQ(ports.openIndex, 1);
    const Bytes& a = ports.byPort[0];
    // The test note first (its own note-off), then what the input left sounding.
    ASSERT_GE(a.size(), 9u);
    EXPECT_EQ(Bytes(a.end() - 6, a.end()), (Bytes{0x80, 62, 0x40, 0xB0, 64, 0}));
    EXPECT_EQ(Heard(1).parameters, FormWouldSet().parameters);
    // Played on the new device, the note ends there.
    sink.SendAhead(0x80, 62, 0);
    EXPECT_EQ(Bytes(ports.byPort[1].end() - 3, ports.byPort[1].end()), (Bytes{0x80, 62, 0}));
}

TEST_F(AgreementTest, TheCurrentDevicesNameChosenWhileItIsClosedOpensIt) {
    ASSERT_TRUE(Start());
    Lose();
    ports.opens = {false, true};
    app.Devices().OnMidiPortsChanged(MidiPortChange::ListChanged);
    ports.opens = {true, true};
    ports.byPort.clear();
    dialogs.deviceAnswers = {0};
    app.Devices().OnOutputDevice();
    EXPECT_EQ(ports.openIndex, 0);
    EXPECT_FALSE(app.Devices().IsDeviceLost());
    EXPECT_EQ(Heard(0).parameters, FormWouldSet().parameters);
}

}  // namespace
