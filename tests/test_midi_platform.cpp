// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of the MIDI platform layer that need no server: where a stamped message goes in a process
// cycle, what a fault told late puts in doubt, the ring that hands messages to the process callback, the
// sequencer address in a port name, and the pacer thread that sends a queue (with devices that fail it).
#include "Fakes.h"

#include "midi/MidiSendQueue.h"
#include "midi/MidiSink.h"
#include "platform/AlsaAddress.h"
#include "platform/FramePlacer.h"
#include "platform/MidiPortSignals.h"
#include "platform/MidiPortWatch.h"
#include "platform/RecentWrites.h"
#include "platform/StampedRing.h"
#include "platform/ThreadPacer.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t kPeriod = 256;

// A stamp at 48 kHz whose clock reading agrees with its frame estimate: 48 frames to the ms.
FramePlacer::Stamp At(std::uint32_t frame) { return {frame, frame * 1000 / 48}; }

TEST(FramePlacer, MessagesKeepTheirSpacingOnePeriodLater) {
    FramePlacer placer;
    // Sent during the cycle that started at 1000, they go out in the next one at the same offsets.
    std::vector<std::optional<std::uint32_t>> offsets;
    for (std::uint32_t frame : {1000u, 1096u, 1192u}) {
        offsets.push_back(placer.Place(At(frame), 1000 + kPeriod, kPeriod));
        placer.Written(At(frame), 1000 + kPeriod + *offsets.back());
    }
    EXPECT_EQ(offsets, (std::vector<std::optional<std::uint32_t>>{0u, 96u, 192u}));
}

TEST(FramePlacer, AMessageStampedAfterTheCycleBeganWaitsForTheNext) {
    FramePlacer placer;
    EXPECT_EQ(placer.Place(At(1300), 1256, kPeriod), std::nullopt);
    EXPECT_EQ(placer.Place(At(1300), 1512, kPeriod), std::optional<std::uint32_t>(44));
}

// The frame estimate wobbles when the server runs late (it may even go backwards); the clock does not. The
// spacing at the input is never less than the spacing of the sends (2 ms: 96 frames at 48 kHz).
TEST(FramePlacer, WobblingFrameEstimatesNeverShortenTheSpacing) {
    FramePlacer placer;
    const std::vector<FramePlacer::Stamp> sends = {{1000, 0}, {1130, 2000}, {1100, 4000}, {1290, 6000}};
    std::vector<std::uint32_t> frames;
    for (const auto& stamp : sends) {
        std::optional<std::uint32_t> offset;
        std::uint32_t cycle = 1256;
        while (!(offset = placer.Place(stamp, cycle, kPeriod))) cycle += kPeriod;
        placer.Written(stamp, cycle + *offset);
        frames.push_back(cycle + *offset);
    }
    EXPECT_EQ(frames, (std::vector<std::uint32_t>{1256, 1386, 1482, 1578}));
}

TEST(FramePlacer, LateMessagesGoAtOnceButKeepTheirSpacing) {
    FramePlacer placer;
    // A backlog from a stall: sent 2 ms apart, due long ago.
    std::vector<std::uint32_t> frames;
    for (std::uint32_t frame : {1000u, 1096u, 1192u, 1288u}) {
        std::optional<std::uint32_t> offset;
        std::uint32_t cycle = 5000;
        while (!(offset = placer.Place(At(frame), cycle, kPeriod))) cycle += kPeriod;
        placer.Written(At(frame), cycle + *offset);
        frames.push_back(cycle + *offset);
    }
    EXPECT_EQ(frames, (std::vector<std::uint32_t>{5000, 5096, 5192, 5288}));
    // After a pause of more than 20 ms, a message on time is on time again.
    EXPECT_EQ(placer.Place(At(10088), 10088 + kPeriod, kPeriod), std::optional<std::uint32_t>(0));
}

TEST(FramePlacer, AStampFarAheadOfTheCycleIsDueNowAndStillSpaced) {
    // The estimate ran on while the server stood still: due now, and spaced as sent.
    FramePlacer placer;
    EXPECT_EQ(placer.Place(At(90000), 1000, kPeriod), std::optional<std::uint32_t>(0));
    placer.Written(At(90000), 1000);
    EXPECT_EQ(placer.Place(At(90096), 1000, kPeriod), std::optional<std::uint32_t>(96));
    // A stamp only a little further ahead (a server running late at a small period) is waited for.
    FramePlacer small;
    EXPECT_EQ(small.Place(At(1500), 1000, 64), std::nullopt);
    EXPECT_EQ(small.Place(At(1500), 1564, 64), std::optional<std::uint32_t>(0));
}

