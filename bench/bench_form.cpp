// SPDX-License-Identifier: GPL-3.0-or-later
// CPU of the editor's own work, without any window and without the 2 ms device pauses:
// one slider notification (UserMovedSlider), one Transmit All, one Control Change of a learned knob.
// Sinks: (a) the port sink recording into the export event list, (b) an open fake port with a no-op pause.
#include "EditorRig.h"

#include "app/CQuarnEditApp.h"
#include "app/ControllerLearn.h"
#include "app/MidiMonitor.h"
#include "editor/CMainDlg.h"

#include <benchmark/benchmark.h>

namespace {

enum class Sink { Recording, FakePort };

// A shown form holding a loaded patch, its port sink on an open fake port or recording.
struct Form : EditorRig {
    Sink sink;

    explicit Form(Sink s) : sink(s) {
        ShowAndOpen();
        MidiPortSink& port = *app.m_portSink;
        // The lists as a loaded patch leaves them, so every handler has a selection to work with.
        app.m_mute = 1;
        for (const Oscillator& osc : kOscillators) {
            dlg.UserSelected(osc.wave, 2);
            dlg.UserSelected(osc.dist, 1);
            dlg.UserSelected(osc.modeList, 1);
        }
        dlg.UserSelected(ctl::FilterType, 11);
        for (int slot = 1; slot < kSlotCount; ++slot) dlg.UserMovedSlider(kSlotControls[slot], 100 + slot);
        app.m_mute = 0;
        if (sink == Sink::Recording) port.StartRecording();
        ports.bytes.clear();
    }

    // Empties what was sent now and then, keeping the capacity, so the lists stay small.
    void Drain() {
        if (sink == Sink::Recording) {
            if (app.m_portSink->events().size() >= 1 << 14) app.m_portSink->StartRecording();
        } else if (ports.bytes.size() >= 1 << 16) {
            ports.bytes.clear();
        }
    }
};

// A drag: the position changes on every notification, so the modulated row's source list gets a
// new first entry every time, as it does under the user's hand.
void SliderBench(benchmark::State& state, int slider, Sink sink) {
    Form f(sink);
    int position = 0;
    for (auto _ : state) {
        f.dlg.UserMovedSlider(slider, position);
        position = (position + 1) & 0xFF;
        f.Drain();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SliderModulated_Recording(benchmark::State& s) { SliderBench(s, ctl::Dco1Amp, Sink::Recording); }
void BM_SliderModulated_FakePort(benchmark::State& s) { SliderBench(s, ctl::Dco1Amp, Sink::FakePort); }
void BM_SliderPlain_Recording(benchmark::State& s) { SliderBench(s, ctl::Env1Attack, Sink::Recording); }
void BM_SliderPlain_FakePort(benchmark::State& s) { SliderBench(s, ctl::Env1Attack, Sink::FakePort); }
BENCHMARK(BM_SliderModulated_Recording)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SliderModulated_FakePort)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SliderPlain_Recording)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SliderPlain_FakePort)->Unit(benchmark::kMicrosecond);

// The same drag with the MIDI monitor open: every message decoded and kept.
void BM_SliderModulated_FakePort_MonitorOpen(benchmark::State& state) {
    Form f(Sink::FakePort);
    MidiMonitor monitor(f.dlg);
    f.app.m_portSink->SetTap(&monitor);
    int position = 0;
    for (auto _ : state) {
        f.dlg.UserMovedSlider(ctl::Dco1Amp, position);
        position = (position + 1) & 0xFF;
        f.Drain();
    }
    f.app.m_portSink->SetTap(nullptr);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SliderModulated_FakePort_MonitorOpen)->Unit(benchmark::kMicrosecond);

// One whole-patch transmission (66 messages) into the event list, and to the fake port without pauses.
void TransmitAllBench(benchmark::State& state, Sink sink) {
    Form f(sink);
    for (auto _ : state) {
        f.dlg.TransmitAll(false);
        f.Drain();
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_TransmitAll_Recording(benchmark::State& s) { TransmitAllBench(s, Sink::Recording); }
void BM_TransmitAll_FakePort(benchmark::State& s) { TransmitAllBench(s, Sink::FakePort); }
BENCHMARK(BM_TransmitAll_Recording)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TransmitAll_FakePort)->Unit(benchmark::kMicrosecond);

// Bringing the synthesizer to the form from what it holds: a look at what Transmit All would send, compared
// with the device's account. Arg 0: the device holds the form (nothing goes out); 1: one parameter differs.
void BM_SendWhatDiffers_FakePort(benchmark::State& state) {
    Form f(Sink::FakePort);
    f.dlg.TransmitAll(false);
    int position = 0;
    for (auto _ : state) {
        if (state.range(0) == 1) {
            state.PauseTiming();
            {
                const ScopedMute mute(f.app);
                f.dlg.UserMovedSlider(ctl::Env1Attack, position);
            }
            position = (position + 1) & 0xFF;
            state.ResumeTiming();
        }
        f.dlg.SendWhatDiffers();
        f.Drain();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SendWhatDiffers_FakePort)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A knob of the user's controller learned on a control: one Control Change from the input as the program's
// thread handles it (the binding found, the value mapped, the control moved through the user's entry point,
// the message sent, the monitor's text made). The value changes with every message, as a knob turned
// slowly does; "Unchanged" is a message that leaves the control where it is (a 0-127 knob over 0-7).
void KnobBench(benchmark::State& state, int control, bool fine) {
    Form f(Sink::FakePort);
    ControllerLearn& learn = f.app.Controllers();
    std::string what;
    learn.BeginLearn(control);
    learn.OnInputControlChange(0, 7, 0, 0, what);
    // The least significant half right after the learned message makes the pair.
    if (fine) learn.OnInputControlChange(0, 39, 0, 0, what);
    int value = 0;
    for (auto _ : state) {
        if (fine) {
            learn.OnInputControlChange(0, 7, value >> 7, 0, what);
            learn.OnInputControlChange(0, 39, value & 0x7F, 0, what);
            value = (value + 64) & 0x3FFF;
        } else {
            learn.OnInputControlChange(0, 7, value, 0, what);
            value = (value + 1) & 0x7F;
        }
        benchmark::DoNotOptimize(what.data());
        f.Drain();
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_LearnedKnob_Modulated(benchmark::State& s) { KnobBench(s, ctl::Dco1Amp, false); }
void BM_LearnedKnob_Plain(benchmark::State& s) { KnobBench(s, ctl::Env1Attack, false); }
void BM_LearnedKnob_List(benchmark::State& s) { KnobBench(s, ctl::Dco1AmpSource, false); }
// A 14-bit pair: both halves of one move per iteration.
void BM_LearnedKnob_Modulated14Bit(benchmark::State& s) { KnobBench(s, ctl::Dco1Amp, true); }
void BM_LearnedKnob_Unchanged(benchmark::State& state) {
    Form f(Sink::FakePort);
    ControllerLearn& learn = f.app.Controllers();
    std::string what;
    learn.BeginLearn(ctl::Step);
    learn.OnInputControlChange(0, 7, 0, 0, what);
    learn.OnInputControlChange(0, 7, 0, 0, what);
    int value = 0;
    for (auto _ : state) {
        learn.OnInputControlChange(0, 7, value, 0, what);  // 0-15 all stay on position 0
        value = (value + 1) & 0xF;
        benchmark::DoNotOptimize(what.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LearnedKnob_Modulated)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LearnedKnob_Plain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LearnedKnob_List)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LearnedKnob_Modulated14Bit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LearnedKnob_Unchanged)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
