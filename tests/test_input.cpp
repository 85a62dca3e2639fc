// SPDX-License-Identifier: GPL-3.0-or-later
// The input device: what is made of a device's bytes, what passes on to the synthesizer and where, the
// device kept in the profile and followed through hot-plug, and what the MIDI monitor shows.
#include "AppFixture.h"

#include "app/Commands.h"
#include "app/ControllerInput.h"
#include "app/InputDeviceSession.h"
#include "app/MidiMonitor.h"
#include "midi/MidiInParser.h"
#include "midi/MidiSendQueue.h"

namespace {

std::vector<ChannelMessage> Parse(MidiInParser& parser, const Bytes& bytes) {
    std::vector<ChannelMessage> out;
    parser.Feed(bytes, out);
    return out;
}

TEST(MidiInParserTest, RunningStatusSplitsRealTimeSysExAndGarbage) {
    MidiInParser parser;
    // Garbage before any status, then a note with running status for the second.
    EXPECT_EQ(Parse(parser, {0x3C, 0x40, 0x91, 0x3C, 0x64, 0x3E, 0x00}),
              (std::vector<ChannelMessage>{{0x91, 0x3C, 0x64}, {0x91, 0x3E, 0x00}}));
    // A message split over reads, with a clock and active sensing in the middle of it.
    EXPECT_TRUE(Parse(parser, {0xB0, 0xF8}).empty());
    EXPECT_TRUE(Parse(parser, {0x4A, 0xFE}).empty());
    EXPECT_EQ(Parse(parser, {0x7F, 0x4A, 0x00}), (std::vector<ChannelMessage>{{0xB0, 0x4A, 0x7F}, {0xB0, 0x4A, 0}}));
    // One data byte for program change and channel pressure; a system exclusive dump and system common end
    // the running status, and their data is no message.
    EXPECT_EQ(Parse(parser, {0xC2, 5, 6, 0xD3, 0x40}),
              (std::vector<ChannelMessage>{{0xC2, 5, 0}, {0xC2, 6, 0}, {0xD3, 0x40, 0}}));
    // A status byte inside a dump ends it.
    EXPECT_EQ(Parse(parser, {0xF0, 0x7E, 0x90, 0x3C, 0x40}), (std::vector<ChannelMessage>{{0x90, 0x3C, 0x40}}));
    EXPECT_TRUE(Parse(parser, {0xF0, 0x43, 0x10, 0x3C, 0x40, 0xF7, 0x3C, 0x40}).empty());
    EXPECT_TRUE(Parse(parser, {0xF2, 0x10, 0x20, 0x30}).empty());
    // A status byte cutting a message short drops the half message.
    EXPECT_EQ(Parse(parser, {0xE0, 0x10, 0x90, 0x30, 0x40}), (std::vector<ChannelMessage>{{0x90, 0x30, 0x40}}));
}

TEST(InputRouteTest, WhatPassesOnAndWhatIsForTheBindingsOnly) {
    for (const std::uint8_t status : {0x80, 0x93, 0xA0, 0xDF, 0xE5})
        EXPECT_EQ(RouteOf({status, 60, 1}), InputRoute::Thru) << int(status);
    EXPECT_EQ(RouteOf({0xB4, 1, 10}), InputRoute::Thru);
    EXPECT_EQ(RouteOf({0xB0, 64, 127}), InputRoute::Thru);
    EXPECT_EQ(RouteOf({0xC0, 5, 0}), InputRoute::Drop);
    // Every controller the synthesizer reads as a parameter, and the page select, never passes as it is.
    int guarded = 0;
    for (int c = 0; c < 128; ++c) {
        const InputRoute route = RouteOf({0xB0, static_cast<std::uint8_t>(c), 5});
        if (IsParameterController(c)) {
            ++guarded;
            EXPECT_EQ(route, InputRoute::Controller) << c;
        }
    }
    EXPECT_TRUE(IsParameterController(16));
    EXPECT_TRUE(IsParameterController(29));
    EXPECT_TRUE(IsParameterController(119));
    EXPECT_EQ(guarded, 1 + 12 + 18);  // the page select, 20-31 and 102-119
    EXPECT_EQ(Rechannelled({0x9B, 60, 100}), (ChannelMessage{0x90, 60, 100}));
}

struct Bindings : ControllerInput {
    std::vector<std::array<int, 3>> seen;
    int takes = -1;  // the controller number taken, or none
    bool OnInputControlChange(int channel, int controller, int value, std::uint32_t, std::string& what) override {
        seen.push_back({channel, controller, value});
        if (controller != takes) return false;
        what = "CC " + std::to_string(controller) + " -> DCO1 Amp. = " + std::to_string(value * 2);
        return true;
    }
};

struct InputTest : AppTest {
    FakeInputPorts inputs;
    InputDeviceSession& session = app.Inputs();

