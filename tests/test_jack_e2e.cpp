// SPDX-License-Identifier: GPL-3.0-or-later
// End to end through a real JACK server: RtMidiPorts and ThreadPacer under MidiPortSink,
// with an RtMidiIn virtual port standing in for the instrument.
// ./test starts the server and names it in JACK_DEFAULT_SERVER; the failure cases start
// private servers of their own so they can stop or kill them.

#include "Fakes.h"
#include "MidiDump.h"
#include "PrivateServer.h"

#include "midi/MidiSink.h"
#include "platform/BoundedCall.h"
#include "platform/RtMidiPorts.h"
#include "platform/StampedRing.h"
#include "platform/ThreadPacer.h"

#include <RtMidi.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;
using Messages = std::vector<Bytes>;

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

bool RequireJack() {
    const char* v = std::getenv("QUARN_REQUIRE_JACK");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

#define SKIP_OR_FAIL(why)                 \
    do {                                  \
        if (RequireJack()) FAIL() << why; \
        GTEST_SKIP() << why;              \
    } while (0)

// The instrument: a JACK MIDI input port that keeps what arrives.
class Probe {
public:
    explicit Probe(const std::string& client)
        : m_in(std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, client, 4096)), m_port(client + ":probe") {
        m_in->openVirtualPort("probe");
    }
    const std::string& Port() const { return m_port; }
    // After its server died: unregistering the port of a dead client crashes inside libjack.
    // Kept reachable by a never-freed list, so that leak checkers see it is left on purpose.
    void Abandon() {
        static auto* const abandoned = new std::vector<std::unique_ptr<RtMidiIn>>;
        abandoned->push_back(std::move(m_in));
    }

    // Waits until `count` messages are in (or the time is up), then a little longer for extras.
    Messages Collect(std::size_t count, std::chrono::milliseconds limit = 2000ms) {
        Messages got;
        const auto deadline = Clock::now() + limit;
        auto settle = Clock::time_point::max();
        while (Clock::now() < std::min(deadline, settle)) {
            Bytes m;
            m_in->getMessage(&m);
            if (!m.empty()) {
                got.push_back(std::move(m));
                continue;
            }
            if (got.size() >= count && settle == Clock::time_point::max()) settle = Clock::now() + 50ms;
            std::this_thread::sleep_for(1ms);
        }
        return got;
    }

private:
    std::unique_ptr<RtMidiIn> m_in;
    std::string m_port;
};

int FindDevice(RtMidiPorts& ports, const std::string& port) {
    for (int i = 0, n = ports.Count(); i < n; ++i)
        if (auto name = ports.Name(i); name && name->find(port) != std::string::npos) return i;
    return -1;
}

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = 10s) {
    for (const auto t0 = Clock::now(); Clock::now() - t0 < limit; std::this_thread::sleep_for(10ms))
        if (condition()) return true;
    return condition();
}

struct JackE2E : ::testing::Test {
    void SetUp() override {
        if (!JackServerAnswers()) SKIP_OR_FAIL("no JACK server reachable (start the suite with ./test)");
    }
};

TEST_F(JackE2E, WideAndPage3ArriveExactlyAndInOrder) {
    RtMidiPorts ports;
    ThreadPacer pause;
    Probe probe(UniqueName("wide"));
    const int device = FindDevice(ports, probe.Port());
    ASSERT_GE(device, 0) << "probe port not listed";

    MidiPortSink sink(&ports, &pause);
    ASSERT_TRUE(sink.OpenDevice(device));
    const std::uint64_t faults = ports.JackServerFaults();
    sink.SendWide(ParamMessage(29, 200));
    sink.SendPage3(ParamMessage(5, 3));

    const Messages expected{{0xB0, 0x10, 0x02}, {0xB0, 0x1D, 0x48}, {0xB0, 0x10, 0x03}, {0xB0, 0x05, 0x03}};
    Messages got = probe.Collect(4);
    if (ports.JackServerFaults() == faults) {
        EXPECT_EQ(got, expected);
    } else {
        // After an overrun of a loaded server the pairs in doubt are sent again: what arrives ends on them.
        for (auto more = probe.Collect(SIZE_MAX, 300ms); !more.empty(); more = probe.Collect(SIZE_MAX, 300ms))
            got.insert(got.end(), more.begin(), more.end());
        ASSERT_GE(got.size(), expected.size()) << "the server overran";
        EXPECT_EQ(Messages(got.end() - static_cast<std::ptrdiff_t>(expected.size()), got.end()), expected)
            << "the server overran";
    }
    EXPECT_EQ(ports.DroppedMessages(), 0u);
}

TEST_F(JackE2E, CloseDisconnectsAndReopenDeliversAgain) {
    RtMidiPorts ports;
    Probe probe(UniqueName("reopen"));
    const int device = FindDevice(ports, probe.Port());
    ASSERT_GE(device, 0);

    ASSERT_TRUE(ports.Open(device));
    ports.Send(0xB0, 7, 1);
    EXPECT_EQ(probe.Collect(1), (Messages{{0xB0, 7, 1}}));

    ports.Close();
    EXPECT_FALSE(ports.IsOpen());
    ports.Send(0xB0, 7, 2);
    EXPECT_TRUE(probe.Collect(1, 300ms).empty());

    // Opening again (twice, as the device menu may) must neither duplicate nor lose messages.
    ASSERT_TRUE(ports.Open(device));
    ASSERT_TRUE(ports.Open(device));
    ports.Send(0xB0, 7, 3);
    EXPECT_EQ(probe.Collect(1), (Messages{{0xB0, 7, 3}}));
}

