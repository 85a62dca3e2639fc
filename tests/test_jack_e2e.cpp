// End to end through a real JACK server: RtMidiPorts and SleepPause under MidiPortSink,
// with an RtMidiIn virtual port standing in for the instrument.
// ./test starts the server and names it in JACK_DEFAULT_SERVER; the failure cases start
// private servers of their own so they can stop or kill them.

#include "midi/MidiSink.h"
#include "platform/RtMidiPorts.h"
#include "platform/SleepPause.h"

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
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;
using Messages = std::vector<Bytes>;

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

bool RequireJack() {
    const char* v = std::getenv("QUARN_REQUIRE_JACK");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

#define SKIP_OR_FAIL(why)                 \
    do {                                  \
        if (RequireJack()) FAIL() << why; \
        GTEST_SKIP() << why;              \
    } while (0)

void Quiet(const char*) {}

// server == nullptr: the one JACK_DEFAULT_SERVER names.
bool ServerAnswers(const char* server) {
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    jack_client_t* c = server ? jack_client_open("quarn-e2e-check", JackOptions(JackNoStartServer | JackServerName),
                                                 nullptr, server)
                              : jack_client_open("quarn-e2e-check", JackNoStartServer, nullptr);
    if (c == nullptr) return false;
    jack_client_close(c);
    return true;
}

std::string Unique(const std::string& tag) { return "quarn-" + tag + "-" + std::to_string(getpid()); }

class ScopedEnv {
public:
    ScopedEnv(const char* key, const char* value) : m_key(key) {
        if (const char* old = std::getenv(key)) m_old = old;
        if (value)
            setenv(key, value, 1);
        else
            unsetenv(key);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_key.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_key.c_str());
    }

private:
    std::string m_key;
    std::optional<std::string> m_old;
};

// A jackd of the test's own, which it may freeze or kill.
class PrivateServer {
public:
    explicit PrivateServer(const std::string& tag) : m_name(Unique(tag)) {
        // setpriv's parent-death signal takes the server down with a test that crashes; KILL
        // because a frozen server would sit on a TERM forever.
        std::vector<std::string> args = {"setpriv", "--pdeathsig", "KILL",  "jackd", "--no-realtime", "-n",
                                         m_name,    "-d",          "dummy", "-r",    "48000",         "-p", "256"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t io;
        posix_spawn_file_actions_init(&io);
        for (int fd = 0; fd <= 2; ++fd) posix_spawn_file_actions_addopen(&io, fd, "/dev/null", O_RDWR, 0);
        if (posix_spawnp(&m_pid, "setpriv", &io, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&io);
        for (auto t0 = Clock::now(); m_pid > 0 && Clock::now() - t0 < 10s; std::this_thread::sleep_for(50ms)) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            if (ServerAnswers(m_name.c_str())) {
                m_up = true;
                break;
            }
        }
    }
    ~PrivateServer() {
        Stop();
        // Clients of a server that died keep their semaphores; they carry the server's name.
        const std::string mark = "_" + m_name + "_";
        namespace fs = std::filesystem;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator("/dev/shm", ignored)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("jack_sem.", 0) == 0 && file.find(mark) != std::string::npos) fs::remove(entry.path(), ignored);
        }
    }

    bool Up() const { return m_up; }
    bool Running() const { return m_pid > 0; }
    const char* Name() const { return m_name.c_str(); }
    void Freeze() { kill(m_pid, SIGSTOP); }
    void Thaw() { kill(m_pid, SIGCONT); }
    void Stop() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGCONT);
        kill(m_pid, SIGTERM);
        for (auto t0 = Clock::now(); Clock::now() - t0 < 5s; std::this_thread::sleep_for(20ms))
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    std::string m_name;
    pid_t m_pid = -1;
    bool m_up = false;
};

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

struct JackE2E : ::testing::Test {
    void SetUp() override {
        if (!ServerAnswers(nullptr)) SKIP_OR_FAIL("no JACK server reachable (start the suite with ./test)");
    }
};

