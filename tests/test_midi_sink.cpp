// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorRig.h"

#include "midi/MidiSink.h"

#include <gtest/gtest.h>

namespace {

struct SinkTest : ::testing::Test {
    RecordingPorts ports;
    CountingPause pause;
    MidiPortSink sink{&ports, &pause};
    void SetUp() override { ASSERT_TRUE(sink.OpenDevice(0)); }
};

Bytes EventBytes(const std::vector<std::uint32_t>& events) {
    Bytes out;
    for (std::uint32_t e : events)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(e >> (8 * i)));
    return out;
}

TEST_F(SinkTest, SendWidePagesByValue) {
    sink.SendWide(ParamMessage(29, 0));
    sink.SendWide(ParamMessage(29, 127));
    sink.SendWide(ParamMessage(29, 128));
    sink.SendWide(ParamMessage(29, 255));
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {29, 0}, {16, 1}, {29, 127}, {16, 2}, {29, 0}, {16, 2}, {29, 127}}));
    EXPECT_EQ(pause.count, 8);
}

TEST_F(SinkTest, SendWideTakesLowBitsUnchecked) {
    // The sink checks no range; negative values stay on page 1 and keep their low 8 bits.
    sink.SendWide(ParamMessage(20, -1));
    sink.SendWide(ParamMessage(0x114, 300));
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {20, 0xFF}, {16, 2}, {0x14, 172}}));
}

TEST_F(SinkTest, Page3AndDirect) {
    sink.SendPage3(ParamMessage(5, 3));
    sink.SendDirect(ParamMessage(7, 9));
    sink.SendPage3(ParamMessage(22, 15));
    EXPECT_EQ(ports.bytes, CC({{16, 3}, {5, 3}, {7, 9}, {16, 3}, {22, 15}}));
    EXPECT_EQ(pause.count, 5);
}

TEST_F(SinkTest, RecordingAppendsEventWordsWithoutSendingOrPausing) {
    sink.StartRecording();
    sink.SendWide(ParamMessage(20, 200));
    sink.SendPage3(ParamMessage(5, 3));
    sink.SendDirect(ParamMessage(7, 9));
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(pause.count, 0);
    EXPECT_EQ(EventBytes(sink.events()), (Bytes{0x02, 0xB0, 0x10, 0x02, 0x02, 0xB0, 0x14, 0x48, 0x02, 0xB0,
                                                0x10, 0x03, 0x02, 0xB0, 0x05, 0x03, 0x02, 0xB0, 0x07, 0x09}));
    sink.StopRecording();
    sink.SendDirect(ParamMessage(1, 2));
    EXPECT_EQ(ports.bytes, CC({{1, 2}}));
    EXPECT_EQ(sink.events().size(), 5u);  // stopping keeps the list
}

TEST_F(SinkTest, StartRecordingDiscardsOldEventsAndOpenDeviceEndsRecording) {
    sink.StartRecording();
    sink.SendWide(ParamMessage(1, 1));
    sink.StartRecording();
    EXPECT_TRUE(sink.events().empty());
    sink.SendDirect(ParamMessage(2, 2));
    EXPECT_TRUE(sink.OpenDevice(1));
    EXPECT_FALSE(sink.recording());
    EXPECT_EQ(sink.events().size(), 1u);  // kept until the next recording or file
    sink.SendDirect(ParamMessage(3, 3));
    EXPECT_EQ(ports.bytes, CC({{3, 3}}));
    EXPECT_EQ(ports.openIndex, 1);
}

TEST_F(SinkTest, FailedOpenLeavesNoDeviceAndSendsStillPause) {
    ports.opens[1] = false;
    sink.StartRecording();
    EXPECT_FALSE(sink.OpenDevice(1));
    EXPECT_FALSE(sink.recording());  // even a failed open ends the recording
    EXPECT_EQ(sink.deviceHandle(), MidiPortSink::kNoDevice);
    EXPECT_EQ(ports.closeCalls, 1);  // the previous device was closed first
    sink.SendWide(ParamMessage(29, 1));
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(pause.count, 2);
}

TEST_F(SinkTest, DestroyingClosesTheDevice) {
    {
        MidiPortSink other(&ports, &pause);
        ASSERT_TRUE(other.OpenDevice(1));
    }
    EXPECT_EQ(ports.openIndex, -1);
}

TEST_F(SinkTest, CloseReportsWhatTheDeviceCouldNotDeliver) {
    for (int i = 0; i < 4; ++i) sink.SendWide(ParamMessage(29, 200));
    EXPECT_EQ(sink.SentSinceOpen(), 8u);
    ports.undeliveredAtClose = 5;
    EXPECT_EQ(sink.CloseDevice(), 5u);
    EXPECT_EQ(ports.closeCalls, 1);
    // A port that claims more losses than it was given messages is held to what it was given; a reopen
    // counts afresh.
    ASSERT_TRUE(sink.OpenDevice(0));
    EXPECT_EQ(sink.SentSinceOpen(), 0u);
    sink.SendDirect(ParamMessage(1, 1));
    ports.undeliveredAtClose = 9;
    EXPECT_EQ(sink.CloseDevice(), 1u);
    EXPECT_EQ(ports.closeCalls, 2);
    // Nothing open: no close reaches the ports, and nothing can have been lost.
    ports.undeliveredAtClose = 7;
    EXPECT_EQ(sink.CloseDevice(), 0u);
    EXPECT_EQ(ports.closeCalls, 2);
    EXPECT_EQ(MidiPortSink(nullptr, nullptr).CloseDevice(), 0u);
}

TEST(NullSink, EmitsRecordsAndPausesNothing) {
    NullSink sink;
    sink.StartRecording();
    sink.SendWide(ParamMessage(29, 200));
    sink.SendPage3(ParamMessage(5, 3));
    sink.SendDirect(ParamMessage(1, 1));
    EXPECT_TRUE(sink.events().empty());
    EXPECT_FALSE(sink.OpenDevice(0));
}

TEST(ActiveSink, NullUntilPortSinkExistsAndWhileMuted) {
    EditorRig rig;
    CQuarnEditApp& app = rig.app;
    RecordingPorts& ports = rig.ports;
    CountingPause& pause = rig.pause;
    MidiSink* early = app.GetActiveSink();
    ASSERT_NE(early, nullptr);
    early->SendWide(ParamMessage(29, 1));  // must not fail before start-up made the port sink

    MidiPortSink& port = app.CreatePortSink();
    ASSERT_TRUE(port.OpenDevice(0));
    EXPECT_EQ(app.GetActiveSink(), &port);

    app.m_mute = 1;
    EXPECT_EQ(app.GetActiveSink(), app.m_nullSink.get());
    app.GetActiveSink()->SendWide(ParamMessage(29, 1));
    app.m_mute = 0;
    app.GetActiveSink()->SendWide(ParamMessage(29, 2));
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {29, 2}}));  // muted messages are lost, not queued
    EXPECT_EQ(pause.count, 2);
}

}  // namespace
