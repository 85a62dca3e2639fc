// SPDX-License-Identifier: GPL-3.0-or-later
// Thru latency on a JACK server, end to end: a keyboard of the benchmark's own plays notes into the program,
// which passes them on to a synthesizer's input of the benchmark's own; each note's time from the frame it
// was played at to the frame it arrived at, and where that time goes:
//   wake   the keyboard's cycle to the program's thread (the process callback reads the note and writes to
//          the eventfd; the program's thread wakes from its poll),
//   route  parsing, routing and queuing ahead on the program's thread,
//   rest   the pacer and the output's placement one period later (by design: one period).
// The target is one period and 1 ms. bench/run starts the server; the period is the server's.
// With "knob" as the third argument a knob learned on DCO1 Amp. turns instead of notes being played: its
// figure is the arrival of the parameter, which leaves 2 ms after its page select (target: 5 ms when nothing
// is queued).
#include "JackPlayer.h"
#include "JackRecorder.h"
#include "ThruRig.h"

#include "app/ControllerLearn.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using WallClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::uint32_t MicrosNow() {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(WallClock::now().time_since_epoch()).count());
}

struct Figures {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    double At(double q) {
        std::sort(values.begin(), values.end());
        if (values.empty()) return 0;
        return values[std::min(values.size() - 1, static_cast<std::size_t>(q * static_cast<double>(values.size())))];
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int notes = argc > 1 ? std::atoi(argv[1]) : 200;
    // The least time between two notes, in ms (a further 0-5 ms varies the phase).
    const int apart = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string id = std::to_string(::getpid());
    ThruRig rig;
    JackRecorder synth("bench-synth-" + id);
    JackPlayer keys("bench-keys-" + id);
    if (!synth.Ready() || !keys.Ready() || !rig.OpenOutput(synth.Port()) || !rig.ChooseInput(keys.Port())) {
        std::fprintf(stderr, "no JACK server, or its ports would not open\n");
        return 1;
    }
    const double msPerFrame = 1000.0 / keys.SampleRate();
    const double period = keys.Period() * msPerFrame;
    const bool knob = argc > 3 && std::strcmp(argv[3], "knob") == 0;
    if (knob) {
        rig.ShowForm();
        std::string what;
        rig.app.Controllers().BeginLearn(ctl::Dco1Amp);
        rig.app.Controllers().OnInputControlChange(0, 74, 0, 0, what);
    }

    // The program's thread: when each wake came and when its routing was done.
    std::atomic<bool> stop{false};
    StampedRing woken;
    std::thread program([&] {
        while (!stop) {
            pollfd wake{rig.inputs.WakeDescriptor(), POLLIN, 0};
            if (poll(&wake, 1, 20) <= 0) continue;
            const std::uint32_t wokeAt = MicrosNow();
            rig.inputs.ClearWake();
            const std::size_t before = rig.app.m_portSink->SentSinceOpen();
            rig.app.Inputs().OnInputReceived();
            // A wake that found nothing (its note was taken by the wake before) is no figure.
            if (rig.app.m_portSink->SentSinceOpen() != before) woken.Push({wokeAt, MicrosNow(), {}, 0});
        }
    });

    Figures total, wake, route, rest;
    int lost = 0;
    for (int i = 0; i < notes; ++i) {
        // Off the cycle's grid, so that every phase of the period is met.
        std::this_thread::sleep_for(std::chrono::microseconds(apart * 1000 + (i * 7919) % 5000));
        // A knob's value moves the slider every time, on page 1 and 2 by turns.
        const auto knobValue = static_cast<std::uint8_t>((i % 2 == 0 ? 20 : 80) + i % 40);
        keys.Play(knob ? std::vector<std::uint8_t>{0xB0, 74, knobValue}
                       : std::vector<std::uint8_t>{static_cast<std::uint8_t>(0x90 | (i % 16)),
                                                   static_cast<std::uint8_t>(36 + i % 48), 100});
        const std::optional<JackPlayer::Played> played = keys.NextPlayed(1000ms);
        const std::size_t expected = knob ? 2 : 1;
        const std::vector<StampedRing::Message> got = synth.Collect(expected, 1000ms);
        std::optional<StampedRing::Message> routed;
        for (const auto t0 = WallClock::now(); !routed && WallClock::now() - t0 < 1000ms;) {
            if (const StampedRing::Message* m = woken.Front()) {
                routed = *m;
                woken.Pop();
            }
        }
        if (!played || got.size() != expected || !routed) {
            std::fprintf(stderr, "message %d: %s\n", i,
                         !played                  ? "not played"
                         : got.size() != expected ? "did not arrive"
                                                  : "not routed");
            ++lost;
            continue;
        }
        const double all = static_cast<std::int32_t>(got.back().frame - played->frame) * msPerFrame;
        const double toWake = static_cast<std::int32_t>(routed->frame - played->micros) / 1000.0;
        const double routing = static_cast<std::int32_t>(routed->micros - routed->frame) / 1000.0;
        total.Add(all);
        wake.Add(toWake);
        route.Add(routing);
        rest.Add(all - toWake - routing);
    }
    stop = true;
    program.join();

    if (knob) {
        std::printf("learned knob on JACK, period %u frames (%.2f ms), %d moves %d+ ms apart, %d lost; target 5 ms\n",
                    keys.Period(), period, notes, apart, lost);
    } else {
        std::printf(
            "thru on JACK, period %u frames (%.2f ms), %d notes %d+ ms apart, %d lost; target one period + 1 ms = "
            "%.2f ms\n",
            keys.Period(), period, notes, apart, lost, period + 1);
    }
    std::printf("%-8s %9s %9s %9s\n", "ms", "median", "p95", "max");
    const auto row = [](const char* name, Figures& f) {
        std::printf("%-8s %9.3f %9.3f %9.3f\n", name, f.At(0.5), f.At(0.95), f.At(1.0));
    };
    row("total", total);
    row("wake", wake);
    row("route", route);
    row("rest", rest);
    return lost == 0 ? 0 : 2;
}