    void SetUp() override {
        AppTest::SetUp();
        session.SetPorts(&inputs);
    }
    // Starts with the output open and the input the profile names.
    void StartClean() {
        ASSERT_TRUE(Start());
        dialogs.messages.clear();
        ports.bytes.clear();
    }
    void Play(const Bytes& bytes) {
        inputs.received.insert(inputs.received.end(), bytes.begin(), bytes.end());
        session.OnInputReceived();
    }
};

TEST_F(InputTest, NoneIsTheDefaultAndTouchesNoDevice) {
    StartClean();
    EXPECT_EQ(inputs.countCalls, 0);
    EXPECT_EQ(inputs.openCalls, 0);
    EXPECT_FALSE(session.HasDevice());
    EXPECT_TRUE(app.IsCommandChecked(cmd::MidiThru));
    Play({0x90, 60, 100});
    session.OnMidiPortsChanged(MidiPortChange::ListChanged);
    EXPECT_EQ(inputs.countCalls, 0);
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(profile.strings.count("Options/MIDI Input Name"), 0u);

    // The dialog offers None first and preselects it; choosing None again changes nothing.
    dialogs.inputDeviceAnswers = {0};
    ASSERT_TRUE(app.OnCommand(cmd::InputDevice));
    EXPECT_EQ(dialogs.inputDeviceRequests.back(),
              (std::pair<std::vector<std::string>, int>{{"None", "Keys A", "Knobs B"}, 0}));
    EXPECT_EQ(inputs.openCalls, 0);
    EXPECT_EQ(profile.ints.count("Options/MIDI Input"), 0u);
}

TEST_F(InputTest, TheChoiceIsKeptByIndexAndNameAndFoundByNameAtStartUp) {
    StartClean();
    dialogs.inputDeviceAnswers = {2};
    app.OnCommand(cmd::InputDevice);
    EXPECT_EQ(inputs.openIndex, 1);
    EXPECT_EQ(profile.ints["Options/MIDI Input"], 1);
    EXPECT_EQ(profile.strings["Options/MIDI Input Name"], "Knobs B");
    dialogs.inputDeviceAnswers = {std::nullopt};
    app.OnCommand(cmd::InputDevice);
    EXPECT_EQ(dialogs.inputDeviceRequests.back().second, 2);

    // Back to None: closed, and the profile says so.
    dialogs.inputDeviceAnswers = {0};
    app.OnCommand(cmd::InputDevice);
    EXPECT_EQ(inputs.openIndex, -1);
    EXPECT_EQ(profile.ints["Options/MIDI Input"], -1);
    EXPECT_EQ(profile.strings["Options/MIDI Input Name"], "");

    // A device that does not open is said, and None kept.
    inputs.opens[0] = false;
    dialogs.inputDeviceAnswers = {1};
    app.OnCommand(cmd::InputDevice);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Keys A could not be opened as the input device."});
    EXPECT_FALSE(session.HasDevice());
}

TEST(InputStartUpTest, TheStoredDeviceIsOpenedWhereverItIsNowOrWaitedFor) {
    for (const bool there : {true, false}) {
        EditorRig rig;
        FakeInputPorts inputs;
        RecordingFrame frame;
        rig.app.Inputs().SetPorts(&inputs);
        rig.profile.ints["Options/MIDI Input"] = 0;
        rig.profile.strings["Options/MIDI Input Name"] = "Knobs B";
        inputs.names = there ? std::vector<std::string>{"New", "Knobs B"} : std::vector<std::string>{"New"};
        rig.dlg.OnInitialUpdate();
        frame.status.clear();
        // Start-up as InitInstance does it, without a default patch on disk.
        rig.app.Inputs().OpenStartupDevice();
        EXPECT_EQ(inputs.openIndex, there ? 1 : -1);
        EXPECT_EQ(rig.profile.ints["Options/MIDI Input"], there ? 1 : 0);
        EXPECT_EQ(rig.app.Inputs().IsDeviceLost(), !there);
    }
}

TEST_F(InputTest, HotPlugGoneAndBackSaidOnceAndFollowedToItsNewIndex) {
    profile.ints["Options/MIDI Input"] = 0;
    profile.strings["Options/MIDI Input Name"] = "Keys A";
    StartClean();
    ASSERT_EQ(inputs.openIndex, 0);

    // Another device before it: the same keyboard under a new index.
    inputs.names = {"Pads", "Keys A"};
    session.OnMidiPortsChanged(MidiPortChange::ListChanged);
    EXPECT_EQ(profile.ints["Options/MIDI Input"], 1);
    EXPECT_EQ(dialogs.inputListsShown.back(), (std::vector<std::string>{"None", "Pads", "Keys A"}));

    // Unplugged: said once, however many changes follow; nothing it left behind is played.
    app.OnCommand(cmd::MidiMonitor);
    ASSERT_NE(frame.monitor, nullptr);
    frame.monitor->TakeNew();
    inputs.names = {"Pads"};
    inputs.received = {0x90, 60, 100};
    session.OnMidiPortsChanged(MidiPortChange::ListChanged);
    session.OnMidiPortsChanged(MidiPortChange::ListChanged);
    session.OnMidiPortsChanged(MidiPortChange::OpenDeviceLost);  // the output's news: not the input's
    session.OnInputReceived();
    // A notice that asks nothing of a musician who plays: no box.
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(frame.notices, std::vector<std::string>{"Keys A is gone: what it plays is read again when it is back."});
    EXPECT_EQ(frame.status, "Keys A is gone: what it plays is read again when it is back.");
    // The monitor says it among the messages, with no bytes.
    const std::vector<MidiMonitor::Entry> logged = frame.monitor->TakeNew();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].meaning, "notice: Keys A is gone: what it plays is read again when it is back.");
    EXPECT_EQ(frame.monitor->Line(logged[0]).substr(10),
              "            notice: Keys A is gone: what it plays is read again when it is back.");
    EXPECT_EQ(inputs.openIndex, -1);
    EXPECT_TRUE(ports.bytes.empty());

    // Back under another index: reopened by its name.
    inputs.names = {"Keys A", "Pads"};
    session.OnMidiPortsChanged(MidiPortChange::ListChanged);
    EXPECT_EQ(inputs.openIndex, 0);
    EXPECT_EQ(frame.notices.back(), "Keys A is back: what it plays is read again.");
    EXPECT_EQ(frame.status, "Keys A is back: what it plays is read again.");
    EXPECT_EQ(profile.ints["Options/MIDI Input"], 0);
    EXPECT_TRUE(dialogs.messages.empty());
    Play({0x90, 60, 100});
    EXPECT_EQ(ports.bytes, (Bytes{0x90, 60, 100}));
}

