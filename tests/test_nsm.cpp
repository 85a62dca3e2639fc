// SPDX-License-Identifier: GPL-3.0-or-later
// The program under a session manager of the test's own: a small OSC server on the loopback that announces,
// opens, saves, switches, hides and shows, and ends the program as a session manager does (SIGTERM). The
// synthesizer and the knob are JACK clients of the test's own, on the private server ./test starts.
#include "JackKeys.h"
#include "MidiDump.h"
#include "TempDir.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <lo/lo.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool RequireJack() {
    const char* v = std::getenv("QUARN_REQUIRE_JACK");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One message as the session manager reads it: its path, types, and every argument as text.
struct Osc {
    std::string path;
    std::string types;
    std::vector<std::string> args;
};

class FakeManager {
public:
    FakeManager(const FakeManager&) = delete;
    FakeManager& operator=(const FakeManager&) = delete;
    FakeManager() {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in own{};
        own.sin_family = AF_INET;
        own.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&own), sizeof own);
        socklen_t length = sizeof own;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&own), &length);
        m_port = ntohs(own.sin_port);
    }
    ~FakeManager() { close(m_fd); }
    std::string Url() const { return "osc.udp://127.0.0.1:" + std::to_string(m_port) + "/"; }

    // The next message of `path`, skipping others (kept in `seen`); none when it does not come in time.
    std::optional<Osc> Expect(const std::string& path, std::chrono::milliseconds limit = 10s) {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= 0ms) return std::nullopt;
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            std::vector<char> buffer(65536);
            socklen_t length = sizeof m_client;
            const ssize_t size =
                recvfrom(m_fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&m_client), &length);
            if (size <= 0) continue;
            int result = 0;
            lo_message m = lo_message_deserialise(buffer.data(), static_cast<std::size_t>(size), &result);
            if (m == nullptr) continue;
            Osc osc{buffer.data(), lo_message_get_types(m), {}};
            lo_arg** argv = lo_message_get_argv(m);
            for (std::size_t i = 0; i < osc.types.size(); ++i) {
                // Copied out as bytes: liblo's pointers are 4-byte aligned, its union wants 8.
                const char* value = reinterpret_cast<const char*>(argv[i]);
                std::int32_t number = 0;
                std::memcpy(&number, value, sizeof number);
                osc.args.push_back(osc.types[i] == 'i'   ? std::to_string(number)
                                   : osc.types[i] == 's' ? std::string(value)
                                                         : std::string("?"));
            }
            lo_message_free(m);
            seen.push_back(osc.path);
            if (osc.path == path) return osc;
        }
    }
    void Send(const std::string& path, lo_message m) {
        std::size_t size = 0;
        void* bytes = lo_message_serialise(m, path.c_str(), nullptr, &size);
        sendto(m_fd, bytes, size, 0, reinterpret_cast<sockaddr*>(&m_client), sizeof m_client);
        std::free(bytes);
        lo_message_free(m);
    }
    void SendPlain(const std::string& path) { Send(path, lo_message_new()); }
    void SendOpen(const std::string& folder, const std::string& id) {
        lo_message m = lo_message_new();
        lo_message_add_string(m, folder.c_str());
        lo_message_add_string(m, "Song");
        lo_message_add_string(m, id.c_str());
        Send("/nsm/client/open", m);
    }
    std::vector<std::string> seen;

private:
    int m_fd = -1;
    int m_port = 0;
    sockaddr_in m_client{};
};

