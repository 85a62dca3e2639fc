// SPDX-License-Identifier: GPL-3.0-or-later
// The morph and the variations: the CPU of one morph step and of one audition on the fakes, and at a JACK input the
// messages a one-second sweep sends and the time from the last move of the slider to the last message that arrives.
#include "EditorRig.h"
#include "Fakes.h"
#include "InstrumentModel.h"
#include "JackRecorder.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "editor/CMainDlg.h"
#include "editor/Morph.h"
#include "editor/Variations.h"
#include "platform/RtMidiPorts.h"
#include "platform/ThreadPacer.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// B as far from A as the sliders go, with another filter type and wave: every parameter moves.
PatchRecord FarFrom(const PatchRecord& a) {
    PatchRecord b = a;
    for (std::size_t slot = 1; slot < kRecordValueCount; ++slot) b.valueSlots[slot] = 255 - a.valueSlots[slot];
    for (std::size_t slot : {11u, 12u}) b.valueSlots[slot] = 15 - std::min(a.valueSlots[slot], 15);
    b.selections[StoredSelectionEntry(ctl::FilterType)] = 14;
    b.selections[StoredSelectionEntry(ctl::Dco1Wave)] = 2;
    return b;
}

InstrumentModel::Parameters TransmitAllHolds(const PatchRecord& record) {
    EditorRig e;
    e.ShowAndOpen();
    e.dlg.FillFromRecord(record);
    e.ports.bytes.clear();
    e.dlg.TransmitAll(false);
    InstrumentModel synth;
    synth.Take(e.ports.bytes);
    return synth.parameters;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::ranges::sort(v);
    return v[v.size() / 2];
}

// One step of the slider: the blend shown on the form, the changed parameters queued (the fake port takes
// them at once). Counter: messages queued per step.
void BM_MorphStep(benchmark::State& state) {
    EditorRig rig;
    rig.ShowAndOpen();
    rig.FillAsLoaded();
    rig.app.Sound().OnEditMorph();
    MorphSession& morph = *rig.app.Sound().Morph();
    morph.SetPatchB(FarFrom(rig.dlg.CaptureRecord()), "B");
    rig.ports.bytes.clear();
    int position = 0, direction = 1;
    std::size_t bytes = 0, steps = 0;
    for (auto _ : state) {
        if (position + direction < 0 || position + direction > kMorphEnd) direction = -direction;
        position += direction;
        morph.SetPosition(position);
        ++steps;
        if (rig.ports.bytes.size() > (1u << 16)) bytes += std::exchange(rig.ports.bytes, {}).size();
    }
    bytes += rig.ports.bytes.size();
    state.counters["messages_per_step"] = static_cast<double>(bytes) / 3 / static_cast<double>(steps);
}
BENCHMARK(BM_MorphStep);

// One audition of a variation: the variation shown on the document's form and queued whole (the fake port takes
// it at once), as a key 1-8 does.
void BM_VariationAudition(benchmark::State& state) {
    EditorRig rig;
    rig.ShowAndOpen();
    rig.FillAsLoaded();
    rig.app.Sound().SetRandomSeed(1);
    rig.app.Sound().OnEditVariations();
    VariationSession& variations = *rig.app.Sound().Variations();
    std::size_t index = 0;
    for (auto _ : state) {
        variations.Audition(index);
        index = (index + 1) % kVariationCount;
        if (rig.ports.bytes.size() > (1u << 16)) rig.ports.bytes.clear();
    }
}
BENCHMARK(BM_VariationAudition);

// A sweep from A to B (then back, and so on) in one second, in `range(0)` moves of the slider, at a JACK input.
// Counters (medians over the sweeps):
//   messages       messages that arrived for one sweep (a whole patch is 66)
//   lag_ms         from the last move to the arrival of the last message (frame times)
//   exact          the fraction of sweeps after which the input held exactly the end's patch
//   step_us        the program's thread's time for one move (blend, form, queue)
void BM_MorphSweepAtInput(benchmark::State& state) {
    const int moves = static_cast<int>(state.range(0));
    RtMidiPorts ports;
    JackRecorder input("quarn-bench-morph-" + std::to_string(getpid()));
    ThreadPacer pacer;
    ScriptedDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app({ports, pacer, profile, dialogs, location, libraries, clock, recovery});
    CMainDlg& form = app.form();
    form.OnInitialUpdate();
    dialogs.answers.push_back(MessageAnswer::No);
    if (!app.document().OnOpenDocument(QUARN_DEFAULT_PATCH)) {
        state.SkipWithError("default.qnp did not open");
        return;
    }
    int device = -1;
    for (int i = 0, n = ports.Count(); input.Ready() && i < n; ++i)
        if (auto name = ports.Name(i); name && *name == input.Port()) device = i;
    if (device < 0 || !app.CreatePortSink().OpenDevice(device)) {
        state.SkipWithError("no JACK server (use bench/run)");
        return;
    }
    const double rate = jack_get_sample_rate(input.Client());
    const PatchRecord a = form.CaptureRecord();
    const PatchRecord b = FarFrom(a);
    const InstrumentModel::Parameters holdsA = TransmitAllHolds(a),
                                      holdsB = TransmitAllHolds(BlendPatches(a, b, kMorphEnd));
    InstrumentModel synth;
    form.TransmitAll(false);
    for (const auto& m : input.Collect(66, std::chrono::seconds(2))) synth.Take(m.bytes);

    app.Sound().OnEditMorph();
    MorphSession& morph = *app.Sound().Morph();
    morph.SetPatchB(b, "B");
    std::vector<double> messages, lag, exact, stepUs;
    bool toB = true;
    for (auto _ : state) {
        const auto start = Clock::now();
        Clock::duration busy{};
        for (int i = 1; i <= moves; ++i) {
            const int at = i * kMorphEnd / moves;
            const auto t0 = Clock::now();
            morph.SetPosition(toB ? at : kMorphEnd - at);
            busy += Clock::now() - t0;
            if (i < moves) std::this_thread::sleep_until(start + std::chrono::microseconds(1000000) * i / moves);
        }
        const std::uint32_t lastMove = jack_frame_time(input.Client());
        const InstrumentModel::Parameters& expected = toB ? holdsB : holdsA;
        std::size_t count = 0;
        std::uint32_t lastFrame = lastMove;
        const auto deadline = Clock::now() + std::chrono::seconds(3);
        while (synth.parameters != expected && Clock::now() < deadline) {
            for (const auto& m : input.Collect(1, std::chrono::milliseconds(5))) {
                synth.Take(m.bytes);
                ++count;
                lastFrame = m.frame;
            }
        }
        // Anything later than the end would show here.
        for (const auto& m : input.Collect(1000, std::chrono::milliseconds(50))) {
            synth.Take(m.bytes);
            ++count;
            lastFrame = m.frame;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        messages.push_back(static_cast<double>(count));
        lag.push_back(static_cast<std::int32_t>(lastFrame - lastMove) / rate * 1e3);
        exact.push_back(synth.parameters == expected ? 1.0 : 0.0);
        stepUs.push_back(std::chrono::duration<double, std::micro>(busy).count() / moves);
        toB = !toB;
    }
    morph.Cancel();
    state.counters["messages"] = Median(messages);
    state.counters["lag_ms"] = Median(lag);
    double exactSum = 0;
    for (double e : exact) exactSum += e;
    state.counters["exact"] = exactSum / static_cast<double>(exact.size());
    state.counters["step_us"] = Median(stepUs);
}
BENCHMARK(BM_MorphSweepAtInput)->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

}  // namespace

BENCHMARK_MAIN();