TEST_F(InputTest, ThruPassesNotesOnChannelOneAndGuardsThePaging) {
    profile.ints["Options/MIDI Input"] = 0;
    profile.strings["Options/MIDI Input Name"] = "Keys A";
    StartClean();
    Bindings bindings;
    app.SetControllerInput(&bindings);
    // A whole keyboard's worth on channel 3 with running status, a clock, active sensing, a dump and a
    // program change; then the controllers that would break the paging.
    Play({0x92, 60, 100, 64,   90, 0xF8, 0xFE, 0x82, 60,   0, 0xE2, 0,  0x40, 0xA2, 60,  30, 0xD2, 20,  0xB2, 64,
          127,  1,  33,  0xF0, 1,  2,    3,    0xF7, 0xC2, 7, 0xB2, 16, 2,    29,   100, 74, 5,    123, 0});
    EXPECT_EQ(ports.bytes, (Bytes{0x90, 60, 100, 0x90, 64, 90, 0x80, 60, 0,   0xE0, 0, 0x40,
                                  0xA0, 60, 30,  0xD0, 20, 0,  0xB0, 64, 127, 0xB0, 1, 33}));
    // Every Control Change went to the bindings first, as it came.
    EXPECT_EQ(bindings.seen, (std::vector<std::array<int, 3>>{
                                 {2, 64, 127}, {2, 1, 33}, {2, 16, 2}, {2, 29, 100}, {2, 74, 5}, {2, 123, 0}}));

    // What the bindings take does not pass, not even the mod wheel; with Thru off nothing does.
    ports.bytes.clear();
    bindings.takes = 1;
    Play({0xB0, 1, 40});
    EXPECT_TRUE(ports.bytes.empty());
    app.OnCommand(cmd::MidiThru);
    EXPECT_FALSE(app.IsCommandChecked(cmd::MidiThru));
    EXPECT_EQ(profile.ints["Options/MIDI Thru"], 0);
    EXPECT_EQ(ports.bytes, (Bytes{0x80, 64, 0, 0xB0, 64, 0}));  // what was left sounding ends
    ports.bytes.clear();
    Play({0x90, 60, 100, 0xB0, 64, 0});
    EXPECT_TRUE(ports.bytes.empty());
    app.SetControllerInput(nullptr);
}