// The program, started by the session manager; it dies with the test.
class Program {
public:
    explicit Program(const std::string& url) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e)
            if (std::strncmp(*e, "NSM_URL=", 8) != 0 && std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0)
                env.push_back(*e);
        env.push_back("NSM_URL=" + url);
        env.push_back("QT_QPA_PLATFORM=offscreen");
        std::vector<std::string> args = {"setpriv", "--pdeathsig", "KILL", QUARNEDIT_BIN};
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        for (auto& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        if (posix_spawnp(&m_pid, "setpriv", nullptr, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    }
    ~Program() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    // The session manager's quit; the exit status, or -1 when it did not end within the limit.
    int Terminate(std::chrono::milliseconds limit = 10s) {
        kill(m_pid, SIGTERM);
        for (const auto deadline = Clock::now() + limit; Clock::now() < deadline;) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

private:
    pid_t m_pid = -1;
};

std::vector<std::string> JackPorts(const std::string& pattern) {
    std::vector<std::string> names;
    jack_client_t* c = jack_client_open("quarn-nsm-look", JackNoStartServer, nullptr);
    if (c == nullptr) return names;
    if (const char** ports = jack_get_ports(c, pattern.c_str(), nullptr, 0)) {
        for (const char** p = ports; *p != nullptr; ++p) names.emplace_back(*p);
        jack_free(ports);
    }
    jack_client_close(c);
    return names;
}

bool Contains(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& part) {
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

// Whether the synthesizer hears `part` within 10 s (what it hears before, the rest of a patch, is passed over).
bool Hears(MidiDump& synth, const std::vector<std::uint8_t>& part) {
    std::vector<std::uint8_t> heard;
    for (const auto deadline = Clock::now() + 10s; Clock::now() < deadline;) {
        const std::vector<std::uint8_t> more = MidiDump::Bytes(synth.Collect(1, 1s));
        heard.insert(heard.end(), more.begin(), more.end());
        if (Contains(heard, part)) return true;
    }
    std::string text;
    for (std::uint8_t b : heard) text += std::to_string(b) + " ";
    std::fprintf(stderr, "heard %zu bytes: %s\n", heard.size(), text.c_str());
    return false;
}

struct NsmSession : ::testing::Test {
    const std::string id = std::to_string(::getpid());
    MidiDump synth{"quarn-nsm-synth-" + id};
    JackKeys knobs{"quarn-nsm-knobs-" + id};
    TempDir dir;
    FakeManager manager;

    void SetUp() override {
        if (!synth.Ready() || !knobs.Ready()) {
            if (RequireJack()) FAIL() << "no JACK server";
            GTEST_SKIP() << "no JACK server";
        }
    }
    // Turns the learned knob until the session manager hears the patch changed: the program connects its
    // input on a thread of its own, so the first turns may come before it listens.
    bool TurnUntilDirty(std::uint8_t value) {
        for (int turn = 0; turn < 10; ++turn) {
            knobs.Play({0xB0, 74, value});
            if (manager.Expect("/nsm/client/is_dirty", 1s)) return true;
        }
        return false;
    }
    // The started program announces itself and is given `folder` as client `client`; false when any step did
    // not come.
    bool Join(const std::string& folder, const std::string& client) { return Join(manager, folder, client); }
    bool Join(FakeManager& manager, const std::string& folder, const std::string& client) {
        const auto announce = manager.Expect("/nsm/server/announce");
        if (!announce) return false;
        EXPECT_EQ(announce->types, "sssiii");
        EXPECT_EQ(announce->args.at(1), ":dirty:switch:optional-gui:");
        EXPECT_EQ(announce->args.at(2), "quarnedit");
        lo_message welcome = lo_message_new();
        for (const char* text : {"/nsm/server/announce", "welcome", "Fake manager", ":server-control:"})
            lo_message_add_string(welcome, text);
        manager.Send("/reply", welcome);
        manager.SendOpen(folder, client);
        const auto reply = manager.Expect("/reply");
        return reply && reply->args.at(0) == "/nsm/client/open";
    }
};

TEST_F(NsmSession, ASavedSessionComesBackWithItsPatchDevicesAndControllers) {
    const std::string song = dir / "song";
    fs::create_directories(song);
    // The devices and a learned knob (CC 74 on DCO1 Amp.) as the session's own settings.
    std::ofstream(song + "/settings.ini")
        << "[Options]\nMIDI Output Name=" << synth.Port() << "\nMIDI Input=0\nMIDI Input Name=" << knobs.Port()
        << "\n[Controllers]\nCount=1\nBinding1=74 1 1004\n";
    std::vector<std::uint8_t> saved;
    {
        Program program(manager.Url());
        ASSERT_TRUE(Join(song, "nQEsm1"));
        // The default patch goes to the synthesizer without a question, from a JACK client named by the id.
        EXPECT_GE(synth.Collect(60, 10s).size(), 60u);
        EXPECT_FALSE(JackPorts("^nQEsm1:").empty());
        EXPECT_TRUE(JackPorts("^QuarnEdit:").empty());

        ASSERT_TRUE(TurnUntilDirty(50)) << ::testing::PrintToString(manager.seen);
        EXPECT_TRUE(Hears(synth, {0xB0, 16, 1, 0xB0, 29, 100}));

        manager.SendPlain("/nsm/client/save");
        const auto reply = manager.Expect("/reply");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->args.at(0), "/nsm/client/save");
        EXPECT_EQ(manager.seen.end()[-2], "/nsm/client/is_clean");  // told as the save cleared it
        const std::string settings = ReadFile(song + "/settings.ini");
        EXPECT_NE(settings.find("Binding1=74 1 1004"), std::string::npos) << settings;
        EXPECT_NE(settings.find("MIDI Output Name=" + synth.Port()), std::string::npos) << settings;
        const std::string patch = ReadFile(song + "/patch.qnp");
        saved.assign(patch.begin(), patch.end());
        ASSERT_FALSE(saved.empty());

        manager.SendPlain("/nsm/client/hide_optional_gui");
        EXPECT_TRUE(manager.Expect("/nsm/client/gui_is_hidden"));
        manager.SendPlain("/nsm/client/show_optional_gui");
        EXPECT_TRUE(manager.Expect("/nsm/client/gui_is_shown"));
        EXPECT_EQ(program.Terminate(), 0);
    }
    // The user's own profile was never written.
    EXPECT_FALSE(fs::exists(std::string(std::getenv("XDG_CONFIG_HOME")) + "/QuarnEdit/QuarnEdit.INI"));

    Program again(manager.Url());
    ASSERT_TRUE(Join(song, "nQEsm1"));
    // The saved patch reaches the synthesizer (DCO1 Amp. at 100), and the knob still moves it.
    EXPECT_TRUE(Hears(synth, {0xB0, 16, 1, 0xB0, 29, 100}));
    ASSERT_TRUE(TurnUntilDirty(10));
    EXPECT_TRUE(Hears(synth, {0xB0, 16, 1, 0xB0, 29, 20}));

    // Hostile messages: a clear error each, and nothing lost.
    lo_message wrong = lo_message_new();
    lo_message_add_string(wrong, "/tmp");
    lo_message_add_int32(wrong, 7);
    lo_message_add_string(wrong, "nX");
    manager.Send("/nsm/client/open", wrong);
    auto error = manager.Expect("/error");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->types, "sis");
    EXPECT_EQ(error->args.at(0), "/nsm/client/open");
    manager.SendPlain("/nsm/client/no_such_thing");
    error = manager.Expect("/error");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->args.at(0), "/nsm/client/no_such_thing");
    // A settings file that cannot be replaced (a folder stands in its place): the save fails, the patch stays.
    fs::remove(song + "/settings.ini");
    fs::create_directories(song + "/settings.ini/x");
    manager.SendPlain("/nsm/client/save");
    error = manager.Expect("/error");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->args.at(0), "/nsm/client/save");
    EXPECT_NE(error->args.at(2).find("settings.ini"), std::string::npos) << error->args.at(2);
    const std::string patch = ReadFile(song + "/patch.qnp");
    EXPECT_EQ(std::vector<std::uint8_t>(patch.begin(), patch.end()), saved);

    // A switch to a new session, in the running program; its save writes there.
    const std::string other = dir / "other";
    manager.SendOpen(other, "nQEsm2");
    const auto switched = manager.Expect("/reply");
    ASSERT_TRUE(switched);
    EXPECT_EQ(switched->args.at(0), "/nsm/client/open");
    // Under the new client id, and the new session's patch (the default one) sent to the same synthesizer.
    EXPECT_FALSE(JackPorts("^nQEsm2:").empty());
    EXPECT_TRUE(JackPorts("^nQEsm1:").empty());
    EXPECT_GE(synth.Collect(60, 10s).size(), 60u);
    manager.SendPlain("/nsm/client/save");
    ASSERT_TRUE(manager.Expect("/reply"));
    EXPECT_TRUE(fs::exists(other + "/patch.qnp"));
    EXPECT_NE(ReadFile(other + "/settings.ini").find("MIDI Output Name=" + synth.Port()), std::string::npos);
    EXPECT_EQ(again.Terminate(), 0);
}

