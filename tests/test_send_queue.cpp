// SPDX-License-Identifier: GPL-3.0-or-later
// The send queue on a clock the test drives: due times, what leaves when, whole patches that give way to the
// next, a full queue, and what the MIDI monitor is told.
#include "Fakes.h"
#include "InstrumentModel.h"

#include "midi/DeviceAccount.h"
#include "midi/MidiSendQueue.h"
#include "midi/MidiSink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

Bytes Wide(int parameter, int value) {
    const auto page = static_cast<std::uint8_t>(value > 127 ? 2 : 1);
    return {0xB0, 16, page, 0xB0, static_cast<std::uint8_t>(parameter), static_cast<std::uint8_t>(value & 0x7F)};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Every page select is followed by a parameter (the tests send wide parameters only).
bool PairsWhole(const Bytes& bytes) {
    bool afterPage = false;
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {
        const bool page = bytes[i + 1] == 16;
        if (page == afterPage) return false;
        afterPage = page;
    }
    return !afterPage;
}

struct Departures : MidiTap {
    std::vector<std::pair<std::uint64_t, Bytes>> queued;
    std::vector<std::uint64_t> left;
    void MessageQueued(std::uint64_t id, std::uint8_t s, std::uint8_t d1, std::uint8_t d2) override {
        queued.push_back({id, {s, d1, d2}});
    }
    void MessageLeft(std::uint64_t id) override { left.push_back(id); }
};

struct SendQueueTest : ::testing::Test {
    static constexpr int kFirst = 20;  // parameter numbers clear of the page controller

    RecordingPorts ports;
    ManualPacer pacer;
    Departures tap;  // outlives the sink, whose close tells it of the last departures
    MidiPortSink sink{&ports, &pacer};

    void SetUp() override {
        ASSERT_TRUE(sink.OpenDevice(0));
        sink.SetTap(&tap);
    }
    // A whole patch of `pairs` wide parameters 0.., with values from `base`.
    void WholePatch(int pairs, int base, bool supersedable) {
        const WholePatchScope scope(sink, supersedable);
        for (int i = 0; i < pairs; ++i) sink.SendWide(ParamMessage(kFirst + i, base + i));
    }
    static Bytes WholePatchBytes(int pairs, int base) {
        Bytes all;
        for (int i = 0; i < pairs; ++i) {
            const Bytes one = Wide(kFirst + i, base + i);
            all.insert(all.end(), one.begin(), one.end());
        }
        return all;
    }
};

TEST_F(SendQueueTest, MessagesLeaveTwoMillisecondsApartAndNeverBeforeTheirTime) {
    sink.SendWide(ParamMessage(29, 200));
    sink.SendDirect(ParamMessage(7, 5));
    // Queued, not sent: the caller never waits.
    EXPECT_TRUE(ports.bytes.empty());
    pacer.Advance(0us);
    EXPECT_EQ(ports.bytes, (Bytes{0xB0, 16, 2}));
    pacer.Advance(1999us);
    EXPECT_EQ(ports.bytes.size(), 3u);
    pacer.Advance(1us);
    EXPECT_EQ(ports.bytes, (Bytes{0xB0, 16, 2, 0xB0, 29, 72}));
    pacer.Advance(2ms);
    EXPECT_EQ(ports.bytes, (Bytes{0xB0, 16, 2, 0xB0, 29, 72, 0xB0, 7, 5}));

    // After a quiet spell a message is due at once; the next keeps its distance.
    pacer.Advance(50ms);
    sink.SendWide(ParamMessage(3, 4));
    pacer.Advance(0us);
    EXPECT_EQ(ports.bytes.size(), 12u);
    pacer.Advance(1ms);
    EXPECT_EQ(ports.bytes.size(), 12u);
    pacer.Advance(1ms);
    EXPECT_EQ(ports.bytes.size(), 15u);
}

TEST_F(SendQueueTest, AWholePatchGivesWayToTheNextAtAPairBoundaryAndNothingElseIsDropped) {
    // Transmit All (kept), an audition (supersedable) and an edit, then the next audition.
    WholePatch(3, 10, false);
    WholePatch(33, 40, true);
    sink.SendWide(ParamMessage(50, 1));
    pacer.Advance(0us);
    for (int i = 0; i < 8; ++i) pacer.Advance(2ms);  // 9 left: 3 pairs, then the first audition's 3 and a half
    ASSERT_EQ(ports.bytes.size(), 9u * 3);
    ASSERT_EQ(ports.bytes[8 * 3 + 1], 16);  // a page select went last: its parameter must follow

    WholePatch(33, 100, true);
    pacer.Drain();
    const Bytes firstAudition = WholePatchBytes(33, 40);
    const Bytes expected = Concat({WholePatchBytes(3, 10), Bytes(firstAudition.begin(), firstAudition.begin() + 4 * 3),
                                   Wide(50, 1), WholePatchBytes(33, 100)});
    EXPECT_EQ(ports.bytes, expected);
    EXPECT_TRUE(PairsWhole(ports.bytes));

    // A kept whole patch is never dropped by the next, and the synthesizer ends on the last one.
    ports.bytes.clear();
    WholePatch(33, 1, false);
    WholePatch(2, 7, true);
    WholePatch(2, 9, false);
    pacer.Drain();
    EXPECT_EQ(ports.bytes, Concat({WholePatchBytes(33, 1), WholePatchBytes(2, 9)}));
}

TEST_F(SendQueueTest, TheNextWholePatchStartsAtOnceWhereTheDroppedOneWasDue) {
    WholePatch(33, 40, true);
    pacer.Advance(0us);  // the first page select left at 0
    WholePatch(1, 0, false);
    // The parameter of the pair under way at 2 ms, then the new patch from 4 ms on, not after 132 ms.
    pacer.Advance(2ms);
    pacer.Advance(2ms);
    pacer.Advance(2ms);
    EXPECT_EQ(ports.bytes, Concat({Wide(kFirst, 40), Wide(kFirst, 0)}));
    EXPECT_EQ(sink.CloseDevice(), 0u);
}

TEST_F(SendQueueTest, TheMonitorIsToldWhatLeftAndNeverWhatWasSuperseded) {
    WholePatch(3, 40, true);
    EXPECT_EQ(tap.queued.size(), 6u);
    EXPECT_TRUE(tap.left.empty());
    pacer.Advance(0us);
    pacer.Advance(2ms);
    sink.ReportDepartures();
    EXPECT_EQ(tap.left, (std::vector<std::uint64_t>{tap.queued[0].first, tap.queued[1].first}));
    WholePatch(1, 9, false);
    pacer.Drain();
    sink.ReportDepartures();
    ASSERT_EQ(tap.queued.size(), 8u);
    EXPECT_EQ(tap.left, (std::vector<std::uint64_t>{tap.queued[0].first, tap.queued[1].first, tap.queued[6].first,
                                                    tap.queued[7].first}));
}

TEST_F(SendQueueTest, AClosingDeviceThatCannotTakeItsQueueReportsWhatWasLeft) {
    WholePatch(33, 0, false);
    pacer.Advance(0us);
    // The device is gone: its queue is not waited for, and all but the message that left counts as lost.
    EXPECT_EQ(sink.CloseDevice(MidiPortSink::Queued::Drop), 65u);
    EXPECT_EQ(ports.bytes.size(), 3u);
    // Reopened, nothing of the old queue is sent.
    ASSERT_TRUE(sink.OpenDevice(0));
    pacer.Drain();
    EXPECT_EQ(ports.bytes.size(), 3u);
}

TEST(SendQueueFull, AFullQueueLosesWholePairsOnlyAndTheCloseCountsThem) {
    RecordingPorts ports;
    ManualPacer pacer;
    MidiSendQueue queue(pacer, 5);
    pacer.Serve(&queue);
    ASSERT_TRUE(ports.Open(0));
    queue.Attach(&ports);
    const std::uint8_t page[3] = {0xB0, 16, 1}, param[3] = {0xB0, 7, 9}, note[3] = {0x80, 60, 0};
    EXPECT_TRUE(queue.PushPair(page, param));
    EXPECT_TRUE(queue.PushPair(page, param));
    // Room for one message, not for a pair: the pair is lost whole (after a short wait) and counts as two;
    // from then on sends are dropped at once until the queue is down to three quarters.
    EXPECT_FALSE(queue.PushPair(page, param));
    EXPECT_FALSE(queue.Push(note));
    EXPECT_EQ(queue.TakeOverflow(), 3u);
    pacer.Advance(2ms);  // two have left
    EXPECT_TRUE(queue.Push(note));
    EXPECT_EQ(queue.TakeOverflow(), 0u);
    pacer.Drain();
    EXPECT_EQ(ports.bytes, (Bytes{0xB0, 16, 1, 0xB0, 7, 9, 0xB0, 16, 1, 0xB0, 7, 9, 0x80, 60, 0}));
}

}  // namespace

