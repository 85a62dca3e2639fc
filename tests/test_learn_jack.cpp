// SPDX-License-Identifier: GPL-3.0-or-later
// Controller learn on a real JACK server: a knob box of the test's own (a process of its own) turns a knob into
// the program's input; its first message binds it, the next ones reach `jack_midi_dump` at the synthesizer's
// place as the paged parameter messages the form sends, and never raw. ./test starts the server and names it in
// JACK_DEFAULT_SERVER.
#include "JackKeys.h"
#include "MidiDump.h"
#include "ThruRig.h"

#include "app/ControllerLearn.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

using namespace std::chrono_literals;

bool RequireJack() {
    const char* v = std::getenv("QUARN_REQUIRE_JACK");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

struct JackLearn : ::testing::Test {
    const std::string id = std::to_string(::getpid());
    ThruRig rig;
    MidiDump synth{"quarn-synth-" + id};
    JackKeys knobs{"quarn-knobs-" + id};
    ControllerLearn& learn = rig.app.Controllers();

    void SetUp() override {
        if (!synth.Ready() || !knobs.Ready()) {
            if (RequireJack()) FAIL() << "no JACK server";
            GTEST_SKIP() << "no JACK server";
        }
        ASSERT_TRUE(rig.OpenOutput(synth.Port()));
        ASSERT_TRUE(rig.ChooseInput(knobs.Port()));
        rig.ShowForm();
    }
    // Plays a Control Change and routes what arrives, as the window's thread does, until `done` holds.
    template <typename Done>
    bool Turn(std::uint8_t controller, std::uint8_t value, Done done) {
        knobs.Play({0xB0, controller, value});
        for (const auto t0 = std::chrono::steady_clock::now(); std::chrono::steady_clock::now() - t0 < 5s;) {
            rig.Pump(50ms);
            if (done()) return true;
        }
        return false;
    }
};

TEST_F(JackLearn, TheFirstMessageBindsAndEveryMoveMovesTheSliderAsPagedMessages) {
    const std::uint64_t faults = rig.ports.JackServerFaults();
    learn.BeginLearn(ctl::Dco1Amp);
    CMainDlg& form = rig.app.form();
    ASSERT_TRUE(Turn(74, 5, [&] { return !learn.IsLearning() && form.m_dco1Amp == 10; }));
    EXPECT_EQ(learn.Bindings(), (std::vector<ControllerBinding>{{0, 74, ctl::Dco1Amp, false}}));

    ASSERT_TRUE(Turn(74, 100, [&] { return form.m_dco1Amp == 200; }));
    ASSERT_TRUE(Turn(74, 10, [&] { return form.m_dco1Amp == 20; }));
    const std::vector<std::uint8_t> moves{0xB0, 16, 1,  0xB0, 29, 10, 0xB0, 16, 2,
                                          0xB0, 29, 72, 0xB0, 16, 1,  0xB0, 29, 20};
    const auto heard = MidiDump::Bytes(synth.Collect(6, 5000ms));
    // After an overrun of a loaded server the window sends the slider's pair again with its value of the
    // moment: what arrives is then paged pairs that end on the last move.
    if (rig.ports.JackServerFaults() == faults) {
        EXPECT_EQ(heard, moves);
    } else {
        ASSERT_GE(heard.size(), 6u) << "the server overran";
        EXPECT_TRUE(std::equal(moves.end() - 6, moves.end(), heard.end() - 6)) << "the server overran";
        for (std::size_t i = 1; i < heard.size(); i += 3) {
            EXPECT_TRUE(heard[i] == 16 || heard[i] == 29);
        }
    }
    EXPECT_TRUE(form.CanUndo());
    // Unbound controllers that the paging would mistake pass nowhere; only a repeat of the slider's pair may.
    knobs.Play({0xB0, 16, 3});
    knobs.Play({0xB0, 29, 1});
    rig.Pump(500ms);
    const auto after = MidiDump::Bytes(synth.Collect(1, 200ms));
    if (rig.ports.JackServerFaults() == faults) {
        EXPECT_TRUE(after.empty());
    }
    EXPECT_EQ(after.size() % 3, 0u);
    for (std::size_t i = 0; i + 2 < after.size(); i += 3) {
        EXPECT_TRUE(std::equal(after.begin() + i, after.begin() + i + 3, moves.end() - (after[i + 1] == 16 ? 6 : 3)))
            << "the server overran";
    }
}

}  // namespace