TEST_F(InputTest, NothingTheKeyboardLeftSoundingHangsWhenItIsClosedGoneOrNoLongerPassedOn) {
    profile.ints["Options/MIDI Input"] = 0;
    profile.strings["Options/MIDI Input Name"] = "Keys A";
    StartClean();
    // The pedal held all the way down, and at exactly 64, the least value that counts as down; at 63 it is up
    // and nothing of it is sent again.
    for (const std::uint8_t pedal : {127, 64, 63}) {
        SCOPED_TRACE(pedal);
        if (!app.IsCommandChecked(cmd::MidiThru)) app.OnCommand(cmd::MidiThru);
        const Bytes held = {0x90, 60, 100, 0x90, 64, 100, 0xB0, 64, pedal, 0x80, 60, 0, 0x90, 67, 90, 0x90, 67, 0};
        const Bytes released = pedal >= 64 ? Bytes{0x80, 64, 0, 0xB0, 64, 0} : Bytes{0x80, 64, 0};
        // Closed by choosing None.
        dialogs.inputDeviceAnswers = {1};
        app.OnCommand(cmd::InputDevice);
        Play(held);
        ports.bytes.clear();
        dialogs.inputDeviceAnswers = {0};
        app.OnCommand(cmd::InputDevice);
        EXPECT_EQ(ports.bytes, released);
        // Gone.
        dialogs.inputDeviceAnswers = {1};
        app.OnCommand(cmd::InputDevice);
        Play(held);
        ports.bytes.clear();
        inputs.names = {"Knobs B"};
        session.OnMidiPortsChanged(MidiPortChange::ListChanged);
        EXPECT_EQ(ports.bytes, released);
        // Thru turned off: released once, and nothing more while it is off.
        inputs.names = {"Keys A", "Knobs B"};
        session.OnMidiPortsChanged(MidiPortChange::ListChanged);
        Play(held);
        ports.bytes.clear();
        app.OnCommand(cmd::MidiThru);
        app.OnCommand(cmd::MidiThru);
        app.OnCommand(cmd::MidiThru);
        EXPECT_EQ(ports.bytes, released);
    }
}