namespace {

// A device that tells, once, which of the messages it took it is not sure it delivered.
struct DoubtingPorts : RecordingPorts {
    std::vector<std::uint32_t> tags;
    std::optional<TagRange> unsure;
    void SendAt(std::chrono::steady_clock::time_point, std::uint8_t s, std::uint8_t d1, std::uint8_t d2,
                std::uint32_t tag) override {
        tags.push_back(tag);
        Send(s, d1, d2);
    }
    std::optional<TagRange> TakeUnsure() override { return std::exchange(unsure, std::nullopt); }
};

struct Repeats : Departures {
    Bytes repeated;
    void MessageRepeated(std::uint8_t s, std::uint8_t d1, std::uint8_t d2) override {
        repeated.insert(repeated.end(), {s, d1, d2});
    }
};

TEST(SendQueueHeal, ParametersAroundAnOverrunGoAgainWithTheirValueNowAndNotesNever) {
    DoubtingPorts ports;
    ManualPacer pacer;
    Repeats tap;
    MidiPortSink sink(&ports, &pacer);
    ASSERT_TRUE(sink.OpenDevice(0));
    sink.SetTap(&tap);
    sink.SendWide(ParamMessage(20, 200));    // tags 1, 2
    sink.SendChannelMessage(0x90, 60, 100);  // 3
    sink.SendPage3(ParamMessage(21, 4));     // 4, 5
    sink.SendWide(ParamMessage(22, 7));      // 6, 7
    sink.SendWide(ParamMessage(20, 201));    // 8, 9: parameter 20's value now
    pacer.Drain();
    ASSERT_EQ(ports.tags, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    const std::size_t before = ports.bytes.size();

    // Unsure: the first value of 20, the note, and the page select of 21 (so 21 too); 22 arrived for sure.
    ports.unsure = MidiOutPorts::TagRange{2, 4};
    sink.SendChannelMessage(0x80, 60, 0);
    pacer.Drain();
    sink.ReportDepartures();
    const Bytes again(ports.bytes.begin() + static_cast<std::ptrdiff_t>(before), ports.bytes.end());
    // The note-off queued before the overrun was told, then parameter 20 with the value it has now and 21 on
    // page 3; never the note.
    EXPECT_EQ(again, Concat({{0x80, 60, 0}, Wide(20, 201), {0xB0, 16, 3, 0xB0, 21, 4}}));
    EXPECT_EQ(tap.repeated, Concat({Wide(20, 201), {0xB0, 16, 3, 0xB0, 21, 4}}));

    // A parameter whose newer value is still queued is not repeated: the newer one is on its way.
    ports.bytes.clear();
    sink.SendWide(ParamMessage(22, 9));
    ports.unsure = MidiOutPorts::TagRange{6, 7};
    pacer.Drain();
    EXPECT_EQ(ports.bytes, Wide(22, 9));
    sink.SetTap(nullptr);
}

}  // namespace

namespace {

TEST_F(SendQueueTest, AStreamKeepsOnlyTheLatestQueuedValueOfAParameterAndNeverSplitsAPair) {
    const auto stream = [&](int parameter, int value) {
        const StreamScope scope(sink);
        sink.SendWide(ParamMessage(parameter, value));
    };
    stream(kFirst, 10);
    stream(kFirst + 1, 11);
    // A newer value of a queued parameter takes its place, page select and all (page 1 becomes 2).
    stream(kFirst, 200);
    EXPECT_EQ(pacer.served->Size(), 4u);
    pacer.Drain();
    EXPECT_EQ(ports.bytes, Concat({Wide(kFirst, 200), Wide(kFirst + 1, 11)}));

    // Once its page select has left, the pair under way stays whole: the new value goes after it.
    ports.bytes.clear();
    stream(kFirst, 5);
    pacer.Advance(2ms);
    ASSERT_EQ(ports.bytes, (Bytes{0xB0, 16, 1}));
    stream(kFirst, 6);
    pacer.Drain();
    EXPECT_EQ(ports.bytes, Concat({Wide(kFirst, 5), Wide(kFirst, 6)}));

    // A message for the same parameter queued outside the stream after it is never jumped: the stream's value
    // goes after it, and the last value sent is the stream's.
    ports.bytes.clear();
    stream(kFirst, 7);
    sink.SendWide(ParamMessage(kFirst, 8));
    stream(kFirst, 9);
    pacer.Drain();
    EXPECT_EQ(ports.bytes, Concat({Wide(kFirst, 7), Wide(kFirst, 8), Wide(kFirst, 9)}));

    // The monitor hears of the replaced pair when it is queued and never that it left.
    sink.ReportDepartures();
    tap.queued.clear();
    tap.left.clear();
    stream(kFirst, 1);
    stream(kFirst, 2);
    pacer.Drain();
    sink.ReportDepartures();
    ASSERT_EQ(tap.queued.size(), 4u);
    EXPECT_EQ(tap.left, (std::vector<std::uint64_t>{tap.queued[2].first, tap.queued[3].first}));
}

TEST_F(SendQueueTest, ANoteGoesAheadOfAQueuedPatchAtThePairBoundaryAndKeepsTheSpacing) {
    WholePatch(33, 40, false);
    pacer.Advance(0us);  // the first page select has left: its parameter must follow it
    ASSERT_EQ(ports.bytes, (Bytes{0xB0, 16, 1}));
    ASSERT_TRUE(sink.SendAhead(0x90, 60, 100));
    ASSERT_TRUE(sink.SendAhead(0x80, 60, 0));  // after the first note, never before it
    pacer.Advance(2ms);
    pacer.Advance(2ms);
    pacer.Advance(2ms);
    const Bytes patch = WholePatchBytes(33, 40);
    EXPECT_EQ(ports.bytes, Concat({Bytes(patch.begin(), patch.begin() + 6), {0x90, 60, 100, 0x80, 60, 0}}));
    // Nothing came closer than 2 ms: the rest of the patch moved back by two spacings.
    pacer.Advance(1999us);
    EXPECT_EQ(ports.bytes.size(), 4u * 3);
    pacer.Drain();
    EXPECT_EQ(ports.bytes, Concat({Bytes(patch.begin(), patch.begin() + 6),
                                   {0x90, 60, 100, 0x80, 60, 0},
                                   Bytes(patch.begin() + 6, patch.end())}));
    EXPECT_TRUE(PairsWhole(Bytes(ports.bytes.begin() + 12, ports.bytes.end())));

    // The monitor is told of each as it leaves, the notes before the patch's messages of lower ids.
    sink.ReportDepartures();
    ASSERT_EQ(tap.left.size(), 68u);
    EXPECT_GT(tap.left[2], tap.left[4]);
}

TEST_F(SendQueueTest, WhatGoesAheadIsDroppedWithoutADeviceOrWhileRecording) {
    ManualPacer otherPacer;
    MidiPortSink closed(&ports, &otherPacer);
    EXPECT_FALSE(closed.SendAhead(0x90, 60, 100));
    sink.StartRecording();
    EXPECT_FALSE(sink.SendAhead(0x90, 60, 100));
    EXPECT_TRUE(sink.events().empty());
    sink.StopRecording();
}

}  // namespace

namespace {

// A device whose server doubts a range of what it took, and a pacer that sends at once whenever something is
// queued, as a pacer thread that runs between two calls of the program's thread would.
struct HealRig {
    DoubtingPorts ports;
    CountingPause pacer;
    MidiPortSink sink{&ports, &pacer};
    HealRig() { EXPECT_TRUE(sink.OpenDevice(0)); }
    InstrumentModel Heard() const {
        InstrumentModel model;
        model.Take(ports.bytes);
        return model;
    }
};

TEST(SendQueueHeal, ARepeatNeverComesBetweenAPageSelectAndItsParameter) {
    HealRig rig;
    rig.sink.SendPage3(ParamMessage(21, 4));  // tags 1, 2
    rig.ports.unsure = MidiOutPorts::TagRange{1, 2};
    // The repeat the sender finds now must not land between the next pair's halves.
    rig.sink.SendWide(ParamMessage(29, 100));
    EXPECT_EQ(rig.ports.bytes, Concat({{0xB0, 16, 3, 0xB0, 21, 4}, Wide(29, 100), {0xB0, 16, 3, 0xB0, 21, 4}}));
    EXPECT_EQ(rig.Heard().parameters, (InstrumentModel::Parameters{{21, {3, 4}}, {29, {1, 100}}}));
}

TEST(SendQueueHeal, ARepeatSendsTheValueNowNeverAnOlderMessageOfTheSameController) {
    DoubtingPorts ports;
    ManualPacer pacer;
    MidiPortSink sink(&ports, &pacer);
    ASSERT_TRUE(sink.OpenDevice(0));
    sink.SendPage3(ParamMessage(21, 4));  // the row followed a source: tags 1, 2
    sink.SendWide(ParamMessage(21, 90));  // then its own value again: 3, 4
    pacer.Drain();
    ports.unsure = MidiOutPorts::TagRange{1, 2};  // only the older pair is in doubt
    pacer.Advance(1ms);
    pacer.Drain();
    InstrumentModel heard;
    heard.Take(ports.bytes);
    EXPECT_EQ(heard.parameters.at(21), (std::pair<int, int>{1, 90}));
    EXPECT_TRUE(PairsWhole(ports.bytes));
}

TEST(SendQueueHeal, TheAccountHoldsWhatLeftAndDoubtsWhatTheServerCouldNotConfirm) {
    DoubtingPorts ports;
    ManualPacer pacer;
    MidiPortSink sink(&ports, &pacer);
    ASSERT_TRUE(sink.OpenDevice(0));
    sink.SendWide(ParamMessage(20, 200));
    sink.SendChannelMessage(0x90, 60, 100);
    sink.SendChannelMessage(0xB1, 64, 64);  // the pedal at its middle is down
    // Queued, not yet left: expected, not held.
    EXPECT_FALSE(pacer.served->Account().Holds(20));
    EXPECT_EQ(sink.Expected().Holds(20), (DeviceAccount::Parameter{2, 72}));
    pacer.Drain();
    const DeviceAccount held = pacer.served->Account();
    EXPECT_EQ(held.Holds(20), (DeviceAccount::Parameter{2, 72}));
    EXPECT_TRUE(held.HoldsNote(0, 60));
    EXPECT_TRUE(held.HoldsSustain(1));
    EXPECT_EQ(held.Releases(), (std::vector<ShortMessage>{{0x80, 60, 0x40}, {0xB1, 64, 0}}));
    // Reopened: it may hold anything.
    ASSERT_TRUE(sink.OpenDevice(1));
    EXPECT_FALSE(sink.Expected().Holds(20));
}

TEST(SendQueueFull, AStreamPairLostToAFullQueueCountsTwoAndALaterPairLeavesWhole) {
    RecordingPorts ports;
    ManualPacer pacer;
    MidiSendQueue queue(pacer, 3);
    pacer.Serve(&queue);
    ASSERT_TRUE(ports.Open(0));
    queue.Attach(&ports);
    const std::uint8_t page[3] = {0xB0, 16, 1}, param[3] = {0xB0, 7, 9}, other[3] = {0xB0, 8, 5};
    EXPECT_TRUE(queue.PushPair(page, param));
    EXPECT_FALSE(queue.PushStreamPair(page, other));
    EXPECT_EQ(queue.TakeOverflow(), 2u);
    pacer.Drain();
    // Room again: a whole pair goes in and both halves leave.
    EXPECT_TRUE(queue.PushPair(page, other));
    pacer.Drain();
    EXPECT_EQ(ports.bytes, (Bytes{0xB0, 16, 1, 0xB0, 7, 9, 0xB0, 16, 1, 0xB0, 8, 5}));
}

}  // namespace