TEST(FramePlacer, TwoMillisecondsAreTheirWholeFrameCountAtEveryRate) {
    for (const auto& [rate, frames] : {std::pair{48000u, 96u}, {44100u, 89u}, {96000u, 192u}}) {
        FramePlacer placer(rate);
        placer.Written({1000, 0}, 2000);
        // Stamped on time or even early, and after a cycle that came late: never closer than 2 ms in frames.
        EXPECT_EQ(placer.Place({1000, 2000}, 2000, 1024), std::optional<std::uint32_t>(frames)) << rate;
    }
}

TEST(FramePlacer, FrameTimesAndTheClockWrapAround) {
    FramePlacer placer;
    const FramePlacer::Stamp first{0xFFFFFF00u, 0xFFFFFFF0u};  // both wrap between the two sends
    ASSERT_EQ(placer.Place(first, first.frame + kPeriod, kPeriod), std::optional<std::uint32_t>(0));
    placer.Written(first, first.frame + kPeriod);
    const FramePlacer::Stamp second{first.frame + 200, first.micros + 200 * 1000 / 48};
    EXPECT_EQ(placer.Place(second, first.frame + kPeriod, kPeriod), std::optional<std::uint32_t>(200));
}

TEST(StampedRing, FillsToCapacityKeepsOrderAndRefusesMore) {
    StampedRing ring;
    for (std::uint32_t i = 0; i < StampedRing::kCapacity; ++i)
        ASSERT_TRUE(ring.Push({i, 0, {0xB0, static_cast<std::uint8_t>(i & 0x7F), 1}}));
    EXPECT_FALSE(ring.Push({0, 0, {0xB0, 0, 0}}));
    EXPECT_EQ(ring.Size(), StampedRing::kCapacity);
    for (std::uint32_t i = 0; i < StampedRing::kCapacity; ++i) {
        const auto* m = ring.Front();
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(m->frame, i);
        ring.Pop();
    }
    EXPECT_EQ(ring.Front(), nullptr);
    // An open marks what came before; the consumer drops up to the mark and keeps what was pushed after it.
    ring.Push({7, 0, {0xB0, 1, 2}});
    const std::uint32_t mark = ring.Pushed();
    ring.Push({8, 0, {0xB0, 1, 3}});
    ring.DropBefore(mark);
    ASSERT_NE(ring.Front(), nullptr);
    EXPECT_EQ(ring.Front()->frame, 8u);
    // A mark the consumer has already passed drops nothing.
    ring.DropBefore(mark - 1);
    EXPECT_EQ(ring.Front()->frame, 8u);
    ring.Pop();
    EXPECT_EQ(ring.Front(), nullptr);
}

// One thread sends, another takes, as the sender and the process callback do: everything arrives once,
// in order, whole.
TEST(StampedRing, HandsOverBetweenTwoThreadsInOrder) {
    StampedRing ring;
    constexpr std::uint32_t kCount = 200000;
    std::vector<std::uint32_t> taken;
    taken.reserve(kCount);
    bool whole = true;
    std::thread consumer([&] {
        while (taken.size() < kCount) {
            if (const auto* m = ring.Front()) {
                whole = whole && m->bytes[0] == 0xB0 && m->bytes[1] == (m->frame & 0x7F) && m->bytes[2] == 0x55;
                taken.push_back(m->frame);
                ring.Pop();
            } else {
                std::this_thread::yield();
            }
        }
    });
    for (std::uint32_t i = 0; i < kCount;) {
        if (ring.Push({i, i, {0xB0, static_cast<std::uint8_t>(i & 0x7F), 0x55}}))
            ++i;
        else
            std::this_thread::yield();
    }
    consumer.join();
    EXPECT_TRUE(whole);
    bool ordered = true;
    for (std::uint32_t i = 0; i < kCount; ++i) ordered = ordered && taken[i] == i;
    EXPECT_TRUE(ordered);
}