TEST_F(JackE2E, SendsWithoutOpenDeviceAreDroppedAtOnce) {
    RtMidiPorts ports;
    ThreadPacer pause;
    Probe probe(UniqueName("closed"));
    const int device = FindDevice(ports, probe.Port());
    ASSERT_GE(device, 0);

    // Far more than RtMidi's JACK ring holds: were they queued, the sender would spin forever.
    const auto t0 = Clock::now();
    for (int i = 0; i < 5000; ++i) ports.Send(0xB0, 1, static_cast<std::uint8_t>(i & 0x7F));
    EXPECT_LT(MsSince(t0), 5000.0);  // a hang guard: queued sends would spin for ever

    MidiPortSink sink(&ports, &pause);
    sink.SendWide(ParamMessage(29, 200));
    EXPECT_TRUE(probe.Collect(1, 300ms).empty());

    // Nothing was left waiting to be flushed by the next open.
    ASSERT_TRUE(ports.Open(device));
    ports.Send(0xB0, 2, 3);
    EXPECT_EQ(probe.Collect(1), (Messages{{0xB0, 2, 3}}));
}

TEST_F(JackE2E, ListFollowsPortsAsTheyComeAndGo) {
    RtMidiPorts ports;
    const std::string client = UniqueName("list");
    EXPECT_EQ(FindDevice(ports, client), -1);
    EXPECT_FALSE(ports.Name(-1));
    EXPECT_FALSE(ports.Name(ports.Count()));
    EXPECT_FALSE(ports.Open(-1));
    EXPECT_FALSE(ports.Open(ports.Count()));
    EXPECT_FALSE(ports.IsOpen());

    int device = -1;
    // PipeWire's library learns of ports a moment after they come and go.
    {
        Probe probe(client);
        EXPECT_TRUE(WaitUntil([&] { return (device = FindDevice(ports, probe.Port())) >= 0; }, 2s))
            << "a port that appeared after construction is not listed";
    }
    EXPECT_TRUE(WaitUntil([&] { return FindDevice(ports, client) == -1; }, 2s))
        << "a port that went away is still listed";
    if (device >= 0 && device < ports.Count()) {
        EXPECT_EQ(ports.Name(device)->find(client), std::string::npos);
    } else {
        EXPECT_FALSE(ports.Open(device));
    }
}

struct JackFailure : ::testing::Test {
    std::unique_ptr<PrivateServer> server;
    std::unique_ptr<RtMidiPorts> ports;
    std::unique_ptr<Probe> probe;
    int device = -1;

    void SetUp() override {
        server = std::make_unique<PrivateServer>("failing");
        if (!server->Up()) SKIP_OR_FAIL("could not start a private server");
        ports = std::make_unique<RtMidiPorts>();
        probe = std::make_unique<Probe>(UniqueName("victim"));
        device = FindDevice(*ports, probe->Port());
        ASSERT_GE(device, 0);
        ASSERT_TRUE(ports->Open(device));
        // The faults below start from a link known to carry data. On a daemon started a moment ago the
        // probe's own side may still be settling, so a first ping may go unheard; a few tries, then a fault.
        int unheard = 0;
        Messages got;
        for (; unheard < 5; ++unheard) {
            ports->Send(0xB0, 1, 1);
            if (!(got = probe->Collect(1, std::chrono::milliseconds(1000))).empty()) break;
        }
        ASSERT_FALSE(got.empty()) << "no ping reached the probe of a fresh server";
        EXPECT_EQ(got.front(), (Bytes{0xB0, 1, 1}));
        if (unheard > 0) std::cerr << "note: " << unheard << " ping(s) unheard before the first one arrived\n";
    }
    void TearDown() override {
        if (probe && !server->Running()) probe->Abandon();
        probe.reset();
        ports.reset();
        if (server) server->Stop();
    }

    // Sends `n` messages; returns the longest single Send in ms.
    double SendMany(int n) {
        double longest = 0;
        for (int i = 0; i < n; ++i) {
            const auto t0 = Clock::now();
            ports->Send(0xB0, 9, static_cast<std::uint8_t>(i & 0x7F));
            longest = std::max(longest, MsSince(t0));
        }
        return longest;
    }
};

TEST_F(JackFailure, DeadServerNeverBlocksSendOrClose) {
    server->Stop();
    const auto t0 = Clock::now();
    const double longest = SendMany(5000);
    // Hang guards, generous enough for a loaded machine: the faults they catch are sends that never
    // return and a close that waits a whole second.
    EXPECT_LT(MsSince(t0), 5000.0);
    EXPECT_LT(longest, 250.0);
    EXPECT_GT(ports->DroppedMessages(), 0u);

    const auto t1 = Clock::now();
    ports->Close();
    EXPECT_LT(MsSince(t1), 800.0);
    EXPECT_FALSE(ports->Open(device));
}

TEST_F(JackFailure, StalledServerDropsAndRecoversWhenItResumes) {
    server->Freeze();
    const auto t0 = Clock::now();
    const double longest = SendMany(5000);
    // Hang guards, generous enough for a loaded machine: the faults they catch are sends that never
    // return and a close that waits a whole second.
    EXPECT_LT(MsSince(t0), 5000.0);
    EXPECT_LT(longest, 250.0);
    EXPECT_GT(ports->DroppedMessages(), 0u);
    server->Thaw();

    // The backlog drains once cycles run again; after that sends go through.
    std::this_thread::sleep_for(200ms);
    probe->Collect(5000, 300ms);
    const auto dropped = ports->DroppedMessages();
    ports->Send(0xB0, 0x7F, 0x7F);
    EXPECT_EQ(ports->DroppedMessages(), dropped);
    EXPECT_EQ(probe->Collect(1), (Messages{{0xB0, 0x7F, 0x7F}}));
}

