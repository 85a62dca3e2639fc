// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI output costs: recording a parameter into the export event list, and the wall time of
// a 66-message dump to a JACK device with the 2 ms pause after every message: raw sends, the
// form's Transmit All, and the window-less transmit command (load + transmit) as the program runs it.
// bench/run starts a private JACK server for the device benchmarks.

#include "Fakes.h"
#include "JackRecorder.h"

#include "app/BatchCommands.h"
#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "app/Commands.h"
#include "app/DocumentLibraryHost.h"
#include "editor/CMainDlg.h"
#include "editor/ControlTable.h"
#include "midi/MidiSink.h"
#include "platform/RtMidiPorts.h"
#include "platform/ThreadPacer.h"

#ifndef QUARN_BENCH_PACER
#define QUARN_BENCH_PACER ThreadPacer
#endif

#include <RtMidi.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWideSends = 33;  // 66 messages
constexpr double kPausesAlone = kWideSends * 2 * 0.002;

void BM_SendWideRecording(benchmark::State& state) {
    MidiPortSink sink(nullptr, nullptr);
    sink.StartRecording();
    std::int32_t value = 0;
    for (auto _ : state) {
        sink.SendWide(ParamMessage(29, value));
        value = (value + 1) & 0xFF;
        // Keeps the list in cache-sized territory; clearing keeps the capacity.
        if (sink.events().size() >= 1 << 16) sink.StartRecording();
    }
    benchmark::DoNotOptimize(sink.events().data());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SendWideRecording);

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The CPU cost of one message through the send queue: queued by the sink on this thread, taken by the pacer's
// thread, and its departure collected again here. No device is open, so nothing paces it: this is the queue's
// own cost, without the device's and without the 2 ms waits.
void BM_QueuedMessage(benchmark::State& state) {
    RecordingPorts ports;
    ThreadPacer pacer;
    MidiPortSink sink(&ports, &pacer);
    std::int32_t value = 0;
    const std::clock_t cpu0 = std::clock();
    for (auto _ : state) {
        sink.SendDirect(ParamMessage(29, value));
        value = (value + 1) & 0x7F;
    }
    // Both threads' CPU time, per message.
    state.counters["process_cpu_us"] = benchmark::Counter(static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC *
                                                          1e6 / static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueuedMessage);

// A page select and its parameter queued as one unit by the program's thread, taken by the pacer's: the CPU
// the program's (the window's) thread spends per pair, and both threads together.
void BM_QueuedPair(benchmark::State& state) {
    RecordingPorts ports;
    ThreadPacer pacer;
    MidiPortSink sink(&ports, &pacer);
    std::int32_t value = 0;
    const auto threadCpu = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
    };
    const double thread0 = threadCpu();
    const std::clock_t cpu0 = std::clock();
    for (auto _ : state) {
        sink.SendWide(ParamMessage(29, value));
        value = (value + 1) & 0xFF;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["window_thread_ns"] = benchmark::Counter((threadCpu() - thread0) / n);
    state.counters["process_cpu_us"] =
        benchmark::Counter(static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC * 1e6 / n);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueuedPair);

// A JACK MIDI input standing in for the instrument, and the device index the ports give it.
struct JackReceiver {
    std::unique_ptr<RtMidiIn> in;
    int device = -1;

    explicit JackReceiver(RtMidiPorts& ports, const char* tag) {
        const std::string client = std::string("quarn-bench-") + tag + "-" + std::to_string(getpid());
        try {
            in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, client, 4096);
            in->openVirtualPort("sink");
        } catch (const RtMidiError&) {
            in.reset();
        }
        const std::string port = client + ":sink";
        for (int i = 0, n = ports.Count(); in && i < n; ++i)
            if (auto name = ports.Name(i); name && name->find(port) != std::string::npos) device = i;
    }
    // Everything that arrived, waiting up to a second for `expected` (a loaded machine delays the server),
    // then a moment more, so that anything beyond the expected shows as well.
    std::size_t Drain(std::size_t expected) {
        std::size_t received = 0;
        std::vector<unsigned char> message;
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        while (received < expected && Clock::now() < deadline) {
            in->getMessage(&message);
            if (message.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            ++received;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (in->getMessage(&message); !message.empty(); in->getMessage(&message)) ++received;
        return received;
    }
};

// Reports the median of the iteration times against the 66 pauses, and whether everything arrived.
void ReportAgainstFloor(benchmark::State& state, const std::vector<double>& times, std::size_t received,
                        double expectedMessages, const RtMidiPorts& ports) {
    state.counters["median_ms"] = Median(times) * 1e3;
    state.counters["ratio"] = Median(times) / kPausesAlone;
    state.counters["delivered"] = static_cast<double>(received) / expectedMessages;
    state.counters["dropped"] = static_cast<double>(ports.DroppedMessages());
}

void BM_JackDump66(benchmark::State& state) {
    RtMidiPorts ports;
    JackReceiver receiver(ports, "dump");
    ThreadPacer pause;
    MidiPortSink sink(&ports, &pause);
    if (receiver.device < 0 || !sink.OpenDevice(receiver.device)) {
        state.SkipWithError("no JACK server (use bench/run)");
        return;
    }

    std::vector<double> times;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int i = 0; i < kWideSends; ++i) sink.SendWide(ParamMessage(i, (i * 7) & 0xFF));
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(s);
        times.push_back(s);
    }
    // Everything sent must have arrived, or the timing means little.
    const auto expected = static_cast<std::size_t>(state.iterations()) * kWideSends * 2;
    ReportAgainstFloor(state, times, receiver.Drain(expected), static_cast<double>(expected), ports);
}
BENCHMARK(BM_JackDump66)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// MIDI Options > Transmit All on the default patch, answered Yes, to a JACK input: 66 messages.
void BM_JackTransmitAll(benchmark::State& state) {
    RtMidiPorts ports;
    JackReceiver receiver(ports, "all");
    ThreadPacer pause;
    ScriptedDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app({ports, pause, profile, dialogs, location, libraries, clock, recovery});
    CMainDlg& form = app.form();
    CQuarnEditDoc& document = app.document();
    form.OnInitialUpdate();
    dialogs.answers.push_back(MessageAnswer::No);  // the load's own transmit question
    if (!document.OnOpenDocument(QUARN_DEFAULT_PATCH)) {
        state.SkipWithError("default.qnp did not open");
        return;
    }
    if (receiver.device < 0 || !app.CreatePortSink().OpenDevice(receiver.device)) {
        state.SkipWithError("no JACK server (use bench/run)");
        return;
    }

    std::vector<double> times;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        form.TransmitAll(false);
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(s);
        times.push_back(s);
    }
    const auto expected = static_cast<std::size_t>(state.iterations()) * kWideSends * 2;
    ReportAgainstFloor(state, times, receiver.Drain(expected), static_cast<double>(expected), ports);
}
BENCHMARK(BM_JackTransmitAll)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// Transmit All as the instrument sees it: the program's own sink with its real 2 ms pause, sent to a JACK
// MIDI input of our own that stamps every message with the frame time it arrived at. The spacing at the
// input is what matters to a synthesizer behind a JACK-to-MIDI bridge. Counters (over all iterations):
//   min_gap_ms     the smallest distance between two consecutive messages of one Transmit All
//   gaps_lt_2ms    gaps under 2 ms, per Transmit All; gaps_lt_1_9ms: under 2 ms less 0.1 ms of clock jitter
//   delivered      messages that arrived, as a fraction of those sent (1: all 66 every time)
//   whole_ms       median time from the frame time at which Transmit All began to the arrival of its last
//                  message; the target is 1.05 x 132 ms plus one period
//   period_ms      the server's period
//   missing        messages that did not arrive (all Transmit Alls together); reported: how many the close
//                  of the device said were not delivered (it may say more, never fewer)
void BM_JackTransmitAllAtInput(benchmark::State& state) {
    RtMidiPorts ports;
    JackRecorder input("quarn-bench-gaps-" + std::to_string(getpid()));
    ThreadPacer pause;
    ScriptedDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app({ports, pause, profile, dialogs, location, libraries, clock, recovery});
    CMainDlg& form = app.form();
    CQuarnEditDoc& document = app.document();
    form.OnInitialUpdate();
    dialogs.answers.push_back(MessageAnswer::No);  // the load's own transmit question
    if (!document.OnOpenDocument(QUARN_DEFAULT_PATCH)) {
        state.SkipWithError("default.qnp did not open");
        return;
    }
    int device = -1;
    for (int i = 0, n = ports.Count(); input.Ready() && i < n; ++i)
        if (auto name = ports.Name(i); name && *name == input.Port()) device = i;
    MidiPortSink& sink = app.CreatePortSink();
    if (device < 0 || !sink.OpenDevice(device)) {
        state.SkipWithError("no JACK server (use bench/run)");
        return;
    }
    const double rate = jack_get_sample_rate(input.Client());
    const double period = jack_get_buffer_size(input.Client()) / rate * 1e3;

    double minGap = 1e9;
    std::size_t under2 = 0, under19 = 0, received = 0, transmits = 0;
    std::vector<double> whole;
    for (auto _ : state) {
        const std::uint32_t begin = jack_frame_time(input.Client());
        const auto t0 = Clock::now();
        form.TransmitAll(false);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        const auto got = input.Collect(kWideSends * 2, std::chrono::seconds(2));
        ++transmits;
        received += got.size();
        for (std::size_t i = 1; i < got.size(); ++i) {
            const double gap = static_cast<std::int32_t>(got[i].frame - got[i - 1].frame) / rate * 1e3;
            minGap = std::min(minGap, gap);
            under2 += gap < 2.0;
            under19 += gap < 1.9;
        }
        if (!got.empty()) whole.push_back(static_cast<std::int32_t>(got.back().frame - begin) / rate * 1e3);
    }
    // Whatever did not arrive must have been reported by the close: never a silent loss.
    const std::size_t reported = sink.CloseDevice();
    received += input.Collect(std::numeric_limits<std::size_t>::max(), std::chrono::milliseconds(100)).size();
    const double sent = static_cast<double>(transmits) * kWideSends * 2;
    state.counters["missing"] = sent - static_cast<double>(received);
    state.counters["reported"] = static_cast<double>(reported);
    state.counters["min_gap_ms"] = minGap;
    state.counters["gaps_lt_2ms"] = static_cast<double>(under2) / static_cast<double>(transmits);
    state.counters["gaps_lt_1_9ms"] = static_cast<double>(under19) / static_cast<double>(transmits);
    state.counters["delivered"] = static_cast<double>(received) / sent;
    state.counters["whole_ms"] = Median(whole);
    state.counters["period_ms"] = period;
}
BENCHMARK(BM_JackTransmitAllAtInput)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The window-less transmit command in-process: open the device, load default.qnp, transmit, close.
// The same code path as `quarnedit --transmit`, without the process start and the Qt and JACK set-up.
void BM_JackTransmitCommand(benchmark::State& state) {
    RtMidiPorts ports;
    JackReceiver receiver(ports, "cmd");
    ThreadPacer pause;
    if (receiver.device < 0) {
        state.SkipWithError("no JACK server (use bench/run)");
        return;
    }
    std::vector<double> times;
    for (auto _ : state) {
        std::ostringstream err;
        const auto t0 = Clock::now();
        ConsoleDialogs dialogs = TransmitDialogs(err);
        MapProfile profile;
        DirLocation location;
        NoLibraries libraries;
        ManualClock clock;
        MemoryRecovery recovery;
        int rc = 0;
        {
            CQuarnEditApp app({ports, pause, profile, dialogs, location, libraries, clock, recovery});
            rc = TransmitCommand(app, QUARN_DEFAULT_PATCH, receiver.device, err);
        }
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(s);
        times.push_back(s);
        if (rc != 0) {
            state.SkipWithError(err.str().c_str());
            return;
        }
    }
    const auto expected = static_cast<std::size_t>(state.iterations()) * kWideSends * 2;
    ReportAgainstFloor(state, times, receiver.Drain(expected), static_cast<double>(expected), ports);
}
BENCHMARK(BM_JackTransmitCommand)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The JACK work around a window-less transmit, phase by phase (medians, ms): creating the ports
// (ALSA probe, JACK monitor client, RtMidi's client), opening the device (port registered and
// connected), closing it, and destroying the ports (both clients closed).
void BM_JackPortsLifecycle(benchmark::State& state) {
    RtMidiPorts probePorts;
    JackReceiver receiver(probePorts, "life");
    if (receiver.device < 0) {
        state.SkipWithError("no JACK server (use bench/run)");
        return;
    }
    std::vector<double> create, open, close, destroy;
    const auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    for (auto _ : state) {
        const auto t0 = Clock::now();
        auto ports = std::make_unique<RtMidiPorts>();
        const auto t1 = Clock::now();
        const bool opened = ports->Open(receiver.device);
        const auto t2 = Clock::now();
        ports->Close();
        const auto t3 = Clock::now();
        ports.reset();
        const auto t4 = Clock::now();
        if (!opened) {
            state.SkipWithError("device did not open");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(t4 - t0).count());
        create.push_back(ms(t0, t1));
        open.push_back(ms(t1, t2));
        close.push_back(ms(t2, t3));
        destroy.push_back(ms(t3, t4));
    }
    state.counters["create_ms"] = Median(create);
    state.counters["open_ms"] = Median(open);
    state.counters["close_ms"] = Median(close);
    state.counters["destroy_ms"] = Median(destroy);
}
BENCHMARK(BM_JackPortsLifecycle)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

