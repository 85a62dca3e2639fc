// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A JACK server of a test's own, which it may freeze, kill and start again: jackd (dummy driver), or, when
// the tests run under pw-jack (QUARN_JACK_SERVER=pipewire), a PipeWire daemon with its default configuration
// in a runtime directory of its own, where its dummy driver schedules the JACK clients. Either dies with a
// test that crashes. While it lives, the test process's JACK clients reach it and no other server.

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

inline bool OnPipeWire() {
    const char* kind = std::getenv("QUARN_JACK_SERVER");
    return kind != nullptr && std::strcmp(kind, "pipewire") == 0;
}

inline std::string UniqueName(const std::string& tag) { return "quarn-" + tag + "-" + std::to_string(getpid()); }

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
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_key;
    std::optional<std::string> m_old;
};

inline void QuietJackMessages(const char*) {}

// True when a JACK client can be opened on the server the environment names.
inline bool JackServerAnswers() {
    jack_set_error_function(QuietJackMessages);
    jack_set_info_function(QuietJackMessages);
    jack_client_t* c = jack_client_open("quarn-check", JackNoStartServer, nullptr);
    if (c == nullptr) return false;
    jack_client_close(c);
    return true;
}

// Runs a program to its end with stdio on /dev/null; its exit code, or -1.
inline int RunQuietly(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t io;
    posix_spawn_file_actions_init(&io);
    for (int fd = 0; fd <= 2; ++fd) posix_spawn_file_actions_addopen(&io, fd, "/dev/null", O_RDWR, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &io, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&io);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits (up to 5 s) until the server runs at `period` frames.
inline bool PeriodIs(unsigned period) {
    jack_client_t* c = jack_client_open("quarn-period", JackNoStartServer, nullptr);
    if (c == nullptr) return false;
    jack_set_process_callback(
        c, [](jack_nframes_t, void*) { return 0; }, nullptr);
    bool reached = jack_activate(c) == 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (reached && jack_get_buffer_size(c) != period && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    reached = reached && jack_get_buffer_size(c) == period;
    jack_client_close(c);
    return reached;
}

class PrivateServer {
public:
    explicit PrivateServer(const std::string& tag, unsigned period = 256) : m_name(UniqueName(tag)), m_period(period) {
        namespace fs = std::filesystem;
        if (OnPipeWire()) {
            m_runtime = (fs::temp_directory_path() / m_name).string();
            std::error_code ignored;
            fs::create_directories(m_runtime, ignored);
            fs::permissions(m_runtime, fs::perms::owner_all, ignored);
            m_env.emplace("XDG_RUNTIME_DIR", m_runtime.c_str());
        } else {
            m_env.emplace("JACK_DEFAULT_SERVER", m_name.c_str());
        }
        Start();
    }
    ~PrivateServer() {
        Stop();
        namespace fs = std::filesystem;
        std::error_code ignored;
        if (!m_runtime.empty()) fs::remove_all(m_runtime, ignored);
        // Clients of a jackd that died keep their semaphores; they carry the server's name.
        const std::string mark = "_" + m_name + "_";
        for (const auto& entry : fs::directory_iterator("/dev/shm", ignored)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("jack_sem.", 0) == 0 && file.find(mark) != std::string::npos)
                fs::remove(entry.path(), ignored);
        }
    }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    // Starts (again, after Stop or Kill) and waits until clients can connect.
    bool Start() {
        if (m_pid > 0) return m_up;
        // The parent-death signal takes the server down with a test that crashes; KILL because a frozen
        // server would sit on a TERM for ever.
        std::vector<std::string> args = {"setpriv", "--pdeathsig", "KILL"};
        if (OnPipeWire()) {
            args.push_back("pipewire");
        } else {
            for (const char* a : {"jackd", "--no-realtime", "-n", m_name.c_str(), "-d", "dummy", "-r", "48000", "-p"})
                args.push_back(a);
            args.push_back(std::to_string(m_period));
        }
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t io;
        posix_spawn_file_actions_init(&io);
        // QUARN_SERVER_LOG=FILE keeps what the server says (its overruns, which client was late) for a failure.
        const char* log = std::getenv("QUARN_SERVER_LOG");
        posix_spawn_file_actions_addopen(&io, 0, "/dev/null", O_RDONLY, 0);
        for (int fd = 1; fd <= 2; ++fd)
            posix_spawn_file_actions_addopen(&io, fd, log != nullptr && *log != '\0' ? log : "/dev/null",
                                             O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (posix_spawnp(&m_pid, "setpriv", &io, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&io);
        m_up = false;
        using namespace std::chrono_literals;
        for (auto t0 = std::chrono::steady_clock::now(); m_pid > 0 && std::chrono::steady_clock::now() - t0 < 10s;
             std::this_thread::sleep_for(50ms)) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            if (JackServerAnswers()) {
                m_up = true;
                break;
            }
        }
        // PipeWire's graph runs at whatever quantum it is told (jackd was given its period above); the test
        // starts once it does, so that no reconfiguration falls into it.
        if (m_up && OnPipeWire()) {
            const std::string quantum = std::to_string(m_period);
            m_up = RunQuietly({"pw-metadata", "-n", "settings", "0", "clock.force-quantum", quantum}) == 0 &&
                   PeriodIs(m_period);
        }
        return m_up;
    }

    bool Up() const { return m_up; }
    bool Running() const { return m_pid > 0; }
    const std::string& Name() const { return m_name; }
    // Returns once every thread of the server has stopped (on a loaded machine that is not at once), or after
    // a generous bound.
    void Freeze() {
        kill(m_pid, SIGSTOP);
        using namespace std::chrono_literals;
        for (auto t0 = std::chrono::steady_clock::now();
             !AllThreadsStopped() && std::chrono::steady_clock::now() - t0 < 5s;)
            std::this_thread::sleep_for(1ms);
    }
    void Thaw() { kill(m_pid, SIGCONT); }
    // Dies at once, as a crash would.
    void Kill() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGKILL);
        kill(m_pid, SIGCONT);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        m_up = false;
    }
    void Stop() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGCONT);
        kill(m_pid, SIGTERM);
        using namespace std::chrono_literals;
        for (auto t0 = std::chrono::steady_clock::now(); std::chrono::steady_clock::now() - t0 < 5s;
             std::this_thread::sleep_for(20ms))
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                m_up = false;
                return;
            }
        Kill();
    }

private:
    bool AllThreadsStopped() const {
        namespace fs = std::filesystem;
        std::error_code error;
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(m_pid) + "/task", error)) {
            std::ifstream stat(task.path() / "stat");
            std::string line;
            std::getline(stat, line);
            // The state follows the command name in parentheses, which may itself hold spaces or parentheses.
            const std::size_t end = line.rfind(')');
            if (end == std::string::npos || end + 2 >= line.size() || line[end + 2] != 'T') return false;
        }
        return !error;
    }

    std::string m_name;
    unsigned m_period;
    std::string m_runtime;
    std::optional<ScopedEnv> m_env;
    pid_t m_pid = -1;
    bool m_up = false;
};
