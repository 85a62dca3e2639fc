// SPDX-License-Identifier: GPL-3.0-or-later
// libjack's database left locked, as a client killed in the middle of its open leaves it: every later open
// waits for ever. The program must go on without JACK, say so once, and end when asked. The lock is taken in
// a /dev/shm of this test's own (tests/private_shm.sh), never in the machine's.
#include "TempDir.h"
#include "platform/BoundedCall.h"
#include "platform/MidiPortSignals.h"
#include "platform/MidiPortWatch.h"
#include "platform/RtMidiPorts.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// Generous bounds for things that happen at once when all is well.
constexpr auto kPatience = 30s;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The /dev/shm seen here belongs to this test alone: the wrapper made it, in a mount namespace not the
// machine's.
bool OwnShm() {
    if (std::getenv("QUARN_OWN_SHM") == nullptr) return false;
    struct stat ours {
    }, machines{};
    if (stat("/proc/self/ns/mnt", &ours) != 0) return false;
    return stat("/proc/1/ns/mnt", &machines) != 0 || ours.st_ino != machines.st_ino;
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& out = "/dev/null",
            const std::string& err = "/dev/null") {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

// Waits for the child to end (or, with `stopped`, to stop); its status, or nothing when the bound passed.
std::optional<int> WaitChild(pid_t pid, bool stopped = false) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG | (stopped ? WUNTRACED : 0));
        if (r == pid) return status;
        if (r < 0) return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
}

class StaleJackLock : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OwnShm()) GTEST_SKIP() << "needs a /dev/shm of its own: run through tests/private_shm.sh (as root)";
        setenv("JACK_NO_START_SERVER", "1", 1);
        m_holder = Spawn({QUARN_LOCK_HOLDER}, "/dev/null", m_dir / "holder.err");
        ASSERT_GT(m_holder, 0);
        const std::optional<int> status = WaitChild(m_holder, true);
        ASSERT_TRUE(status && WIFSTOPPED(*status))
            << "the holder did not stop in its open: " << ReadAll(m_dir / "holder.err");
    }
    void TearDown() override {
        // Killed as it stands, it leaves the lock taken: this /dev/shm goes with the test.
        if (m_holder > 0) {
            kill(m_holder, SIGKILL);
            waitpid(m_holder, nullptr, 0);
        }
    }

    TempDir m_dir;
    pid_t m_holder = -1;
};

TEST_F(StaleJackLock, ListDevicesEndsAndSaysOnceThatJackDoesNotAnswer) {
    const pid_t pid = Spawn({QUARNEDIT_BIN, "--list-devices"}, m_dir / "out", m_dir / "err");
    ASSERT_GT(pid, 0);
    const std::optional<int> status = WaitChild(pid);
    if (!status) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    ASSERT_TRUE(status) << "--list-devices did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    // Whatever ALSA ports the machine has are listed; JACK is told about once, before them.
    const std::string out = ReadAll(m_dir / "out");
    EXPECT_EQ(ReadAll(m_dir / "err"), std::string("JACK does not answer: its MIDI ports are not listed\n") +
                                          (out.empty() ? "no MIDI output devices\n" : ""));
}

TEST_F(StaleJackLock, PortsListWithoutJackTellOnceAndEndWithTheirWatch) {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::string> notices;
    auto ports = std::make_unique<RtMidiPorts>();
    ports->SetNoticeHandler([&](const std::string& text) {
        std::lock_guard lock(mutex);
        notices.push_back(text);
    });
    // The watch runs (and probes for a server, which waits on the lock as well).
    ports->SetChangeHandler([](MidiPortChange) {});
    const int count = ports->Count();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ports->Count(), count);
    EXPECT_FALSE(ports->Open(count));
    EXPECT_EQ(notices, std::vector<std::string>{RtMidiPorts::kJackSilentText});

    EXPECT_TRUE(RunWithin(kPatience, [p = std::shared_ptr<RtMidiPorts>(std::move(ports))]() mutable { p.reset(); }))
        << "the ports did not end";
}

TEST_F(StaleJackLock, WatchEndsWhileItsProbeWaits) {
    auto signals = std::make_shared<MidiPortSignals>();
    auto watch = std::make_unique<MidiPortWatch>(signals);
    // Its probe for a server (no client of ours is there) waits on the lock on a thread of its own.
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (BackgroundCall::AllFinishedWithin(0ms) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(BackgroundCall::AllFinishedWithin(0ms)) << "the watch never probed";
    EXPECT_TRUE(RunWithin(kPatience, [w = std::shared_ptr<MidiPortWatch>(std::move(watch))]() mutable { w.reset(); }))
        << "the watch did not end";
}

}  // namespace
