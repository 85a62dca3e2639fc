// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line, run as a user's script would run it.
#include "JackPlayer.h"
#include "MidiDump.h"
#include "PrivateServer.h"

#include <RtMidi.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
};

// Runs the program with `args` (already quoted for the shell), with `environment` ("NAME=value ...") added to
// its own; stderr joins stdout.
ProgramRun Program(const std::string& args, const std::string& environment = "") {
    ProgramRun r;
    const std::string command = "env " + environment + " '" + QUARNEDIT_BIN + "' " + args + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

Bytes ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

struct CliTest : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quarn-cli-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
};

TEST_F(CliTest, HelpVersionAndBadArguments) {
    ProgramRun help = Program("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: quarnedit"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--export-midi"), std::string::npos);
    ProgramRun version = Program("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "QuarnEdit Version 1.1 beta 6\n");
    for (const char* bad : {"--bogus", "--export-midi", "--export-midi a.qnp", "--device 1", "--transmit a --device -3",
                            "--list-devices --transmit a", "a.qnp b.qnp"}) {
        ProgramRun r = Program(bad);
        EXPECT_NE(r.exitCode, 0) << bad;
        EXPECT_NE(r.out.find("quarnedit: "), std::string::npos) << bad << ": " << r.out;
    }
}

TEST_F(CliTest, ExportWritesTheMidiFileAndReportsFailures) {
    const fs::path out = dir / "name with spaces \xC3\xA9 \xFF.mid";
    ProgramRun r = Program("--export-midi " + Quote(QUARN_DEFAULT_PATCH) + " " + Quote(out));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "");
    const Bytes midi = ReadFile(out);
    ASSERT_EQ(midi.size(), 364u);
    EXPECT_EQ(Bytes(midi.begin(), midi.begin() + 4), (Bytes{'M', 'T', 'h', 'd'}));

    ProgramRun missing = Program("--export-midi " + Quote(dir / "missing.qnp") + " " + Quote(dir / "x.mid"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "Couldn't open input file\n");
    EXPECT_FALSE(fs::exists(dir / "x.mid"));

    ProgramRun badTarget = Program("--export-midi " + Quote(QUARN_DEFAULT_PATCH) + " " + Quote(dir / "no" / "dir.mid"));
    EXPECT_EQ(badTarget.exitCode, 1);
    EXPECT_EQ(badTarget.out, "Couldn't open output file\n");

    std::ofstream(dir / "foreign.qnp") << std::string(3000, 'z');
    ProgramRun foreign = Program("--export-midi " + Quote(dir / "foreign.qnp") + " " + Quote(dir / "y.mid"));
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_EQ(foreign.out, "Not a QuarnEdit Patch\n");
}

// Long names, spaces, non-ASCII and bytes that are not UTF-8 reach the file system unchanged, both ways;
// names that differ only in such bytes stay two files.
TEST_F(CliTest, ExportKeepsEveryByteOfBothNames) {
    const Bytes patch = ReadFile(QUARN_DEFAULT_PATCH);
    ASSERT_EQ(patch.size(), 2767u);
    for (const std::string& name : {std::string(200, 'L') + " long", std::string("with  spaces "),
                                    std::string("caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"), std::string("bad \xFF\xFE")}) {
        std::ofstream(dir / (name + ".qnp"), std::ios::binary).write(reinterpret_cast<const char*>(patch.data()), 2767);
        ProgramRun r = Program("--export-midi " + Quote(dir / (name + ".qnp")) + " " + Quote(dir / (name + ".mid")));
        EXPECT_EQ(r.exitCode, 0) << name << ": " << r.out;
        EXPECT_EQ(ReadFile(dir / (name + ".mid")).size(), 364u) << name;
    }
    for (const std::string option : {"--export-midi ", "--export-midi="}) {
        std::ofstream(dir / "p\xFF", std::ios::binary).write(reinterpret_cast<const char*>(patch.data()), 2767);
        fs::remove(dir / "p\xFE");
        ProgramRun r = Program(option + Quote(dir / "p\xFF") + " " + Quote(dir / "p\xFE"));
        EXPECT_EQ(r.exitCode, 0) << option << r.out;
        EXPECT_EQ(ReadFile(dir / "p\xFF"), patch) << option;  // the patch is not overwritten by its own export
        EXPECT_EQ(ReadFile(dir / "p\xFE").size(), 364u) << option;
    }
}

bool RequireJack() {
    const char* v = std::getenv("QUARN_REQUIRE_JACK");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

void Quiet(RtMidiError::Type, const std::string&, void*) {}

// What arrives at a JACK MIDI input when the program transmits a patch is what its export writes.
TEST_F(CliTest, TransmitSendsWhatTheExportWrites) {
    std::unique_ptr<RtMidiIn> in;
    try {
        in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "quarn-cli-synth", 4096);
        in->setErrorCallback(&Quiet);
        in->openVirtualPort("in");
        in->ignoreTypes(false, false, false);
    } catch (const RtMidiError&) {
    }

    ProgramRun list = Program("--list-devices");
    ASSERT_EQ(list.exitCode, 0) << list.out;
    int device = -1;
    std::string name;
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("quarn-cli-synth") != std::string::npos) {
            device = std::stoi(line);
            name = line.substr(line.find('\t') + 1);
        }
    }
    if (!in || device < 0) {
        if (RequireJack()) FAIL() << "no JACK input port to send to:\n" << list.out;
        GTEST_SKIP() << "no JACK server";
    }

    const fs::path out = dir / "patch.mid";
    ASSERT_EQ(Program("--export-midi " + Quote(QUARN_DEFAULT_PATCH) + " " + Quote(out)).exitCode, 0);
    const Bytes midi = ReadFile(out);
    ASSERT_EQ(midi.size(), 364u);
    Bytes expected;
    for (std::size_t i = 96; i + 4 <= midi.size() - 4; i += 4)
        expected.insert(expected.end(), midi.begin() + i + 1, midi.begin() + i + 4);

    // Everything that arrives, until the input has been quiet for a while (the program has ended by then).
    const auto collect = [&] {
        Bytes arrived;
        std::vector<unsigned char> message;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (auto quietSince = std::chrono::steady_clock::now();
             std::chrono::steady_clock::now() - quietSince < std::chrono::milliseconds(300) &&
             std::chrono::steady_clock::now() < deadline;) {
            in->getMessage(&message);
            if (message.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            arrived.insert(arrived.end(), message.begin(), message.end());
            quietSince = std::chrono::steady_clock::now();
        }
        return arrived;
    };
    // A server that overran while the patch was on its way (a loaded machine) costs the program its
    // confirmation of some messages: it sends their parameters again, and if it still cannot confirm them it
    // ends with 3 and says how many. Then every message that arrived must be one of the patch's, the patch's
    // messages must have arrived in order but for repeats, and the report must cover those that did not.
    bool overran = false;
    const auto transmitted = [&](const std::string& deviceArgument) {
        const ProgramRun transmit = Program("--transmit " + Quote(QUARN_DEFAULT_PATCH) + " --device " + deviceArgument);
        const Bytes arrived = collect();
        // "N of 66 messages were not delivered", and nothing else.
        unsigned long lost = 0;
        int used = 0;
        const bool reported =
            std::sscanf(transmit.out.c_str(), "%lu of 66 messages were not delivered\n%n", &lost, &used) == 1 &&
            used > 0 && static_cast<std::size_t>(used) == transmit.out.size() && std::isdigit(transmit.out[0]);
        if (transmit.exitCode == 3 && reported) {
            overran = true;
            std::size_t next = 0, inOrder = 0;
            for (std::size_t i = 0; i + 3 <= arrived.size(); i += 3) {
                const auto is = [&](std::size_t at) {
                    return std::equal(arrived.begin() + i, arrived.begin() + i + 3, expected.begin() + at);
                };
                bool sent = false;
                for (std::size_t at = 0; at + 3 <= expected.size() && !sent; at += 3) sent = is(at);
                ASSERT_TRUE(sent) << "a message arrived that was not sent";
                std::size_t ahead = next;
                while (ahead + 3 <= expected.size() && !is(ahead)) ahead += 3;
                if (ahead + 3 > expected.size()) continue;  // a repeat
                next = ahead + 3;
                ++inOrder;
            }
            EXPECT_GE(inOrder + lost, 66u) << transmit.out;
            return;
        }
        ASSERT_EQ(transmit.exitCode, 0) << transmit.out;
        EXPECT_EQ(arrived, expected);
    };
    const auto t0 = std::chrono::steady_clock::now();
    transmitted(std::to_string(device));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(132));  // the pauses were kept

    // The same device by its name; a name no device has is refused.
    transmitted("'" + name + "'");
    ProgramRun unknown = Program("--transmit " + Quote(QUARN_DEFAULT_PATCH) + " --device 'No Such Synth'");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.out, "no MIDI output device is called No Such Synth\n");
    if (overran) GTEST_SKIP() << "the server overran: the transmission was judged by its report";
}

