// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The instrument at the end of a JACK MIDI cable: an input port that keeps what arrives.

#include "platform/RtMidiPorts.h"

#include <RtMidi.h>
#include <jack/jack.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace jackprobe {

using Bytes = std::vector<unsigned char>;
using Messages = std::vector<Bytes>;

inline void Quiet(const char*) {}

// Whether the server JACK_DEFAULT_SERVER names (or the one given) answers.
inline bool ServerAnswers(const char* server = nullptr) {
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    jack_client_t* c =
        server ? jack_client_open("quarn-e2e-check", JackOptions(JackNoStartServer | JackServerName), nullptr, server)
               : jack_client_open("quarn-e2e-check", JackNoStartServer, nullptr);
    if (c == nullptr) return false;
    jack_client_close(c);
    return true;
}

// ./test sets QUARN_REQUIRE_JACK: there a missing server is a failure, not a reason to skip.
inline bool RequireJack() {
    const char* v = std::getenv("QUARN_REQUIRE_JACK");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

inline std::string Unique(const std::string& tag) { return "quarn-" + tag + "-" + std::to_string(getpid()); }

class Probe {
public:
    explicit Probe(const std::string& client)
        : m_in(std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, client, 4096)), m_port(client + ":probe") {
        m_in->openVirtualPort("probe");
    }
    const std::string& Port() const { return m_port; }

    // Waits until `count` messages are in (or the time is up), then a little longer for extras.
    Messages Collect(std::size_t count, std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
        using Clock = std::chrono::steady_clock;
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
            if (got.size() >= count && settle == Clock::time_point::max())
                settle = Clock::now() + std::chrono::milliseconds(50);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return got;
    }

private:
    std::unique_ptr<RtMidiIn> m_in;
    std::string m_port;
};

inline int FindDevice(RtMidiPorts& ports, const std::string& port) {
    for (int i = 0, n = ports.Count(); i < n; ++i)
        if (auto name = ports.Name(i); name && name->find(port) != std::string::npos) return i;
    return -1;
}

}  // namespace jackprobe