TEST_F(InputTest, TheMonitorShowsInputMarkedWithWhatItDid) {
    profile.ints["Options/MIDI Input"] = 0;
    profile.strings["Options/MIDI Input Name"] = "Keys A";
    StartClean();
    Bindings bindings;
    bindings.takes = 74;
    app.SetControllerInput(&bindings);
    app.OnMidiMonitor();
    ASSERT_NE(frame.monitor, nullptr);
    Play({0x91, 60, 100, 0xB0, 74, 64, 0xB0, 20, 1, 0xC0, 3});
    std::vector<std::string> meanings;
    for (const MidiMonitor::Entry& e : frame.monitor->TakeNew()) meanings.push_back(e.meaning);
    EXPECT_EQ(meanings,
              (std::vector<std::string>{
                  "input: Note On C4, velocity 100, channel 2: thru", "thru: Note On C4, velocity 100, channel 1",
                  "input: CC 74 = 64, channel 1: CC 74 -> DCO1 Amp. = 128", "input: CC 20 = 1, channel 1: ignored",
                  "input: Program Change 3, channel 1: ignored"}));
    app.MidiMonitorClosed();
    app.SetControllerInput(nullptr);
}

}  // namespace

namespace {

// Random bytes in random pieces, a keyboard gone mad: whole messages on channel 1 of the kinds that pass are
// all that reaches the synthesizer, and a flood never makes the program wait for the device.
TEST(HostileInputTest, GarbageAndFloodsReachTheSynthesizerOnlyAsWholeThruMessages) {
    EditorRig rig;
    FakeInputPorts inputs;
    rig.dlg.OnInitialUpdate();
    ASSERT_TRUE(rig.app.CreatePortSink().OpenDevice(0));
    rig.app.Inputs().SetPorts(&inputs);
    rig.dialogs.inputDeviceAnswers = {1};
    rig.app.Inputs().OnInputDevice();
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 2000; ++round) {
        Bytes piece(next() % 9);
        for (std::uint8_t& b : piece) b = static_cast<std::uint8_t>(next() >> 24);
        inputs.received = piece;
        rig.app.Inputs().OnInputReceived();
    }
    ASSERT_EQ(rig.ports.bytes.size() % 3, 0u);
    std::size_t passed = 0;
    for (std::size_t i = 0; i < rig.ports.bytes.size(); i += 3) {
        const ChannelMessage m{rig.ports.bytes[i], rig.ports.bytes[i + 1], rig.ports.bytes[i + 2]};
        ASSERT_EQ(m.status & 0x0F, 0) << i;
        ASSERT_EQ(RouteOf(m), InputRoute::Thru) << i;
        ASSERT_LT(m.data1 | m.data2, 0x80) << i;
        ++passed;
    }
    EXPECT_GT(passed, 100u);  // the garbage held real notes too, and they went on

    // A flood into a device that takes nothing: the queue fills, the rest is dropped at once.
    ManualPacer pacer;
    RecordingPorts ports;
    MidiPortSink sink(&ports, &pacer);
    ASSERT_TRUE(sink.OpenDevice(0));
    std::size_t accepted = 0;
    for (int i = 0; i < 10000; ++i) accepted += sink.SendAhead(0x90, 60, 100) ? 1 : 0;
    EXPECT_EQ(accepted, MidiSendQueue::kCapacity);
    EXPECT_EQ(sink.CloseDevice(MidiPortSink::Queued::Drop), 10000u);
}

}  // namespace