// Two synthesizers, two programs side by side on one server: each its own JACK client, each sending only to
// its own synthesizer.
TEST_F(NsmSession, TwoInstancesEachSendToTheirOwnSynthesizer) {
    MidiDump other{"quarn-nsm-synth2-" + id};
    ASSERT_TRUE(other.Ready());
    FakeManager second;
    const std::string a = dir / "a";
    const std::string b = dir / "b";
    fs::create_directories(a);
    fs::create_directories(b);
    std::ofstream(a + "/settings.ini") << "[Options]\nMIDI Output Name=" << synth.Port() << "\n";
    std::ofstream(b + "/settings.ini") << "[Options]\nMIDI Output Name=" << other.Port() << "\n";
    Program first(manager.Url());
    ASSERT_TRUE(Join(a, "nQEa"));
    Program next(second.Url());
    ASSERT_TRUE(Join(second, b, "nQEb"));
    EXPECT_GE(synth.Collect(60, 10s).size(), 60u);
    EXPECT_GE(other.Collect(60, 10s).size(), 60u);

    jack_client_t* look = jack_client_open("quarn-nsm-look", JackNoStartServer, nullptr);
    ASSERT_NE(look, nullptr);
    const auto connections = [&](const std::string& port) {
        std::vector<std::string> names;
        if (jack_port_t* p = jack_port_by_name(look, port.c_str())) {
            if (const char** c = jack_port_get_all_connections(look, p)) {
                for (const char** n = c; *n != nullptr; ++n) names.emplace_back(*n);
                jack_free(c);
            }
        }
        return names;
    };
    EXPECT_EQ(connections("nQEa:QuarnEdit out"), std::vector<std::string>{synth.Port()});
    EXPECT_EQ(connections("nQEb:QuarnEdit out"), std::vector<std::string>{other.Port()});
    jack_client_close(look);
    EXPECT_EQ(first.Terminate(), 0);
    EXPECT_EQ(next.Terminate(), 0);
}

}  // namespace
