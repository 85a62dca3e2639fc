// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A keyboard of the test's own: a JACK MIDI output port that plays what it is given at the start of the next
// cycle, and keeps the absolute frame each message went out at (on the clock of jack_frame_time), so that the
// time from a key to its arrival elsewhere can be measured.

#include "platform/StampedRing.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class JackPlayer {
public:
    explicit JackPlayer(const std::string& client) {
        m_client = jack_client_open(client.c_str(), JackNoStartServer, nullptr);
        if (m_client == nullptr) return;
        m_port = jack_port_register(m_client, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(m_client, &JackPlayer::Process, this);
        if (m_port == nullptr || jack_activate(m_client) != 0) return;
        m_name = jack_port_name(m_port);
    }
    ~JackPlayer() { Quit(); }
    JackPlayer(const JackPlayer&) = delete;
    JackPlayer& operator=(const JackPlayer&) = delete;

    bool Ready() const { return !m_name.empty(); }
    const std::string& Port() const { return m_name; }
    std::uint32_t SampleRate() const { return m_client != nullptr ? jack_get_sample_rate(m_client) : 48000; }
    std::uint32_t Period() const { return m_client != nullptr ? jack_get_buffer_size(m_client) : 0; }
    // The client goes, and its port with it (a keyboard unplugged).
    void Quit() {
        if (m_client != nullptr) jack_client_close(m_client);
        m_client = nullptr;
    }

    // One message of up to three bytes, played in the next cycle.
    void Play(std::vector<std::uint8_t> bytes) {
        StampedRing::Message m{0, 0, {}, static_cast<std::uint32_t>(bytes.size())};
        for (std::size_t i = 0; i < bytes.size() && i < 3; ++i) m.bytes[i] = bytes[i];
        m_toPlay.Push(m);
    }
    // When the next message played went out: its frame, and the monotonic clock in µs (wrapping) in the
    // cycle that wrote it. Waits for it at most `limit`.
    struct Played {
        std::uint32_t frame;
        std::uint32_t micros;
    };
    std::optional<Played> NextPlayed(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (const StampedRing::Message* m = m_played.Front()) {
                const Played played{m->frame, m->micros};
                m_played.Pop();
                return played;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return std::nullopt;
    }

private:
    static int Process(jack_nframes_t nframes, void* arg) {
        auto& self = *static_cast<JackPlayer*>(arg);
        void* buffer = jack_port_get_buffer(self.m_port, nframes);
        jack_midi_clear_buffer(buffer);
        const jack_nframes_t start = jack_last_frame_time(self.m_client);
        const auto micros = static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
        while (const StampedRing::Message* m = self.m_toPlay.Front()) {
            if (jack_midi_event_write(buffer, 0, m->bytes, m->tag) != 0) break;
            self.m_played.Push({start, micros, {}, 0});
            self.m_toPlay.Pop();
        }
        return 0;
    }

    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    std::string m_name;
    StampedRing m_toPlay;
    StampedRing m_played;
};