// The server stands still in the middle of a transmission, longer than a close may wait: the messages that
// did not arrive are counted and the command fails; it never ends well with a patch half sent.
TEST_F(CliTest, TransmitThatCannotDeliverSaysHowManyAndFails) {
    PrivateServer server("cli-stall", 1024);
    if (!server.Up()) {
        if (RequireJack()) FAIL() << "could not start a private JACK server";
        GTEST_SKIP() << "no JACK server";
    }
    MidiDump dump(UniqueName("cli-stall-dump"));
    ASSERT_TRUE(dump.Ready());
    const ProgramRun list = Program("--list-devices");
    int device = -1;
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);)
        if (line.find(dump.Port()) != std::string::npos) device = std::stoi(line);
    ASSERT_GE(device, 0) << list.out;

    // The server stops as soon as the first message is seen at the input; the frame it stopped at is noted.
    jack_client_t* clock = jack_client_open(UniqueName("cli-clock").c_str(), JackNoStartServer, nullptr);
    ASSERT_NE(clock, nullptr);
    std::vector<MidiDump::Message> got;
    jack_nframes_t frozenAt = 0;
    std::thread stall([&] {
        using SteadyClock = std::chrono::steady_clock;
        for (const auto deadline = SteadyClock::now() + std::chrono::seconds(10);
             got.empty() && SteadyClock::now() < deadline;)
            got = dump.Collect(1, std::chrono::milliseconds(1));
        frozenAt = jack_frame_time(clock);
        server.Freeze();
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        server.Thaw();
    });
    const ProgramRun transmit =
        Program("--transmit " + Quote(QUARN_DEFAULT_PATCH) + " --device " + std::to_string(device));
    stall.join();
    jack_client_close(clock);
    for (auto& m : dump.Collect(66, std::chrono::seconds(1))) got.push_back(std::move(m));

    ASSERT_FALSE(got.empty()) << transmit.out;
    // On a loaded machine the first arrival may be seen late, after the whole patch had arrived: the server then
    // never stood still under the transmission, and there is nothing to judge.
    const bool arrivedBefore = std::all_of(got.begin(), got.end(), [&](const MidiDump::Message& m) {
        return static_cast<std::int32_t>(m.frame - frozenAt) < 0;
    });
    if (got.size() == 66 && arrivedBefore && transmit.exitCode == 0)
        GTEST_SKIP() << "the whole patch had arrived before the server stopped";
    ASSERT_LT(got.size(), 66u) << "the server stood still, yet everything arrived";
    EXPECT_EQ(transmit.exitCode, 3);
    const std::size_t lost = static_cast<std::size_t>(std::atoi(transmit.out.c_str()));
    EXPECT_EQ(transmit.out, std::to_string(lost) + " of 66 messages were not delivered\n");
    EXPECT_GE(got.size() + lost, 66u) << "messages lost without a word";
    RecordProperty("arrived", static_cast<int>(got.size()));
    RecordProperty("reported_undelivered", static_cast<int>(lost));
}

