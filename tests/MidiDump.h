// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The instrument as a third party sees it: `jack_midi_dump -a` on a JACK MIDI input, each message with the
// frame at which it arrived. Used by the end-to-end tests and the benchmarks, on jackd and on PipeWire alike
// (under pw-jack the child inherits the library path).

#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

class MidiDump {
public:
    struct Message {
        std::uint32_t frame = 0;
        std::vector<std::uint8_t> bytes;
    };

    // Starts the dump as client `client`; its port is `client:input`. Check Ready() before use.
    explicit MidiDump(const std::string& client) : m_port(client + ":input") {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t io;
        posix_spawn_file_actions_init(&io);
        posix_spawn_file_actions_addopen(&io, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&io, out[1], 1);
        // Its complaints too: a message it skipped is one the test would otherwise blame on the program.
        posix_spawn_file_actions_adddup2(&io, out[1], 2);
        // stdbuf: a line as soon as it is printed, not when a pipe buffer fills; setpriv: the dump goes
        // with a test that crashes.
        std::vector<std::string> args = {"setpriv", "--pdeathsig",    "KILL", "stdbuf",
                                         "-oL",     "jack_midi_dump", "-a",   client};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, "setpriv", &io, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&io);
        close(out[1]);
        if (m_pid <= 0) {
            close(out[0]);
            return;
        }
        m_reader = std::thread([this, fd = out[0]] { Read(fd); });
        m_ready = WaitForPort();
    }
    ~MidiDump() {
        if (m_pid > 0) {
            // INT: the dump leaves its server cleanly (after a TERM, jackd takes seconds to stop).
            kill(m_pid, SIGINT);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_reader.joinable()) m_reader.join();
    }
    MidiDump(const MidiDump&) = delete;
    MidiDump& operator=(const MidiDump&) = delete;

    bool Ready() const { return m_ready; }
    const std::string& Port() const { return m_port; }

    // Waits until `count` messages are in (or the time is up), then a moment longer for extras; returns
    // everything received so far and forgets it.
    std::vector<Message> Collect(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(3)) {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, limit, [&] { return m_messages.size() >= count || m_ended; });
        if (m_messages.size() >= count) m_cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return m_ended; });
        return std::exchange(m_messages, {});
    }

    // Everything received so far, at once, and forgets it.
    std::vector<Message> TakeArrived() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_messages, {});
    }

    // Messages the dump itself skipped because its own buffer was full (its printing fell far behind): what
    // it shows is then not what reached its port.
    std::size_t Skipped() {
        std::lock_guard lock(m_mutex);
        return m_skipped;
    }

    static std::vector<std::uint8_t> Bytes(const std::vector<Message>& messages) {
        std::vector<std::uint8_t> all;
        for (const auto& m : messages) all.insert(all.end(), m.bytes.begin(), m.bytes.end());
        return all;
    }

private:
    // "  39488: b0 10 02 ...": the frame, then the message's bytes in hex, then a description.
    static bool Parse(const std::string& line, Message& m) {
        std::istringstream in(line);
        std::string frame;
        if (!(in >> frame) || frame.empty() || frame.back() != ':') return false;
        try {
            m.frame = static_cast<std::uint32_t>(std::stoul(frame.substr(0, frame.size() - 1)));
        } catch (const std::exception&) {
            return false;
        }
        for (std::string hex; m.bytes.size() < 3 && in >> hex;) {
            if (hex.size() != 2 || hex.find_first_not_of("0123456789abcdef") != std::string::npos) break;
            m.bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex, nullptr, 16)));
        }
        return !m.bytes.empty();
    }

    void Read(int fd) {
        FILE* in = fdopen(fd, "r");
        if (in == nullptr) {
            close(fd);
            return;
        }
        char line[512];
        while (std::fgets(line, sizeof line, in) != nullptr) {
            Message m;
            if (!Parse(line, m)) {
                if (std::strstr(line, "ringbuffer was full") != nullptr) {
                    std::lock_guard lock(m_mutex);
                    ++m_skipped;
                }
                continue;
            }
            std::lock_guard lock(m_mutex);
            // Active Sensing is only the readiness ping (see WaitForPort), which may also come out late.
            if (m.bytes[0] == 0xFE)
                m_pinged = true;
            else
                m_messages.push_back(std::move(m));
            m_cv.notify_all();
        }
        std::fclose(in);
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_cv.notify_all();
    }

    // Ready once a message sent to the port comes out: the port exists before the dump's client runs, and
    // what reaches it before then is lost (PipeWire takes a moment longer than jackd).
    bool WaitForPort() {
        jack_client_t* c = jack_client_open("quarn-dump-ping", JackNoStartServer, nullptr);
        if (c == nullptr) return false;
        Pinger pinger{c, jack_port_register(c, "ping", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0)};
        bool heard = false;
        if (pinger.port != nullptr && jack_set_process_callback(c, &Pinger::Process, &pinger) == 0 &&
            jack_activate(c) == 0) {
            using namespace std::chrono_literals;
            for (auto t0 = std::chrono::steady_clock::now(); !heard && std::chrono::steady_clock::now() - t0 < 10s;) {
                if (jack_port_by_name(c, m_port.c_str()) != nullptr && !jack_port_connected(pinger.port))
                    jack_connect(c, jack_port_name(pinger.port), m_port.c_str());
                std::unique_lock lock(m_mutex);
                heard = m_cv.wait_for(lock, 20ms, [&] { return m_pinged; });
            }
            jack_deactivate(c);
        }
        jack_client_close(c);
        // What arrived besides the pings is kept: a sender that finds the port at once (a device coming back)
        // may already be talking while the pinger leaves, and those messages are what the device heard.
        return heard;
    }

    // Sends Active Sensing once per cycle while connected.
    struct Pinger {
        jack_client_t* client;
        jack_port_t* port;
        static int Process(jack_nframes_t nframes, void* arg) {
            auto& self = *static_cast<Pinger*>(arg);
            void* buffer = jack_port_get_buffer(self.port, nframes);
            jack_midi_clear_buffer(buffer);
            const unsigned char sensing = 0xFE;
            jack_midi_event_write(buffer, 0, &sensing, 1);
            return 0;
        }
    };

    std::string m_port;
    pid_t m_pid = -1;
    bool m_ready = false;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Message> m_messages;
    bool m_pinged = false;
    std::size_t m_skipped = 0;
    bool m_ended = false;
};
