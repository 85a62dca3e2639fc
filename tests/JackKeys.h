// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The keyboard of tests/jack_keys.cpp, started as a process of its own (QUARN_JACK_KEYS names the program):
// its port is `client:keys`. Going out of scope unplugs it.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

class JackKeys {
public:
    explicit JackKeys(const std::string& client) : m_port(client + ":keys") {
        int in[2], out[2];
        if (pipe(in) != 0) return;
        if (pipe(out) != 0) {
            close(in[0]);
            close(in[1]);
            return;
        }
        posix_spawn_file_actions_t io;
        posix_spawn_file_actions_init(&io);
        posix_spawn_file_actions_adddup2(&io, in[0], 0);
        posix_spawn_file_actions_adddup2(&io, out[1], 1);
        posix_spawn_file_actions_addclose(&io, in[1]);
        posix_spawn_file_actions_addclose(&io, out[0]);
        std::vector<std::string> args = {"setpriv", "--pdeathsig", "KILL", QUARN_JACK_KEYS, client};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, "setpriv", &io, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&io);
        close(in[0]);
        close(out[1]);
        m_in = fdopen(in[1], "w");
        // It answers once its port is there.
        char line[16] = {};
        FILE* answer = fdopen(out[0], "r");
        m_ready = m_pid > 0 && answer != nullptr && std::fgets(line, sizeof line, answer) != nullptr &&
                  std::string(line) == "ready\n";
        if (answer != nullptr) std::fclose(answer);
    }
    ~JackKeys() {
        if (m_in != nullptr) std::fclose(m_in);  // the end of its input: it leaves its server
        if (m_pid > 0) waitpid(m_pid, nullptr, 0);
    }
    JackKeys(const JackKeys&) = delete;
    JackKeys& operator=(const JackKeys&) = delete;

    bool Ready() const { return m_ready; }
    const std::string& Port() const { return m_port; }
    void Play(const std::vector<std::uint8_t>& bytes) {
        if (m_in == nullptr) return;
        for (const std::uint8_t b : bytes) std::fprintf(m_in, "%02x ", b);
        std::fprintf(m_in, "\n");
        std::fflush(m_in);
    }

private:
    std::string m_port;
    pid_t m_pid = -1;
    FILE* m_in = nullptr;
    bool m_ready = false;
};