// Inputs come after the outputs, marked; the output lines stay "index<TAB>name".
TEST_F(CliTest, ListingNamesInputsAfterOutputs) {
    const std::string id = std::to_string(::getpid());
    MidiDump synth("quarn-cli-list-synth-" + id);
    JackPlayer keys("quarn-cli-list-keys-" + id);
    if (!synth.Ready() || !keys.Ready()) {
        if (RequireJack()) FAIL() << "no JACK server";
        GTEST_SKIP() << "no JACK server";
    }
    const ProgramRun list = Program("--list-devices");
    ASSERT_EQ(list.exitCode, 0) << list.out;
    std::istringstream lines(list.out);
    std::vector<std::string> outputs, inputs;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(inputs.empty() || line.rfind("input ", 0) == 0) << "an output after the inputs: " << line;
        (line.rfind("input ", 0) == 0 ? inputs : outputs).push_back(line);
    }
    const auto listed = [](const std::vector<std::string>& in, const std::string& text) {
        return std::any_of(in.begin(), in.end(), [&](const std::string& l) { return l.ends_with("\t" + text); });
    };
    EXPECT_TRUE(listed(outputs, synth.Port())) << list.out;
    EXPECT_TRUE(listed(inputs, keys.Port())) << list.out;
    EXPECT_FALSE(listed(outputs, keys.Port())) << list.out;
    for (const std::string& line : outputs) EXPECT_GE(std::stoi(line), 0) << line;
    EXPECT_EQ(list.out.find("QuarnEdit:"), std::string::npos) << "the program lists its own ports";
}

TEST_F(CliTest, ListingWithoutDevicesSaysSo) {
    // No JACK server by that name; where there is no ALSA sequencer either, there is no device at all.
    ProgramRun none = Program("--list-devices", "JACK_DEFAULT_SERVER=quarn-none-" + std::to_string(::getpid()));
    EXPECT_EQ(none.exitCode, 0);
    if (none.out.find('\t') == std::string::npos) {
        EXPECT_EQ(none.out, "no MIDI output devices\n");
    }
}

}  // namespace
