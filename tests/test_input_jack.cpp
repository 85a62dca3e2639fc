// SPDX-License-Identifier: GPL-3.0-or-later
// The input on a real JACK server: a keyboard of the test's own plays into the program, and a synthesizer's
// input of the test's own sees what passes through, re-channelled, and nothing that would break the paging.
// ./test starts the server and names it in JACK_DEFAULT_SERVER.
#include "JackKeys.h"
#include "MidiDump.h"
#include "ThruRig.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

using namespace std::chrono_literals;

bool RequireJack() {
    const char* v = std::getenv("QUARN_REQUIRE_JACK");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

// The program's thread, reading the input while the test waits at the synthesizer.
class Pumping {
public:
    explicit Pumping(ThruRig& rig)
        : m_thread([this, &rig] {
              while (!m_stop) rig.Pump(20ms);
          }) {}
    ~Pumping() {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct JackThru : ::testing::Test {
    const std::string id = std::to_string(::getpid());
    ThruRig rig;
    MidiDump synth{"quarn-synth-" + id};
    std::optional<JackKeys> keys;

    void SetUp() override {
        keys.emplace("quarn-keys-" + id);
        if (!synth.Ready() || !keys->Ready()) {
            if (RequireJack()) FAIL() << "no JACK server";
            GTEST_SKIP() << "no JACK server";
        }
        ASSERT_TRUE(rig.OpenOutput(synth.Port()));
        ASSERT_TRUE(rig.ChooseInput(keys->Port()));
    }
};

TEST_F(JackThru, NotesArriveRechannelledAndParameterControllersNeverPass) {
    // The program's own input port is no output device.
    for (int i = 0, n = rig.ports.Count(); i < n; ++i)
        EXPECT_EQ(rig.ports.Name(i).value_or("").find(RtMidiInputs::kPortName), std::string::npos);

    Pumping program(rig);
    for (std::vector<std::uint8_t> m : std::vector<std::vector<std::uint8_t>>{{0x92, 60, 100},
                                                                              {0xF8},
                                                                              {0xB2, 16, 2},
                                                                              {0xB2, 29, 100},
                                                                              {0xB2, 64, 127},
                                                                              {0xF0, 0x7E, 0x7F, 0xF7},
                                                                              {0xE2, 0, 0x40},
                                                                              {0xC2, 5},
                                                                              {0xFE},
                                                                              {0x82, 60, 0}})
        keys->Play(m);
    EXPECT_EQ(MidiDump::Bytes(synth.Collect(4, 5000ms)),
              (std::vector<std::uint8_t>{0x90, 60, 100, 0xB0, 64, 127, 0xE0, 0, 0x40, 0x80, 60, 0}));
    // Nothing more follows.
    EXPECT_TRUE(synth.Collect(1, 200ms).empty());
}

TEST_F(JackThru, AKeyboardThatQuitsIsToldOnceAndReadAgainWhenItIsBack) {
    const std::string name = keys->Port();
    keys.reset();
    const auto listed = [&] {
        for (int i = 0, n = rig.inputs.Count(); i < n; ++i)
            if (rig.inputs.Name(i) == name) return true;
        return false;
    };
    for (const auto t0 = std::chrono::steady_clock::now(); listed() && std::chrono::steady_clock::now() - t0 < 10s;)
        std::this_thread::sleep_for(10ms);
    rig.app.Inputs().OnMidiPortsChanged(MidiPortChange::ListChanged);
    EXPECT_TRUE(rig.app.Inputs().IsDeviceLost());
    // A notice in the window (test_input), never a box that would stop the player.
    EXPECT_TRUE(rig.dialogs.messages.empty());

    keys.emplace("quarn-keys-" + id);
    ASSERT_TRUE(keys->Ready());
    rig.app.Inputs().OnMidiPortsChanged(MidiPortChange::ListChanged);
    ASSERT_FALSE(rig.app.Inputs().IsDeviceLost());
    Pumping program(rig);
    keys->Play({0x9F, 64, 1});
    EXPECT_EQ(MidiDump::Bytes(synth.Collect(1, 5000ms)), (std::vector<std::uint8_t>{0x90, 64, 1}));
    EXPECT_TRUE(rig.dialogs.messages.empty());
}

}  // namespace