// A reader that missed a cycle is told to the sender late on a loaded server: the doubt reaches back a
// second, exactly from the first write of that second, and each write is doubted by one fault only.
TEST(RecentWrites, AFaultToldLateDoubtsEveryWriteOfTheLastSecondAndNoEarlier) {
    using namespace std::chrono_literals;
    const RecentWrites::Clock::time_point t0{1000s};
    RecentWrites recent;
    // One message every 2 ms for 1.5 s, one or two to a cycle as at 256 frames; tags from 1 and wrapping
    // nowhere near.
    std::uint64_t written = 0;
    std::uint32_t tag = 1;
    for (auto t = t0; t < t0 + 1500ms; t += 5ms) {
        const std::uint64_t n = (t - t0) / 5ms % 2 == 0 ? 2 : 3;
        recent.Wrote(t, tag, written, n);
        tag += static_cast<std::uint32_t>(n);
        written += n;
    }
    // Told 300 ms after the cycle that was missed (1.2 s in): every write since 0.5 s in is in doubt, however
    // many cycles that is; the slot the window starts in may add a few, never more than a slot's 16 ms.
    const auto now = t0 + 1500ms;
    const std::optional<RecentWrites::Doubt> doubt = recent.TakeDoubted(now, written);
    ASSERT_TRUE(doubt);
    const std::uint64_t since500 = written - (100 * 5 / 2);  // 250 writes in the first 500 ms
    EXPECT_GE(doubt->count, since500);
    EXPECT_LE(doubt->count, since500 + 10);
    EXPECT_EQ(doubt->firstTag, tag - doubt->count);
    // Already in doubt: a second notice of the same fault doubts only what was written after the first.
    EXPECT_FALSE(recent.TakeDoubted(now + 1ms, written));
    recent.Wrote(now + 5ms, tag, written, 1);
    const std::optional<RecentWrites::Doubt> next = recent.TakeDoubted(now + 6ms, written + 1);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->firstTag, tag);
    EXPECT_EQ(next->count, 1u);
    // Writes more than a second old are past doubting; an open forgets the last device's writes.
    recent.Wrote(now + 10ms, tag + 1, written + 1, 1);
    EXPECT_FALSE(recent.TakeDoubted(now + 2s, written + 2));
    recent.Wrote(now + 3s, tag + 2, written + 2, 1);
    recent.Forget();
    EXPECT_FALSE(recent.TakeDoubted(now + 3s, written + 3));
}

// Bounded for the process callback: a cycle of writes every 1 ms (a small period, notes from the input) for
// far longer than the slots hold still doubts the whole last second.
TEST(RecentWrites, ManyCyclesOfWritesStillDoubtTheWholeSecond) {
    using namespace std::chrono_literals;
    const RecentWrites::Clock::time_point t0{50s};
    RecentWrites recent;
    std::uint64_t written = 0;
    for (int ms = 0; ms < 5000; ++ms) {
        recent.Wrote(t0 + std::chrono::milliseconds(ms), static_cast<std::uint32_t>(written + 1), written, 1);
        ++written;
    }
    const std::optional<RecentWrites::Doubt> doubt = recent.TakeDoubted(t0 + 5000ms, written);
    ASSERT_TRUE(doubt);
    EXPECT_GE(doubt->count, 1000u);
    EXPECT_LE(doubt->count, 1016u);
    EXPECT_EQ(doubt->firstTag, written - doubt->count + 1);
}

TEST(AlsaPortAddress, ReadsTheAddressRtMidiAppends) {
    EXPECT_EQ(AlsaPortAddress("Midi Through:Midi Through Port-0 14:0"), std::optional<int>(14 << 8));
    EXPECT_EQ(AlsaPortAddress("USB MIDI Interface:USB MIDI Interface MIDI 1 24:1"), std::optional<int>((24 << 8) | 1));
    EXPECT_EQ(AlsaPortAddress("Client:Port 255:255"), std::optional<int>(0xFFFF));
}

TEST(AlsaPortAddress, HostileNamesGiveNoAddress) {
    for (const std::string& name : std::vector<std::string>{
             "", " ", "no address", "Client:Port 256:0", "Client:Port 1:256", "Client:Port +1:2", "Client:Port 1:-2",
             "Client:Port 14:0 ", "Client:Port 1:2:3", "Client:Port :", "Client:Port 1:", "Client:Port :1",
             "Client:Port 0x1:2", "Client:Port 0001:2", std::string("Client:Port 1\0:2", 16), std::string(5000, ':'),
             "Client:Port \xFF\xFE:1"})
        EXPECT_EQ(AlsaPortAddress(name), std::nullopt) << name;
}

