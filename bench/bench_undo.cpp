// SPDX-License-Identifier: GPL-3.0-or-later
// Editing at the keyboard: how much memory a long editing session's undo steps hold, the CPU of one undo, and
// of one Randomize (the MIDI pauses are the fake's no-op, so what is measured is the editor's own work).
#include "EditorRig.h"

#include "editor/Mutation.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

namespace {

using namespace std::chrono_literals;

struct Session : EditorRig {
    Session() {
        ShowAndOpen();
        FillAsLoaded();
    }
    // One gesture of a mix like a sound designer's: mostly slider drags, then list choices, check boxes and
    // now and then a renamed patch.
    void Gesture(std::mt19937& rng) {
        clock.Advance(2s);
        const int kind = static_cast<int>(rng() % 100);
        if (kind < 70) {
            const ModulatedParam& row = kModulatedParams[rng() % kModulatedParams.size()];
            dlg.UserBeganDrag(row.slider);
            for (int i = 0; i < 10; ++i) dlg.UserMovedSlider(row.slider, static_cast<int>(rng() % 256));
            dlg.UserEndedGesture(row.slider);
        } else if (kind < 85) {
            const Oscillator& osc = kOscillators[rng() % 2];
            dlg.UserSelected(osc.wave, static_cast<int>(rng() % 24));
        } else if (kind < 95) {
            dlg.UserClicked(kSwitchBoxes[rng() % kSwitchBoxes.size()].box);
        } else {
            std::string name = "Patch";
            for (int i = 0; i < 8; ++i) {
                name += static_cast<char>('a' + rng() % 26);
                dlg.UserEdited(ctl::PatchName, name);
            }
            dlg.UserEndedGesture(ctl::PatchName);
        }
        ports.bytes.clear();
    }
};

void BM_HistoryMemoryPerStep(benchmark::State& state) {
    for (auto _ : state) {
        Session s;
        std::mt19937 rng(7);
        for (int i = 0; i < state.range(0); ++i) s.Gesture(rng);
        const EditHistory& history = s.dlg.History();
        state.counters["steps"] = static_cast<double>(history.StepCount());
        state.counters["bytes_per_step"] =
            static_cast<double>(history.MemoryBytes()) / static_cast<double>(history.StepCount());
    }
}
BENCHMARK(BM_HistoryMemoryPerStep)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// One undo and its redo of a slider step, back and forth.
void BM_UndoRedoSlider(benchmark::State& state) {
    Session s;
    s.dlg.UserBeganDrag(ctl::Dco1Amp);
    for (int p : {10, 100, 200}) s.dlg.UserMovedSlider(ctl::Dco1Amp, p);
    s.dlg.UserEndedGesture(ctl::Dco1Amp);
    for (auto _ : state) {
        s.dlg.Undo();
        s.dlg.Redo();
        s.ports.bytes.clear();
    }
    state.SetItemsProcessed(2 * state.iterations());
}
BENCHMARK(BM_UndoRedoSlider)->Unit(benchmark::kMicrosecond);

// The same for a filter type change, whose handler does the most.
void BM_UndoRedoFilterType(benchmark::State& state) {
    Session s;
    s.dlg.UserSelected(ctl::FilterType, 3);
    for (auto _ : state) {
        s.dlg.Undo();
        s.dlg.Redo();
        s.ports.bytes.clear();
    }
    state.SetItemsProcessed(2 * state.iterations());
}
BENCHMARK(BM_UndoRedoFilterType)->Unit(benchmark::kMicrosecond);

// One mutation at 100 % (Randomize) over every section, sent to the fake port (no pauses), and its undo.
void BM_Randomize(benchmark::State& state) {
    Session s;
    std::mt19937 random(11);
    MutationSettings all;
    all.amountPercent = 100;
    for (auto _ : state) {
        MutatePatch(s.dlg, all, random, true);
        state.PauseTiming();
        s.ports.bytes.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Randomize)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
