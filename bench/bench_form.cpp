// CPU of the editor's own work, without any window and without the 2 ms device pauses:
// one slider notification (UserMovedSlider) and one Transmit All.
// Sinks: (a) the port sink recording into the export event list, (b) an open fake port with a no-op pause.
#include "EditorRig.h"

#include "app/CQuarnEditApp.h"
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

}  // namespace

BENCHMARK_MAIN();