// ---- the pacer thread, and devices that fail it ------------------------------------------------------

// Ports the pacer's thread sends to while the test's thread looks: counted under a lock. A device may take its
// time over each message (a stalled server), or stop taking them (gone: they are dropped and counted).
struct ThreadedPorts : RecordingPorts {
    std::mutex mutex;
    std::chrono::milliseconds perMessage{0};
    std::atomic<bool> gone{false};
    std::size_t dropped = 0;
    void Send(std::uint8_t status, std::uint8_t d1, std::uint8_t d2) override {
        if (perMessage.count() > 0) std::this_thread::sleep_for(perMessage);
        std::lock_guard lock(mutex);
        if (gone) {
            ++dropped;
            return;
        }
        RecordingPorts::Send(status, d1, d2);
    }
    std::size_t Close() override {
        std::lock_guard lock(mutex);
        RecordingPorts::Close();
        return std::exchange(dropped, 0);
    }
    std::size_t Delivered() {
        std::lock_guard lock(mutex);
        return bytes.size() / 3;
    }
};

// A device that notes when each message was handed to it, against when it was due.
struct TimedPorts : RecordingPorts {
    std::mutex mutex;
    std::vector<std::pair<std::chrono::steady_clock::time_point, std::chrono::steady_clock::time_point>> handed;
    void SendAt(std::chrono::steady_clock::time_point due, std::uint8_t s, std::uint8_t d1, std::uint8_t d2,
                std::uint32_t) override {
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex);
        handed.emplace_back(due, now);
        Send(s, d1, d2);
    }
};

TEST(ThreadPacer, MessagesQueuedInABurstLeaveEachAtItsOwnDueTimeTwoMillisecondsApart) {
    TimedPorts ports;
    ThreadPacer pacer;
    MidiPortSink sink(&ports, &pacer);
    ASSERT_TRUE(sink.OpenDevice(0));
    for (int i = 0; i < 15; ++i) sink.SendWide(ParamMessage(20 + i, i));
    ASSERT_TRUE(sink.CloseDevice() == 0);
    std::lock_guard lock(ports.mutex);
    ASSERT_EQ(ports.handed.size(), 30u);
    std::chrono::nanoseconds late{};
    for (std::size_t i = 0; i < ports.handed.size(); ++i) {
        const auto [due, at] = ports.handed[i];
        // Never before its time (bunched up at the first due time), and due 2 ms after the one before.
        EXPECT_GE(at, due) << i;
        if (i > 0) {
            EXPECT_EQ(due - ports.handed[i - 1].first, MidiSendQueue::kSpacing) << i;
        }
        late += at - due;
    }
    // Not held until the pacer's idle look (50 ms): on average well within one spacing of each due time, with
    // room for a busy machine.
    EXPECT_LT(late / ports.handed.size(), std::chrono::milliseconds(20));
}

TEST(ThreadPacer, StopsPromptlyWhenIdleAndServesAnotherQueueAfterwards) {
    RecordingPorts ports;
    ASSERT_TRUE(ports.Open(0));
    ThreadPacer pacer;
    MidiSendQueue first(pacer);
    pacer.Serve(&first);
    first.Attach(&ports);
    const auto stop = std::chrono::steady_clock::now();
    pacer.Serve(nullptr);
    // Bounded: an idle thread is woken, not waited for until its next look.
    EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(1));

    MidiSendQueue second(pacer);
    pacer.Serve(&second);
    second.Attach(&ports);
    const std::uint8_t note[3] = {0x90, 60, 100};
    ASSERT_TRUE(second.Push(note));
    EXPECT_TRUE(second.WaitDrained(std::chrono::seconds(5)));
    pacer.Serve(nullptr);
    EXPECT_EQ(ports.bytes, (Bytes{0x90, 60, 100}));
}

TEST(ThreadPacerFaults, ExitDuringALongTransmissionDeliversOrReportsEveryMessage) {
    ThreadedPorts ports;
    std::size_t reported = 0;
    {
        ThreadPacer pacer;
        MidiPortSink sink(&ports, &pacer);
        ASSERT_TRUE(sink.OpenDevice(0));
        for (int i = 0; i < 200; ++i) sink.SendWide(ParamMessage(i & 0x7F, i & 0xFF));
        // The window closes at once: the close waits for the queue (bounded), then the sink and its pacer go.
        reported = sink.CloseDevice();
    }
    EXPECT_EQ(reported, 0u);
    EXPECT_EQ(ports.Delivered(), 400u);
}