// The user-interface thread's wall time for what sends a whole patch, at a JACK input: MIDI Options >
// Transmit All (answered in advance), a load of default.qnp, Compare (F2, twice: the original, then the edit)
// and one library audition. Each iteration waits (outside the timing) until the input has had every message,
// so that the next starts on an idle device.
void BM_UiThreadWholePatch(benchmark::State& state) {
    static const char* const kNames[] = {"TransmitAll", "Load", "Compare", "Audition"};
    const int which = static_cast<int>(state.range(0));
    state.SetLabel(kNames[which]);
    RtMidiPorts ports;
    JackRecorder input("quarn-bench-ui-" + std::to_string(getpid()));
    QUARN_BENCH_PACER pause;
    ScriptedDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    RecordingFrame frame;
    CQuarnEditApp app({ports, pause, profile, dialogs, location, libraries, clock, recovery});
    dialogs.answers.push_back(MessageAnswer::No);
    if (!app.InitInstance(frame, std::string(QUARN_DEFAULT_PATCH))) {
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
    input.Collect(std::numeric_limits<std::size_t>::max(), std::chrono::milliseconds(300));
    CMainDlg& form = app.form();
    // Compare needs an edit to compare with.
    form.UserMovedSlider(ctl::Cutoff1, 17);
    std::vector<double> times;
    std::size_t received = 0, expected = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        switch (which) {
            case 0:
                dialogs.answers.push_back(MessageAnswer::Yes);
                app.OnCommand(cmd::TransmitAll);
                break;
            case 1:
                dialogs.answers.push_back(MessageAnswer::Yes);
                app.document().OnOpenDocument(QUARN_DEFAULT_PATCH);
                break;
            case 2: app.Sound().OnEditCompare(); break;
            case 3: app.Library().AuditionPatch(QUARN_DEFAULT_PATCH); break;
        }
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        state.PauseTiming();
        state.SetIterationTime(s);
        times.push_back(s);
        expected += kWideSends * 2;
        received += input.Collect(kWideSends * 2, std::chrono::seconds(2)).size();
        state.ResumeTiming();
    }
    state.counters["median_ms"] = Median(times) * 1e3;
    state.counters["max_ms"] = *std::max_element(times.begin(), times.end()) * 1e3;
    state.counters["delivered"] = static_cast<double>(received) / static_cast<double>(expected);
}
BENCHMARK(BM_UiThreadWholePatch)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
