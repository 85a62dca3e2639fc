// MIDI output costs: recording a parameter into the export event list, and the wall time of
// a 66-message dump to a JACK device with the 2 ms pause after every message.
// bench/run starts a private JACK server for the device benchmarks.

#include "midi/MidiSink.h"
#include "platform/RtMidiPorts.h"
#include "platform/SleepPause.h"

#include <RtMidi.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <memory>
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

// The floor: 66 pauses and nothing sent.
void BM_Pauses66(benchmark::State& state) {
    SleepPause pause;
    double total = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int i = 0; i < kWideSends * 2; ++i) pause.AfterMessage();
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(s);
        total += s;
    }
    state.counters["ratio"] = total / static_cast<double>(state.iterations()) / kPausesAlone;
}
BENCHMARK(BM_Pauses66)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_JackDump66(benchmark::State& state) {
    RtMidiPorts ports;
    std::unique_ptr<RtMidiIn> receiver;
    const std::string port = "quarn-bench-" + std::to_string(getpid()) + ":sink";
    try {
        receiver = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, port.substr(0, port.find(':')), 4096);
        receiver->openVirtualPort("sink");
    } catch (const RtMidiError&) {
        receiver.reset();
    }
    int device = -1;
    for (int i = 0, n = ports.Count(); receiver && i < n; ++i)
        if (auto name = ports.Name(i); name && name->find(port) != std::string::npos) device = i;

    SleepPause pause;
    MidiPortSink sink(&ports, &pause);
    if (device < 0 || !sink.OpenDevice(device)) {
        state.SkipWithError("no JACK server (use bench/run)");
        return;
    }

    double total = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int i = 0; i < kWideSends; ++i) sink.SendWide(ParamMessage(i, (i * 7) & 0xFF));
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(s);
        total += s;
    }

    // Everything sent must have arrived, or the timing means little.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::size_t received = 0;
    std::vector<unsigned char> message;
    for (receiver->getMessage(&message); !message.empty(); receiver->getMessage(&message)) ++received;

    const auto iterations = static_cast<double>(state.iterations());
    state.counters["ratio"] = total / iterations / kPausesAlone;
    state.counters["delivered"] = static_cast<double>(received) / (iterations * kWideSends * 2);
    state.counters["dropped"] = static_cast<double>(ports.DroppedMessages());
}
BENCHMARK(BM_JackDump66)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
