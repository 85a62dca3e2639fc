// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A JACK MIDI input of the benchmark's own: every message with the absolute frame time it arrived at, on
// the same clock as jack_frame_time, so that the time from a send to its arrival can be measured.

#include "platform/StampedRing.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class JackRecorder {
public:
    explicit JackRecorder(const std::string& client) {
        m_client = jack_client_open(client.c_str(), JackNoStartServer, nullptr);
        if (m_client == nullptr) return;
        m_port = jack_port_register(m_client, "input", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, &JackRecorder::Process, this);
        if (m_port == nullptr || jack_activate(m_client) != 0) return;
        m_name = jack_port_name(m_port);
    }
    ~JackRecorder() {
        if (m_client != nullptr) jack_client_close(m_client);
    }
    JackRecorder(const JackRecorder&) = delete;
    JackRecorder& operator=(const JackRecorder&) = delete;

    bool Ready() const { return !m_name.empty(); }
    const std::string& Port() const { return m_name; }
    jack_client_t* Client() const { return m_client; }

    // Waits until `count` messages are in or the time is up; returns them and forgets them.
    std::vector<StampedRing::Message> Collect(std::size_t count, std::chrono::milliseconds limit) {
        std::vector<StampedRing::Message> got;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            if (const auto* m = m_ring.Front()) {
                got.push_back(*m);
                m_ring.Pop();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return got;
    }

private:
    static int Process(jack_nframes_t nframes, void* arg) {
        auto& self = *static_cast<JackRecorder*>(arg);
        void* buffer = jack_port_get_buffer(self.m_port, nframes);
        const jack_nframes_t start = jack_last_frame_time(self.m_client);
        for (std::uint32_t i = 0, n = jack_midi_get_event_count(buffer); i < n; ++i) {
            jack_midi_event_t e;
            if (jack_midi_event_get(&e, buffer, i) != 0 || e.size != 3) continue;
            self.m_ring.Push({start + e.time, 0, {e.buffer[0], e.buffer[1], e.buffer[2]}});
        }
        return 0;
    }

    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    std::string m_name;
    StampedRing m_ring;
};
