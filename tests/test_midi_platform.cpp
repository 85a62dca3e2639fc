// The parts of the MIDI platform layer that need no server: where a stamped message goes in a process
// cycle, the ring that hands messages to the process callback, and the sequencer address in a port name.
#include "platform/AlsaAddress.h"
#include "platform/FramePlacer.h"
#include "platform/StampedRing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t kPeriod = 256;

TEST(FramePlacer, MessagesKeepTheirSpacingOnePeriodLater) {
    FramePlacer placer;
    // Sent during the cycle that started at 1000, they go out in the next one at the same offsets.
    std::vector<std::optional<std::uint32_t>> offsets;
    for (std::uint32_t stamp : {1000u, 1096u, 1192u}) {
        offsets.push_back(placer.Place(stamp, 1000 + kPeriod, kPeriod));
        placer.Written(stamp, 1000 + kPeriod + *offsets.back());
    }
    EXPECT_EQ(offsets, (std::vector<std::optional<std::uint32_t>>{0u, 96u, 192u}));
}

TEST(FramePlacer, AMessageStampedAfterTheCycleBeganWaitsForTheNext) {
    FramePlacer placer;
    EXPECT_EQ(placer.Place(1300, 1256, kPeriod), std::nullopt);
    EXPECT_EQ(placer.Place(1300, 1512, kPeriod), std::optional<std::uint32_t>(44));
}

TEST(FramePlacer, LateMessagesGoAtOnceButKeepHalfTheirSpacing) {
    FramePlacer placer;
    // A backlog from a stall: stamped 96 frames apart, due long ago.
    std::uint32_t last = 0;
    std::vector<std::uint32_t> frames;
    for (std::uint32_t stamp : {1000u, 1096u, 1192u, 1288u}) {
        const auto offset = placer.Place(stamp, 5000, kPeriod);
        ASSERT_TRUE(offset);
        last = 5000 + *offset;
        placer.Written(stamp, last);
        frames.push_back(last);
    }
    EXPECT_EQ(frames, (std::vector<std::uint32_t>{5000, 5048, 5096, 5144}));
    // Once caught up, a message on time is on time again.
    EXPECT_EQ(placer.Place(5300, 5300 + kPeriod, kPeriod), std::optional<std::uint32_t>(0));
}

TEST(FramePlacer, NeverBeforeTheMessageWrittenLastAndNeverOutsideTheCycle) {
    FramePlacer placer;
    placer.Written(2000, 2200);
    // Late, and stamped before the last one (the estimate wobbled): after it all the same.
    EXPECT_EQ(placer.Place(1700, 2048, kPeriod), std::optional<std::uint32_t>(152));
    // Beyond the cycle: the next one.
    EXPECT_EQ(placer.Place(2100, 2000, kPeriod), std::nullopt);
}

TEST(FramePlacer, AStampFarAheadOfTheCycleIsDueNow) {
    // The send's estimate ran on while the server stood still.
    FramePlacer placer;
    EXPECT_EQ(placer.Place(90000, 1000, kPeriod), std::optional<std::uint32_t>(0));
}

TEST(FramePlacer, FrameTimesWrapAround) {
    FramePlacer placer;
    const std::uint32_t start = 0xFFFFFF00u;  // the cycle after the send straddles the wrap
    const auto first = placer.Place(start, start + kPeriod, kPeriod);
    ASSERT_EQ(first, std::optional<std::uint32_t>(0));
    placer.Written(start, start + kPeriod);
    EXPECT_EQ(placer.Place(start + 200, start + kPeriod, kPeriod), std::optional<std::uint32_t>(200));
}

TEST(StampedRing, FillsToCapacityKeepsOrderAndRefusesMore) {
    StampedRing ring;
    for (std::uint32_t i = 0; i < StampedRing::kCapacity; ++i)
        ASSERT_TRUE(ring.Push({i, {0xB0, static_cast<std::uint8_t>(i & 0x7F), 1}}));
    EXPECT_FALSE(ring.Push({0, {0xB0, 0, 0}}));
    EXPECT_EQ(ring.Size(), StampedRing::kCapacity);
    for (std::uint32_t i = 0; i < StampedRing::kCapacity; ++i) {
        const auto* m = ring.Front();
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(m->frame, i);
        ring.Pop();
    }
    EXPECT_EQ(ring.Front(), nullptr);
    ring.Push({7, {0xB0, 1, 2}});
    ring.Reset();
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
        if (ring.Push({i, {0xB0, static_cast<std::uint8_t>(i & 0x7F), 0x55}}))
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

TEST(AlsaPortAddress, ReadsTheAddressRtMidiAppends) {
    EXPECT_EQ(AlsaPortAddress("Midi Through:Midi Through Port-0 14:0"), std::optional<int>(14 << 8));
    EXPECT_EQ(AlsaPortAddress("USB MIDI Interface:USB MIDI Interface MIDI 1 24:1"), std::optional<int>((24 << 8) | 1));
    EXPECT_EQ(AlsaPortAddress("Client:Port 255:255"), std::optional<int>(0xFFFF));
}

TEST(AlsaPortAddress, HostileNamesGiveNoAddress) {
    for (const std::string& name : std::vector<std::string>
         {"", " ", "no address", "Client:Port 256:0", "Client:Port 1:256", "Client:Port +1:2", "Client:Port 1:-2",
          "Client:Port 14:0 ", "Client:Port 1:2:3", "Client:Port :", "Client:Port 1:", "Client:Port :1",
          "Client:Port 0x1:2", "Client:Port 0001:2", std::string("Client:Port 1\0:2", 16), std::string(5000, ':'),
          "Client:Port \xFF\xFE:1"})
        EXPECT_EQ(AlsaPortAddress(name), std::nullopt) << name;
}

}  // namespace
