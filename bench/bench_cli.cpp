// SPDX-License-Identifier: GPL-3.0-or-later
// `quarnedit --transmit default.qnp --device N` end to end, from process start to exit, at a JACK
// input standing in for the instrument. Besides the total it splits the run by the arrival times:
//   startup_ms  spawn to the first message at the input (Qt, profile, JACK clients, device, load)
//   span_ms     first to last message at the input (65 of the 66 pauses, plus the sends)
//   teardown_ms last message to the process's exit (the last pause, closing the device, exit)
// Arrival times are those of the JACK cycle that delivers a message, so each is late by up to one
// period of the server (256 frames at 48 kHz = 5.3 ms with bench/run's server).
#include <RtMidi.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMessages = 66;
constexpr double kPausesAloneMs = kMessages * 2.0;

struct Arrivals {
    std::array<Clock::time_point, 4096> at{};
    std::atomic<std::size_t> count{0};
};

void OnMessage(double, std::vector<unsigned char>*, void* data) {
    auto* a = static_cast<Arrivals*>(data);
    const std::size_t i = a->count.load(std::memory_order_relaxed);
    if (i < a->at.size()) a->at[i] = Clock::now();
    a->count.store(i + 1, std::memory_order_release);
}

void Quiet(RtMidiError::Type, const std::string&, void*) {}

// The device index the program itself lists for our input, as a user's script would find it.
int ListedDevice(const std::string& port) {
    const std::string command = std::string("'") + QUARNEDIT_BIN + "' --list-devices";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return -1;
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
    std::istringstream lines(out);
    int device = -1;
    for (std::string line; std::getline(lines, line);)
        if (line.find(port) != std::string::npos) device = std::stoi(line);
    return device;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void BM_CliTransmit(benchmark::State& state) {
    Arrivals arrivals;
    std::unique_ptr<RtMidiIn> in;
    const std::string client = "quarn-bench-cli-" + std::to_string(getpid());
    try {
        in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, client, 4096);
        in->setErrorCallback(&Quiet);
        in->setCallback(&OnMessage, &arrivals);
        in->openVirtualPort("in");
    } catch (const RtMidiError&) {
        in.reset();
    }
    const int device = in ? ListedDevice(client + ":in") : -1;
    if (device < 0) {
        state.SkipWithError("no JACK server (use bench/run)");
        return;
    }

    const std::string deviceArg = std::to_string(device);
    std::vector<std::string> args{QUARNEDIT_BIN, "--transmit", QUARN_DEFAULT_PATCH, "--device", deviceArg};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<double> total, startup, span, teardown;
    std::size_t delivered = 0;
    for (auto _ : state) {
        arrivals.count.store(0);
        const auto t0 = Clock::now();
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start quarnedit");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const auto t1 = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("quarnedit --transmit failed");
            return;
        }

        // Outside the timing: anything still on its way.
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const std::size_t n = std::min(arrivals.count.load(std::memory_order_acquire), arrivals.at.size());
        delivered += n;
        total.push_back(Ms(t1 - t0));
        if (n > 0) {
            startup.push_back(Ms(arrivals.at[0] - t0));
            span.push_back(Ms(arrivals.at[n - 1] - arrivals.at[0]));
            teardown.push_back(Ms(t1 - arrivals.at[n - 1]));
        }
        state.ResumeTiming();
    }
    state.counters["total_ms"] = Median(total);
    state.counters["total_ratio"] = Median(total) / kPausesAloneMs;
    state.counters["startup_ms"] = Median(startup);
    state.counters["span_ms"] = Median(span);
    // The transmit part: the span plus the pause after the last message.
    state.counters["transmit_ratio"] = (Median(span) + 2.0) / kPausesAloneMs;
    state.counters["teardown_ms"] = Median(teardown);
    state.counters["delivered"] =
        static_cast<double>(delivered) / (static_cast<double>(state.iterations()) * kMessages);
}
BENCHMARK(BM_CliTransmit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

// The same program doing less, to split the total: --version is process start, dynamic linking and
// exit; --list-devices adds Qt's core application and the MIDI ports (JACK clients opened and closed).
void RunToExit(benchmark::State& state, std::vector<std::string> args) {
    args.insert(args.begin(), QUARNEDIT_BIN);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    std::vector<double> times;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start quarnedit");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const auto t1 = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        times.push_back(Ms(t1 - t0));
    }
    posix_spawn_file_actions_destroy(&quiet);
    state.counters["total_ms"] = Median(times);
}
void BM_CliVersion(benchmark::State& state) { RunToExit(state, {"--version"}); }
void BM_CliListDevices(benchmark::State& state) { RunToExit(state, {"--list-devices"}); }
BENCHMARK(BM_CliVersion)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_CliListDevices)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

}  // namespace

BENCHMARK_MAIN();