// A server that stops answering while a device is being opened (registering our port, connecting it) holds
// the open for as long as it stands still: the caller must get its answer within a bound, hear why, and the
// device must open again once the server goes on. Both a client whose port is there already and one that
// has yet to register it.
TEST_F(JackFailure, OpenOnFrozenServerGivesUpSaysSoAndOpensOnceItGoesOn) {
    ports->Close();
    std::vector<std::string> notices;
    ports->SetNoticeHandler([&](const std::string& text) { notices.push_back(text); });
    auto fresh = std::make_shared<RtMidiPorts>();
    const int freshDevice = FindDevice(*fresh, probe->Port());
    ASSERT_GE(freshDevice, 0);
    const std::string name = *ports->Name(device);

    server->Freeze();
    for (RtMidiPorts* p : {ports.get(), fresh.get()}) {
        auto opened = std::make_shared<std::atomic<bool>>(true);
        const int which = p == fresh.get() ? freshDevice : device;
        // A hang guard far above the open's own bound: the fault is an open that waits for the server.
        ASSERT_TRUE(RunWithin(20s, [p, which, opened] { *opened = p->Open(which); }))
            << "the open waits for the server";
        EXPECT_FALSE(*opened);
        EXPECT_FALSE(p->IsOpen());
    }
    EXPECT_EQ(notices, std::vector<std::string>{"JACK does not answer: " + name + " could not be opened"});
    // What still waits is among the calls the program's exit does not wait for.
    EXPECT_FALSE(BackgroundCall::AllFinishedWithin(0ms));
    // Again while the first open still waits: no second wait, no second word.
    auto again = std::make_shared<std::atomic<bool>>(true);
    ASSERT_TRUE(RunWithin(20s, [p = ports.get(), device = device, again] { *again = p->Open(device); }));
    EXPECT_FALSE(*again);
    server->Thaw();

    EXPECT_TRUE(WaitUntil([&] { return ports->Open(device); }));
    // As on a fresh server: the probe's own side may still be settling after the stall (a loaded jackd may
    // have skipped its cycles), so a first ping may go unheard; a few tries, then a fault.
    Messages got;
    for (int tries = 0; tries < 5 && got.empty(); ++tries) {
        ports->Send(0xB0, 5, 5);
        got = probe->Collect(1, 1000ms);
    }
    EXPECT_EQ(got, (Messages{{0xB0, 5, 5}}));
    EXPECT_TRUE(WaitUntil([&] { return fresh->Open(freshDevice); }));
}

// ---- what a third party sees at the input: jack_midi_dump with frame stamps ----------------------------

// 33 paged parameters, as a Transmit All sends them: 66 messages.
void SendPatchLike(MidiPortSink& sink) {
    for (int i = 0; i < 33; ++i) sink.SendWide(ParamMessage(i, (i * 37) & 0xFF));
}

Bytes PatchLikeBytes() {
    Bytes all;
    for (int i = 0; i < 33; ++i) {
        const int v = (i * 37) & 0xFF;
        all.insert(all.end(), {0xB0, 0x10, static_cast<unsigned char>(v > 127 ? 2 : 1), 0xB0,
                               static_cast<unsigned char>(i), static_cast<unsigned char>(v > 127 ? v - 128 : v)});
    }
    return all;
}

std::vector<Bytes> PatchLikeMessages() {
    const Bytes all = PatchLikeBytes();
    std::vector<Bytes> messages;
    for (std::size_t i = 0; i < all.size(); i += 3) messages.emplace_back(all.begin() + i, all.begin() + i + 3);
    return messages;
}

// Every message that arrived was sent, in the order sent; some may be missing (a server's overrun can cost
// a cycle, and then its messages are reported, not delivered).
bool InOrderFrom(const std::vector<MidiDump::Message>& got, const std::vector<Bytes>& sent) {
    std::size_t next = 0;
    for (const auto& m : got) {
        while (next < sent.size() && sent[next] != m.bytes) ++next;
        if (next == sent.size()) return false;
        ++next;
    }
    return true;
}

std::uint32_t SampleRate() {
    jack_client_t* c = jack_client_open("quarn-rate", JackNoStartServer, nullptr);
    if (c == nullptr) return 0;
    const std::uint32_t rate = jack_get_sample_rate(c);
    jack_client_close(c);
    return rate;
}

// The frame count of the 2 ms pause at `rate`, a part of a frame counted whole: 96 at 48 kHz, 89 at 44.1 kHz.
std::int64_t PauseFrames(std::uint32_t rate) { return (std::int64_t{rate} * 2 + 999) / 1000; }

// The smallest distance in frames between two consecutive arrivals.
std::int64_t SmallestGap(const std::vector<MidiDump::Message>& got) {
    std::int64_t smallest = INT64_MAX;
    for (std::size_t i = 1; i < got.size(); ++i)
        smallest = std::min<std::int64_t>(smallest, static_cast<std::int32_t>(got[i].frame - got[i - 1].frame));
    return smallest;
}

// A close reports a loss only when the server stalled or overran while the messages were on their way
// (then it cannot confirm them, and says so even if they arrived).
void ExpectNoLossReported(std::size_t reported, const RtMidiPorts& ports, std::uint64_t faultsBefore) {
    if (ports.JackServerFaults() == faultsBefore) {
        EXPECT_EQ(reported, 0u);
    }
}