TEST_F(JackE2E, WideAndPage3ArriveExactlyAndInOrder) {
    RtMidiPorts ports;
    SleepPause pause;
    Probe probe(Unique("wide"));
    const int device = FindDevice(ports, probe.Port());
    ASSERT_GE(device, 0) << "probe port not listed";

    MidiPortSink sink(&ports, &pause);
    ASSERT_TRUE(sink.OpenDevice(device));
    sink.SendWide(ParamMessage(29, 200));
    sink.SendPage3(ParamMessage(5, 3));

    EXPECT_EQ(probe.Collect(4), (Messages{{0xB0, 0x10, 0x02}, {0xB0, 0x1D, 0x48}, {0xB0, 0x10, 0x03}, {0xB0, 0x05, 0x03}}));
    EXPECT_EQ(ports.DroppedMessages(), 0u);
}

TEST_F(JackE2E, CloseDisconnectsAndReopenDeliversAgain) {
    RtMidiPorts ports;
    Probe probe(Unique("reopen"));
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
    SleepPause pause;
    Probe probe(Unique("closed"));
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
    const std::string client = Unique("list");
    EXPECT_EQ(FindDevice(ports, client), -1);
    EXPECT_FALSE(ports.Name(-1));
    EXPECT_FALSE(ports.Name(ports.Count()));
    EXPECT_FALSE(ports.Open(-1));
    EXPECT_FALSE(ports.Open(ports.Count()));
    EXPECT_FALSE(ports.IsOpen());

    int device = -1;
    {
        Probe probe(client);
        device = FindDevice(ports, probe.Port());
        EXPECT_GE(device, 0) << "a port that appeared after construction is not listed";
    }
    EXPECT_EQ(FindDevice(ports, client), -1) << "a port that went away is still listed";
    if (device >= 0 && device < ports.Count()) {
        EXPECT_EQ(ports.Name(device)->find(client), std::string::npos);
    } else {
        EXPECT_FALSE(ports.Open(device));
    }
}

struct JackFailure : ::testing::Test {
    std::unique_ptr<PrivateServer> server;
    std::unique_ptr<ScopedEnv> env;
    std::unique_ptr<RtMidiPorts> ports;
    std::unique_ptr<Probe> probe;
    int device = -1;

    void SetUp() override {
        server = std::make_unique<PrivateServer>("failing");
        if (!server->Up()) SKIP_OR_FAIL("could not start a private jackd");
        env = std::make_unique<ScopedEnv>("JACK_DEFAULT_SERVER", server->Name());
        ports = std::make_unique<RtMidiPorts>();
        probe = std::make_unique<Probe>(Unique("victim"));
        device = FindDevice(*ports, probe->Port());
        ASSERT_GE(device, 0);
        ASSERT_TRUE(ports->Open(device));
        ports->Send(0xB0, 1, 1);
        ASSERT_EQ(probe->Collect(1), (Messages{{0xB0, 1, 1}}));
    }
    void TearDown() override {
        if (probe && !server->Running()) probe->Abandon();
        probe.reset();
        ports.reset();
        if (server) server->Stop();
        env.reset();
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

TEST(RtMidiPortsQuiet, NoServerMeansNoJackDevicesAndNothingPrinted) {
    ScopedEnv server("JACK_DEFAULT_SERVER", Unique("nobody").c_str());
    ScopedEnv noStart("JACK_NO_START_SERVER", "1");
    ScopedEnv debug("QUARN_MIDI_DEBUG", nullptr);

    ::testing::internal::CaptureStderr();
    const auto t0 = Clock::now();
    {
        RtMidiPorts ports;
        const int count = ports.Count();
        for (int i = 0; i < count; ++i) EXPECT_TRUE(ports.Name(i));  // only ALSA ports, if any
        EXPECT_FALSE(ports.Name(count));
        EXPECT_FALSE(ports.Open(count));
        ports.Send(0xB0, 1, 2);
    }
    const double ms = MsSince(t0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_LT(ms, 3000.0);
}

TEST(SleepPauseTiming, PausesAreNeverShortAndBarelyLong) {
    SleepPause pause;
    EXPECT_EQ(prctl(PR_GET_TIMERSLACK), 1);

    const auto t0 = Clock::now();
    for (int i = 0; i < 66; ++i) pause.AfterMessage();
    const double ms = MsSince(t0);
    EXPECT_GE(ms, 132.0);
    // The benchmark holds the tight figure; this only catches a pause gone badly wrong.
    EXPECT_LT(ms, 132.0 * 3);

    // A pause used from another thread tightens that thread's slack too.
    long slack = 0;
    std::thread([&] {
        pause.AfterMessage();
        slack = prctl(PR_GET_TIMERSLACK);
    }).join();
    EXPECT_EQ(slack, 1);
}

}  // namespace
