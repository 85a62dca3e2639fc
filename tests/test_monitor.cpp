// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI monitor: every message the program sends, with what it means in the form's words.
#include "PatchFixtures.h"

#include "app/Commands.h"
#include "app/MidiMonitor.h"

namespace {

struct MonitorTest : ::testing::Test, StartedRig {
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartApp());
        ASSERT_TRUE(app.OnCommand(cmd::MidiMonitor));
        ASSERT_NE(frame.monitor, nullptr);
    }
    std::vector<std::string> Meanings() {
        std::vector<std::string> out;
        for (const MidiMonitor::Entry& e : frame.monitor->TakeNew()) out.push_back(e.meaning);
        return out;
    }
};

TEST_F(MonitorTest, EachMessageWithItsMeaning) {
    dlg.UserMovedSlider(ctl::Dco1Amp, 200);
    dlg.UserSelected(ctl::Dco1AmpSource, 8);
    dlg.UserSelected(ctl::Dco2Wave, 3);
    dlg.UserMovedSlider(ctl::Dco1Octave, 7);
    dlg.UserClicked(ctl::Boost);
    app.Sound().OnPlayTestNote();
    app.Sound().OnAllNotesOff();
    EXPECT_EQ(Meanings(), (std::vector<std::string>{
                              "page 2",
                              "DCO1 Amp. = 200",
                              "page 3",
                              "DCO1 Amp. <- Vel",
                              "page 1",
                              "DCO2 Wave = Tri, Dist. Mir",
                              "page 1",
                              "DCO1 Octave = 7, Std.",
                              "page 1",
                              "Filter word = 77",
                              "Note On C4, velocity 100",
                              "All Notes Off",
                              "All Sound Off",
                              "Note Off C4",
                          }));
    const std::deque<MidiMonitor::Entry>& entries = frame.monitor->Entries();
    ASSERT_EQ(entries.size(), 14u);
    EXPECT_EQ(std::vector<std::uint8_t>(entries[1].bytes, entries[1].bytes + 3), (Bytes{0xB0, 0x1D, 0x48}));
    EXPECT_EQ(frame.monitor->Line(entries[1]).substr(10), "  B0 1D 48  DCO1 Amp. = 200");
}

TEST_F(MonitorTest, ATransmissionCountsItsMessages) {
    app.form().TransmitAll(true);
    const std::vector<std::string> meanings = Meanings();
    ASSERT_EQ(meanings.size(), 66u);
    EXPECT_EQ(meanings[1], "Transmit All 1/33: Switches = 149");
    EXPECT_EQ(meanings[23], "Transmit All 12/33: DCO2 Amp. <- Bth");
    EXPECT_EQ(meanings[65], "Transmit All 33/33: Width = 99");  // the Cutoff2 row, as a band pass labels it
}

TEST_F(MonitorTest, PauseClearCapacityAndClosing) {
    frame.monitor->SetPaused(true);
    dlg.UserMovedSlider(ctl::Step, 3);
    EXPECT_TRUE(frame.monitor->Entries().empty());
    frame.monitor->SetPaused(false);
    for (int i = 0; i < 6000; ++i) dlg.UserMovedSlider(ctl::Step, i % 8);
    EXPECT_EQ(frame.monitor->Entries().size(), MidiMonitor::kCapacity);
    EXPECT_EQ(frame.monitor->TakeNew().size(), MidiMonitor::kCapacity);
    EXPECT_TRUE(frame.monitor->TakeNew().empty());
    frame.monitor->Clear();
    EXPECT_TRUE(frame.monitor->Entries().empty());

    // Closed, it listens no more: the port sink has no tap.
    app.MidiMonitorClosed();
    ports.bytes.clear();
    dlg.UserMovedSlider(ctl::Step, 5);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {24, 5}}));
}

}  // namespace