struct JackAtInput : JackE2E {
    std::unique_ptr<MidiDump> dump;
    RtMidiPorts ports;
    int device = -1;
    void SetUp() override {
        JackE2E::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        dump = std::make_unique<MidiDump>(UniqueName("dump"));
        ASSERT_TRUE(dump->Ready()) << "jack_midi_dump did not come up";
        device = FindDevice(ports, dump->Port());
        ASSERT_GE(device, 0);
    }
};

// The pause after each message must survive the trip: messages sent 2 ms apart reach the input at least the
// 2 ms frame count apart, whatever the load, as long as the server keeps time.
TEST_F(JackAtInput, PatchArrivesWholeInOrderAndSpacedAsSent) {
    ThreadPacer pause;
    MidiPortSink sink(&ports, &pause);
    ASSERT_TRUE(sink.OpenDevice(device));
    const auto faults = ports.JackServerFaults();
    SendPatchLike(sink);
    const std::size_t reported = sink.CloseDevice();
    ExpectNoLossReported(reported, ports, faults);

    const auto got = dump->Collect(66);
    if (ports.JackServerFaults() != faults) {
        // The server overran: a reader may have missed a cycle, and the close must have owned up to it. The
        // overrun also broke the timeline the input stamps the frames on, so the spacing cannot be judged.
        EXPECT_GE(reported + got.size(), 66u);
        GTEST_SKIP() << "the server overran: " << got.size() << " of 66 arrived, " << reported << " reported";
    }
    EXPECT_EQ(MidiDump::Bytes(got), PatchLikeBytes());
    ASSERT_EQ(got.size(), 66u);
    const std::uint32_t rate = SampleRate();
    ASSERT_GT(rate, 0u);
    EXPECT_GE(SmallestGap(got), PauseFrames(rate)) << "frames at " << rate << " Hz";
}

// Closing right after a burst (no pauses: the whole burst sits in the queue) delivers all of it before the
// port leaves; the close reports no loss.
TEST_F(JackAtInput, CloseDeliversEverythingQueued) {
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(ports.Open(device));
        const auto faults = ports.JackServerFaults();
        Bytes sent;
        for (int i = 0; i < 66; ++i) {
            const auto v = static_cast<std::uint8_t>((round * 66 + i) & 0x7F);
            ports.Send(0xB0, 0x11, v);
            sent.insert(sent.end(), {0xB0, 0x11, v});
        }
        ExpectNoLossReported(ports.Close(), ports, faults);
        EXPECT_EQ(MidiDump::Bytes(dump->Collect(66)), sent) << "round " << round;
    }
}

// Users chose devices by the names RtMidi's JACK back end showed, and profiles keep them: ours are the same,
// in the same order, at the end of the list.
TEST_F(JackAtInput, JackNamesAndOrderAreThoseUsersKnow) {
    RtMidiOut reference(RtMidi::UNIX_JACK, "quarn-names");
    std::vector<std::string> theirs;
    for (unsigned i = 0, n = reference.getPortCount(); i < n; ++i) theirs.push_back(reference.getPortName(i));
    ASSERT_FALSE(theirs.empty());
    const int count = ports.Count();
    ASSERT_GE(count, static_cast<int>(theirs.size()));
    std::vector<std::string> ours;
    for (int i = count - static_cast<int>(theirs.size()); i < count; ++i) ours.push_back(ports.Name(i).value_or("?"));
    EXPECT_EQ(ours, theirs);
}

// ---- devices and servers that go away and come back ---------------------------------------------------

// What the change handler was told; it is called on library threads.
struct Changes {
    std::atomic<int> listChanged{0};
    std::atomic<int> deviceLost{0};
    MidiPortChangeHandler Handler() {
        return [this](MidiPortChange c) { ++(c == MidiPortChange::OpenDeviceLost ? deviceLost : listChanged); };
    }
};

// Sends `n` messages while the device is gone: none may wait, and every one is counted.
void ExpectSendsDroppedAtOnce(RtMidiPorts& ports, int n) {
    const auto before = ports.DroppedMessages();
    double longest = 0;
    for (int i = 0; i < n; ++i) {
        const auto t0 = Clock::now();
        ports.Send(0xB0, 3, static_cast<std::uint8_t>(i & 0x7F));
        longest = std::max(longest, MsSince(t0));
    }
    EXPECT_LT(longest, 250.0);  // a hang guard: the fault is a send that waits on a dead device
    EXPECT_EQ(ports.DroppedMessages() - before, static_cast<std::uint64_t>(n));
}

TEST_F(JackAtInput, DeviceThatQuitsIsReportedAndComesBackUnderItsName) {
    Changes seen;
    ports.SetChangeHandler(seen.Handler());
    const std::string name = *ports.Name(device);
    ASSERT_TRUE(ports.Open(device));
    const auto faultsAtOpen = ports.JackServerFaults();
    ports.Send(0xB0, 1, 1);
    EXPECT_EQ(MidiDump::Bytes(dump->Collect(1)), (Bytes{0xB0, 1, 1}));

    dump.reset();  // the instrument's client quits
    EXPECT_TRUE(WaitUntil([&] { return seen.deviceLost > 0; }));
    EXPECT_TRUE(ports.OpenDeviceLost());
    ExpectSendsDroppedAtOnce(ports, 50);
    const std::size_t lost = ports.Close();
    if (ports.JackServerFaults() == faultsAtOpen) {
        EXPECT_EQ(lost, 50u);
    } else {
        // An overrun around the first message made its delivery unsure: it may be counted too.
        EXPECT_GE(lost, 50u);
        EXPECT_LE(lost, 51u);
    }
    EXPECT_EQ(FindDevice(ports, name), -1);

    const int changes = seen.listChanged;
    dump = std::make_unique<MidiDump>(UniqueName("dump"));
    ASSERT_TRUE(dump->Ready());
    EXPECT_TRUE(WaitUntil([&] { return seen.listChanged > changes; }));
    const int again = FindDevice(ports, name);
    ASSERT_GE(again, 0);
    ASSERT_TRUE(ports.Open(again));
    EXPECT_FALSE(ports.OpenDeviceLost());
    const auto faults = ports.JackServerFaults();
    ports.Send(0xB0, 2, 2);
    ExpectNoLossReported(ports.Close(), ports, faults);
    EXPECT_EQ(MidiDump::Bytes(dump->Collect(1)), (Bytes{0xB0, 2, 2}));
    ports.SetChangeHandler(nullptr);
}