TEST(ThreadPacerFaults, ADeviceThatStallsHoldsTheCloseOnlySoLongAndTheRestIsReported) {
    ThreadedPorts ports;
    ports.perMessage = std::chrono::milliseconds(40);  // 20 times slower than the queue's pace
    ThreadPacer pacer;
    MidiPortSink sink(&ports, &pacer);
    ASSERT_TRUE(sink.OpenDevice(0));
    for (int i = 0; i < 100; ++i) sink.SendDirect(ParamMessage(7, i));
    const std::size_t reported = sink.CloseDevice();
    EXPECT_GT(reported, 0u);
    EXPECT_EQ(ports.Delivered() + reported, 100u);
}

TEST(ThreadPacerFaults, ADeviceThatVanishesWhileItsQueueDrainsLosesNothingSilently) {
    ThreadedPorts ports;
    ThreadPacer pacer;
    MidiPortSink sink(&ports, &pacer);
    ASSERT_TRUE(sink.OpenDevice(0));
    for (int i = 0; i < 66; ++i) sink.SendDirect(ParamMessage(7, i));
    while (ports.Delivered() < 10) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ports.gone = true;
    // As the window does when told the device is gone: the queue is not waited for.
    const std::size_t reported = sink.CloseDevice(MidiPortSink::Queued::Drop);
    EXPECT_EQ(ports.Delivered() + reported, 66u);
    EXPECT_GE(reported, 1u);
}

TEST(ThreadPacerFaults, AFloodIntoAFullQueueIsCountedAndTheQueueStillDrains) {
    ThreadedPorts ports;
    ThreadPacer pacer;
    MidiPortSink sink(&ports, &pacer);
    ASSERT_TRUE(sink.OpenDevice(0));
    constexpr int kSent = static_cast<int>(MidiSendQueue::kCapacity) + 1000;
    for (int i = 0; i < kSent; ++i) sink.SendDirect(ParamMessage(7, i & 0x7F));
    const std::size_t reported = sink.CloseDevice(MidiPortSink::Queued::Drop);
    EXPECT_GE(reported, 900u);
    EXPECT_EQ(ports.Delivered() + reported, static_cast<std::size_t>(kSent));
    // The device opens again and the queue carries on.
    ASSERT_TRUE(sink.OpenDevice(0));
    const std::size_t before = ports.Delivered();
    sink.SendDirect(ParamMessage(7, 1));
    EXPECT_EQ(sink.CloseDevice(), 0u);
    EXPECT_EQ(ports.Delivered(), before + 1);
}

}  // namespace

// ---- news from a context that must behave like a signal handler --------------------------------------

namespace {

MidiPortSignals* g_postTo = nullptr;

void PostFromSignal(int) {
    g_postTo->Post(MidiPortChange::OpenDeviceLost);
    g_postTo->Post(MidiPortChange::ListChanged);
}

}  // namespace

// JACK's shutdown callback may only do what a signal handler may: the news it posts reaches the handler
// through the watch thread, once per kind however often it was posted.
TEST(PortSignals, NewsPostedFromASignalHandlerReachesTheHandlerFromTheWatch) {
    auto signals = std::make_shared<MidiPortSignals>();
    signals->jackMissing.store(false);  // no probe for a server: only the posted news
    std::mutex mutex;
    std::vector<MidiPortChange> told;
    std::vector<std::thread::id> threads;
    signals->SetHandler([&](MidiPortChange change) {
        std::lock_guard lock(mutex);
        told.push_back(change);
        threads.push_back(std::this_thread::get_id());
    });
    MidiPortWatch watch(signals);
    g_postTo = signals.get();
    struct sigaction action {
    }, old{};
    action.sa_handler = PostFromSignal;
    ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
    raise(SIGUSR1);
    sigaction(SIGUSR1, &old, nullptr);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto count = [&] {
        std::lock_guard lock(mutex);
        return told.size();
    };
    while (count() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::lock_guard lock(mutex);
    EXPECT_EQ(told, (std::vector<MidiPortChange>{MidiPortChange::OpenDeviceLost, MidiPortChange::ListChanged}));
    for (std::thread::id id : threads) EXPECT_NE(id, std::this_thread::get_id());
}