// A device that comes back is talked to as soon as its port shows, which may be before the instrument's own
// test of its port is over: it must hear every message from the first on (a walk once blamed the window for
// a first pair that the instrument itself had thrown away with its test pings).
TEST_F(JackE2E, InstrumentHearsASenderThatFindsItAtOnce) {
    struct Sender {
        jack_client_t* client = nullptr;
        jack_port_t* port = nullptr;
        std::atomic<int> sent{0};
        std::atomic<int> overruns{0};
        int connectedCycles = 0;
        static int Overrun(void* arg) {
            static_cast<Sender*>(arg)->overruns.fetch_add(1);
            return 0;
        }
        static int Process(jack_nframes_t frames, void* arg) {
            auto& self = *static_cast<Sender*>(arg);
            void* buffer = jack_port_get_buffer(self.port, frames);
            jack_midi_clear_buffer(buffer);
            // One message a cycle from the third cycle it is connected in, as the window's own output does: in
            // the first, a new connection may not carry yet.
            if (jack_port_connected(self.port) > 0) ++self.connectedCycles;
            if (const int i = self.sent.load(); i < 40 && self.connectedCycles >= 3) {
                const unsigned char m[3] = {0xB0, 0x11, static_cast<unsigned char>(i)};
                if (jack_midi_event_write(buffer, 0, m, 3) == 0) self.sent.store(i + 1);
            }
            return 0;
        }
    } sender;
    sender.client = jack_client_open(UniqueName("eager").c_str(), JackNoStartServer, nullptr);
    ASSERT_NE(sender.client, nullptr);
    // Closed before `sender` goes, on every way out: its callback uses it.
    const std::unique_ptr<jack_client_t, int (*)(jack_client_t*)> closing(sender.client, &jack_client_close);
    sender.port = jack_port_register(sender.client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_NE(sender.port, nullptr);
    ASSERT_EQ(jack_set_process_callback(sender.client, &Sender::Process, &sender), 0);
    ASSERT_EQ(jack_set_xrun_callback(sender.client, &Sender::Overrun, &sender), 0);
    ASSERT_EQ(jack_activate(sender.client), 0);

    const std::string name = UniqueName("heard");
    std::atomic<bool> stop{false};
    std::thread connecting([&] {
        const std::string target = name + ":input";
        while (!stop && (jack_port_by_name(sender.client, target.c_str()) == nullptr ||
                         jack_connect(sender.client, jack_port_name(sender.port), target.c_str()) != 0))
            std::this_thread::yield();
    });
    MidiDump dump(name);
    const bool ready = dump.Ready();
    stop = true;
    connecting.join();
    ASSERT_TRUE(ready);
    Bytes expected;
    for (int i = 0; i < 40; ++i) expected.insert(expected.end(), {0xB0, 0x11, static_cast<unsigned char>(i)});
    const std::vector<MidiDump::Message> got = dump.Collect(40);
    if (sender.overruns == 0) {
        EXPECT_EQ(MidiDump::Bytes(got), expected);
    } else {
        // A loaded server may have cost the instrument a cycle, and this sender repeats nothing: what arrived
        // came in the order sent, none twice.
        int last = -1;
        for (const MidiDump::Message& m : got) {
            ASSERT_EQ(m.bytes.size(), 3u);
            EXPECT_GT(m.bytes[2], last) << "out of order";
            last = m.bytes[2];
        }
    }
}

// The server dies under an open device and a new one starts: the handler hears of both, sends in between
// are dropped at once and counted, and the device of the same name opens and delivers on the new server.
TEST(JackRestart, OpenDeviceGoesWithTheServerAndComesBackWithIt) {
    PrivateServer server("restart");
    if (!server.Up()) SKIP_OR_FAIL("could not start a private server");
    Changes seen;
    RtMidiPorts ports;
    ports.SetChangeHandler(seen.Handler());
    auto dump = std::make_unique<MidiDump>(UniqueName("restart-dump"));
    ASSERT_TRUE(dump->Ready());
    const int device = FindDevice(ports, dump->Port());
    ASSERT_GE(device, 0);
    const std::string name = *ports.Name(device);
    ASSERT_TRUE(ports.Open(device));
    ports.Send(0xB0, 1, 1);
    EXPECT_EQ(MidiDump::Bytes(dump->Collect(1)), (Bytes{0xB0, 1, 1}));

    server.Kill();
    EXPECT_TRUE(WaitUntil([&] { return seen.deviceLost > 0; }));
    EXPECT_TRUE(ports.OpenDeviceLost());
    ExpectSendsDroppedAtOnce(ports, 200);
    EXPECT_GE(ports.Close(), 200u);
    dump.reset();
    EXPECT_EQ(FindDevice(ports, name), -1);

    const int changes = seen.listChanged;
    ASSERT_TRUE(server.Start());
    dump = std::make_unique<MidiDump>(UniqueName("restart-dump"));
    ASSERT_TRUE(dump->Ready());
    // Nothing of ours is on the new server yet: the watch must notice it, and the list follow at once.
    EXPECT_TRUE(WaitUntil([&] { return seen.listChanged > changes; }));
    const int again = FindDevice(ports, name);
    ASSERT_GE(again, 0) << "the device did not come back";
    ASSERT_TRUE(ports.Open(again));
    const auto faults = ports.JackServerFaults();
    ports.Send(0xB0, 2, 2);
    ExpectNoLossReported(ports.Close(), ports, faults);
    EXPECT_EQ(MidiDump::Bytes(dump->Collect(1)), (Bytes{0xB0, 2, 2}));
    ports.SetChangeHandler(nullptr);
}

// ---- closing on a starved server ----------------------------------------------------------------------

// A patch goes out at a 1024-frame period, and the close comes while the server stands still for
// `freeze`. Whatever happens, what arrived is the start of what was sent, and what did not arrive was
// reported by the close: never a silent loss.
struct CloseOnStarvedServer : ::testing::TestWithParam<int> {};

TEST_P(CloseOnStarvedServer, NeverLosesSilently) {
    const auto freeze = std::chrono::milliseconds(GetParam());
    PrivateServer server("starved", 1024);
    if (!server.Up()) SKIP_OR_FAIL("could not start a private server");
    MidiDump dump(UniqueName("starved-dump"));
    ASSERT_TRUE(dump.Ready());
    RtMidiPorts ports;
    const int device = FindDevice(ports, dump.Port());
    ASSERT_GE(device, 0);
    ThreadPacer pause;
    MidiPortSink sink(&ports, &pause);
    ASSERT_TRUE(sink.OpenDevice(device));
    SendPatchLike(sink);

    std::atomic<bool> thawed{false};
    if (freeze.count() > 0) server.Freeze();
    std::thread thaw([&] {
        std::this_thread::sleep_for(freeze);
        server.Thaw();
        thawed = true;
    });
    const std::size_t lost = sink.CloseDevice();
    const bool returnedFrozen = !thawed;
    thaw.join();

    const auto got = dump.Collect(66);
    EXPECT_TRUE(InOrderFrom(got, PatchLikeMessages()))
        << "a message arrived that was not sent, or out of order: " << ::testing::PrintToString(MidiDump::Bytes(got));
    EXPECT_GE(got.size() + lost, 66u) << "messages lost without a word";
    RecordProperty("arrived", static_cast<int>(got.size()));
    RecordProperty("reported_undelivered", static_cast<int>(lost));
    if (freeze >= 2s) {
        // The last message cannot have been confirmed before the server stopped, and the close may not
        // wait for a server that does not come back.
        EXPECT_GT(lost, 0u);
        EXPECT_TRUE(returnedFrozen);
    }
}

// No freeze (the load of the machine is the only starvation), one shorter than the close's limit, and one
// that outlasts it.
INSTANTIATE_TEST_SUITE_P(Freeze, CloseOnStarvedServer, ::testing::Values(0, 120, 2000));

// ---- healing after the server stood still ----------------------------------------------------------------

// The synthesizer as the input's bytes leave it: controller 16 sets the page, a parameter takes its page
// (page 2 adds 128 to the value, page 3 sets the modulation source).
std::map<std::pair<int, int>, int> SynthModel(const std::vector<MidiDump::Message>& got) {
    std::map<std::pair<int, int>, int> model;
    int page = 1;
    for (const auto& m : got) {
        if (m.bytes.size() != 3 || m.bytes[0] != 0xB0) continue;
        if (m.bytes[1] == 16) {
            page = m.bytes[2];
            continue;
        }
        model[{m.bytes[1], page == 3 ? 3 : 1}] = m.bytes[2] + (page == 2 ? 128 : 0);
    }
    return model;
}

// What the synthesizer holds after the patch-like messages. Parameter 16 of that test data reads as a page
// select at any input: not a value to compare.
std::map<std::pair<int, int>, int> PatchLikeModel() {
    std::map<std::pair<int, int>, int> sent;
    for (int i = 0; i < 33; ++i) sent[{i, 1}] = (i * 37) & 0xFF;
    sent.erase({16, 1});
    return sent;
}

// The server stops (SIGSTOP) for a while in the middle of a patch and goes on: what the reader may have missed
// around the stall is sent again once the server has settled, and the synthesizer ends on every value sent.
// What was in doubt was sent again and arrived, so a close then owns up to nothing lost.
TEST(JackHeal, AfterTheServerStoodStillTheSynthesizerEndsOnEveryValue) {
    PrivateServer server("heal", 256);
    if (!server.Up()) SKIP_OR_FAIL("could not start a private server");
    MidiDump dump(UniqueName("heal-dump"));
    ASSERT_TRUE(dump.Ready());
    RtMidiPorts ports;
    const int device = FindDevice(ports, dump.Port());
    ASSERT_GE(device, 0);
    ThreadPacer pacer;
    MidiPortSink sink(&ports, &pacer);
    ASSERT_TRUE(sink.OpenDevice(device));
    SendPatchLike(sink);
    std::vector<MidiDump::Message> got = dump.Collect(20);
    server.Freeze();
    std::this_thread::sleep_for(300ms);  // the fault itself: a server that stands still this long
    server.Thaw();
    // Everything, repeats included, until the input has been quiet for a while.
    for (auto more = dump.Collect(66, 3s); !more.empty(); more = dump.Collect(SIZE_MAX, 700ms))
        got.insert(got.end(), more.begin(), more.end());
    const std::uint64_t faultsBeforeClose = ports.JackServerFaults();
    const std::size_t lost = sink.CloseDevice();
    // A fault during the close may cost the reader what the close waits for: only then may it report a loss.
    if (ports.JackServerFaults() == faultsBeforeClose) {
        EXPECT_EQ(lost, 0u);
    }
    RecordProperty("server_faults", static_cast<int>(ports.JackServerFaults()));
    RecordProperty("arrived", static_cast<int>(got.size()));
    RecordProperty("reported_undelivered", static_cast<int>(lost));

    EXPECT_EQ(SynthModel(got), PatchLikeModel());
}

// ---- what a close owns up to around a stall ------------------------------------------------------------

// A reader that misses what it read in the cycle before a stall, as a reader of a graph that skips cycles
// while it catches up does: it keeps each cycle's messages back until the next cycle comes on time, and
// forgets them when that cycle comes late.
class ForgetfulReader {
public:
    explicit ForgetfulReader(const std::string& client) {
        m_client = jack_client_open(client.c_str(), JackNoStartServer, nullptr);
        if (m_client == nullptr) return;
        m_port = jack_port_register(m_client, "input", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, &ForgetfulReader::Process, this);
        if (m_port != nullptr && jack_activate(m_client) == 0) m_name = jack_port_name(m_port);
    }
    ~ForgetfulReader() {
        if (m_client != nullptr) jack_client_close(m_client);
    }
    ForgetfulReader(const ForgetfulReader&) = delete;
    ForgetfulReader& operator=(const ForgetfulReader&) = delete;

    bool Ready() const { return !m_name.empty(); }
    const std::string& Port() const { return m_name; }
    int Forgotten() const { return m_forgotten.load(); }
    // Everything kept so far, once the input has been quiet for `quiet`.
    std::vector<Bytes> Collect(std::chrono::milliseconds quiet) {
        std::vector<Bytes> got;
        for (auto until = Clock::now() + quiet; Clock::now() < until;) {
            if (const StampedRing::Message* m = m_kept.Front()) {
                got.push_back({m->bytes[0], m->bytes[1], m->bytes[2]});
                m_kept.Pop();
                until = Clock::now() + quiet;
            } else {
                std::this_thread::sleep_for(1ms);
            }
        }
        return got;
    }

private:
    static int Process(jack_nframes_t nframes, void* arg) {
        auto& self = *static_cast<ForgetfulReader*>(arg);
        const auto now = Clock::now();
        const bool late = self.m_last != Clock::time_point{} && now - self.m_last > 50ms;
        self.m_last = now;
        if (late) self.m_forgotten += static_cast<int>(self.m_pendingCount);
        for (std::size_t i = 0; !late && i < self.m_pendingCount; ++i) self.m_kept.Push(self.m_pending[i]);
        self.m_pendingCount = 0;
        void* buffer = jack_port_get_buffer(self.m_port, nframes);
        for (std::uint32_t i = 0, n = jack_midi_get_event_count(buffer); i < n; ++i) {
            jack_midi_event_t e;
            if (jack_midi_event_get(&e, buffer, i) != 0 || e.size != 3 || self.m_pendingCount == kMaxPending) continue;
            self.m_pending[self.m_pendingCount++] = {0, 0, {e.buffer[0], e.buffer[1], e.buffer[2]}};
        }
        return 0;
    }

    static constexpr std::size_t kMaxPending = 256;
    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    std::string m_name;
    StampedRing m_kept;
    // The process callback's own.
    Clock::time_point m_last{};
    std::array<StampedRing::Message, kMaxPending> m_pending{};
    std::size_t m_pendingCount = 0;
    std::atomic<int> m_forgotten{0};
};

// A paced stream of distinct messages, with the server stopped (SIGSTOP) in the middle of it for longer than
// a reader's patience. Whatever the reader missed around the stall, the close's count of undelivered messages
// covers it, and it never counts more than was sent.
TEST(JackStallCounts, UndeliveredIsNeverBelowWhatWasLostNorAboveWhatWasSent) {
    PrivateServer server("counts", 256);
    if (!server.Up()) SKIP_OR_FAIL("could not start a private server");
    ForgetfulReader reader(UniqueName("counts-reader"));
    ASSERT_TRUE(reader.Ready());
    RtMidiPorts ports;
    const int device = FindDevice(ports, reader.Port());
    ASSERT_GE(device, 0);
    ASSERT_TRUE(ports.Open(device));

    constexpr int kCount = 600;
    std::vector<Bytes> sent;
    std::thread stall;
    for (int i = 0; i < kCount; ++i) {
        if (i == kCount / 3) {
            server.Freeze();
            stall = std::thread([&] {
                std::this_thread::sleep_for(300ms);  // the fault itself: a server that stands still this long
                server.Thaw();
            });
        }
        const Bytes m{0xB0, static_cast<unsigned char>(i / 128), static_cast<unsigned char>(i % 128)};
        ports.Send(m[0], m[1], m[2]);
        sent.push_back(m);
        std::this_thread::sleep_for(1ms);  // paced, so that the stall falls in the middle of the stream
    }
    stall.join();
    const std::size_t reported = ports.Close();
    const std::vector<Bytes> got = reader.Collect(500ms);

    std::vector<MidiDump::Message> arrived;
    for (const Bytes& b : got) arrived.push_back({0, b});
    EXPECT_TRUE(InOrderFrom(arrived, sent)) << "a message arrived that was not sent, or twice, or out of order";
    const std::size_t lost = sent.size() - std::min(sent.size(), got.size());
    RecordProperty("server_faults", static_cast<int>(ports.JackServerFaults()));
    RecordProperty("forgotten", reader.Forgotten());
    RecordProperty("lost", static_cast<int>(lost));
    RecordProperty("reported_undelivered", static_cast<int>(reported));
    EXPECT_GE(reported, lost) << got.size() << " of " << kCount << " arrived";
    EXPECT_LE(reported, sent.size());
    // The server stood still in the middle: the close cannot have confirmed the cycles around it.
    EXPECT_GT(ports.JackServerFaults(), 0u);
}

// ---- a whole patch at the input, at the periods users run ------------------------------------------------

// A patch through the program's sink and its queue, at a server of the given period: all 66 messages in
// order, every gap at least the 2 ms pause's frame count, and the whole patch within 2% of its 132 ms of pauses
// plus one period from the moment it was sent. Frames are the server's own clock, so the figures
// hold however loaded the machine, as long as the server keeps time (an overrun breaks that timeline and is
// then checked by the fault tests instead).
struct TransmitAtPeriod : ::testing::TestWithParam<unsigned> {};

TEST_P(TransmitAtPeriod, AllMessagesSpacedAndOnTime) {
    const unsigned period = GetParam();
    PrivateServer server("period", period);
    if (!server.Up()) SKIP_OR_FAIL("could not start a private server");
    MidiDump dump(UniqueName("period-dump"));
    ASSERT_TRUE(dump.Ready());
    RtMidiPorts ports;
    const int device = FindDevice(ports, dump.Port());
    ASSERT_GE(device, 0);
    jack_client_t* clock = jack_client_open(UniqueName("clock").c_str(), JackNoStartServer, nullptr);
    ASSERT_NE(clock, nullptr);
    const std::uint32_t rate = jack_get_sample_rate(clock);
    ThreadPacer pacer;
    MidiPortSink sink(&ports, &pacer);
    ASSERT_TRUE(sink.OpenDevice(device));
    const auto faults = ports.JackServerFaults();
    const std::uint32_t start = jack_frame_time(clock);
    SendPatchLike(sink);
    const auto got = dump.Collect(66);
    const std::size_t lost = sink.CloseDevice();
    jack_client_close(clock);

    if (ports.JackServerFaults() != faults) {
        // What an overrun cost was reported, never lost silently (the healing is checked by JackHeal).
        EXPECT_GE(got.size() + lost, 66u);
        GTEST_SKIP() << "the server overran: its frames no longer tell the time";
    }
    EXPECT_EQ(MidiDump::Bytes(got), PatchLikeBytes());
    EXPECT_EQ(lost, 0u);
    ASSERT_EQ(got.size(), 66u);
    EXPECT_GE(SmallestGap(got), PauseFrames(rate)) << "frames at " << rate << " Hz";
    const auto whole = static_cast<std::int32_t>(got.back().frame - start);
    EXPECT_LE(whole, static_cast<std::int64_t>(rate) * 13464 / 100000 + period) << "frames at " << rate << " Hz";
}

INSTANTIATE_TEST_SUITE_P(Periods, TransmitAtPeriod, ::testing::Values(64u, 256u, 1024u));

TEST(RtMidiPortsQuiet, NoServerMeansNoJackDevicesAndNothingPrinted) {
    ScopedEnv server("JACK_DEFAULT_SERVER", UniqueName("nobody").c_str());
    ScopedEnv noStart("JACK_NO_START_SERVER", "1");
    ScopedEnv noPipeWire("PIPEWIRE_REMOTE", UniqueName("nobody").c_str());
    ScopedEnv debug("QUARN_MIDI_DEBUG", nullptr);

    ::testing::internal::CaptureStderr();
    {
        RtMidiPorts ports;
        std::vector<std::string> notices;
        ports.SetNoticeHandler([&](const std::string& text) { notices.push_back(text); });
        const int count = ports.Count();
        for (int i = 0; i < count; ++i) EXPECT_TRUE(ports.Name(i));  // only ALSA ports, if any
        EXPECT_FALSE(ports.Name(count));
        EXPECT_FALSE(ports.Open(count));
        ports.Send(0xB0, 1, 2);
        // No server is no silence: nothing is said.
        EXPECT_TRUE(notices.empty());
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// The pacer of a device without time stamps (the ALSA sequencer): each message is handed over at its due
// time, never before, from a thread whose timer slack is tight; the queuing thread never waits.
TEST(ThreadPacerTiming, HandsEachMessageOverAtItsDueTimeNeverBefore) {
    struct TimedPorts : RecordingPorts {
        std::vector<Clock::time_point> dues, handed;
        std::vector<long> slack;
        void SendAt(Clock::time_point due, std::uint8_t status, std::uint8_t d1, std::uint8_t d2,
                    std::uint32_t) override {
            handed.push_back(Clock::now());
            dues.push_back(due);
            slack.push_back(prctl(PR_GET_TIMERSLACK));
            Send(status, d1, d2);
        }
    } ports;
    ThreadPacer pacer;
    {
        MidiPortSink sink(&ports, &pacer);
        ASSERT_TRUE(sink.OpenDevice(0));
        for (int i = 0; i < 33; ++i) sink.SendWide(ParamMessage(i, i * 7));
        EXPECT_EQ(sink.CloseDevice(), 0u);
    }
    ASSERT_EQ(ports.bytes.size(), 66u * 3);
    ASSERT_EQ(ports.handed.size(), 66u);
    for (std::size_t i = 0; i < 66; ++i) {
        EXPECT_GE(ports.handed[i], ports.dues[i]) << i;
        EXPECT_EQ(ports.slack[i], 1) << i;
        if (i > 0) {
            EXPECT_EQ(ports.dues[i] - ports.dues[i - 1], MidiSendQueue::kSpacing) << i;
        }
    }
}

}  // namespace
