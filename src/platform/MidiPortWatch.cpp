// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MidiPortWatch.h"

#include "platform/BoundedCall.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 250;
constexpr auto kJackProbeInterval = std::chrono::seconds(1);

// Our own sequencer client, subscribed to the system announcements; null without a sequencer.
snd_seq_t* OpenAnnouncements() {
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) return nullptr;
    snd_seq_set_client_name(seq, "QuarnEdit watch");
    const int port = snd_seq_create_simple_port(
        seq, "announcements", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT, SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0 || snd_seq_connect_from(seq, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
        snd_seq_close(seq);
        return nullptr;
    }
    return seq;
}

// Reads every pending announcement; tells whether the list changed and whether the open device went.
void ReadAnnouncements(snd_seq_t* seq, MidiPortSignals& signals) {
    bool changed = false;
    bool lost = false;
    const int target = signals.alsaTarget.load();
    snd_seq_event_t* ev = nullptr;
    while (snd_seq_event_input(seq, &ev) >= 0 && ev != nullptr) {
        switch (ev->type) {
            case SND_SEQ_EVENT_CLIENT_START:
            case SND_SEQ_EVENT_CLIENT_CHANGE:
            case SND_SEQ_EVENT_PORT_START:
            case SND_SEQ_EVENT_PORT_CHANGE: changed = true; break;
            case SND_SEQ_EVENT_CLIENT_EXIT:
                changed = true;
                lost = lost || (target >= 0 && ev->data.addr.client == (target >> 8));
                break;
            case SND_SEQ_EVENT_PORT_EXIT:
                changed = true;
                lost = lost ||
                       (target >= 0 && ev->data.addr.client == (target >> 8) && ev->data.addr.port == (target & 0xFF));
                break;
            default: break;
        }
        ev = nullptr;
    }
    if (lost && !signals.alsaTargetLost.exchange(true)) signals.Notify(MidiPortChange::OpenDeviceLost);
    if (changed) signals.Notify(MidiPortChange::ListChanged);
}

// Asks on a thread of its own whether a JACK server answers: an open can wait for ever (a stale lock in
// libjack's database, a frozen server), and this thread must stay free to end at once.
class JackProbe {
public:
    // Starts a probe unless one is under way.
    void Start() {
        if (m_call) return;
        m_answered = std::make_shared<std::atomic<bool>>(false);
        m_call.emplace([answered = m_answered] {
            jack_client_t* probe = jack_client_open("QuarnEdit-watch", JackNoStartServer, nullptr);
            if (probe == nullptr) return;
            answered->store(true);
            jack_client_close(probe);
        });
    }
    // Once the probe has ended: whether a server answered. Never waits.
    std::optional<bool> Result() {
        if (!m_call || !m_call->WaitFor(std::chrono::milliseconds(0))) return std::nullopt;
        m_call.reset();
        return m_answered->load();
    }

private:
    std::optional<BackgroundCall> m_call;
    std::shared_ptr<std::atomic<bool>> m_answered;
};

}  // namespace

MidiPortWatch::MidiPortWatch(std::shared_ptr<MidiPortSignals> signals) : m_signals(std::move(signals)) {
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) m_wake[0] = m_wake[1] = -1;
    m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
}

MidiPortWatch::~MidiPortWatch() {
    m_thread.request_stop();
    if (m_wake[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = write(m_wake[1], &byte, 1);
    }
    if (m_thread.joinable()) m_thread.join();
    for (int fd : m_wake)
        if (fd >= 0) close(fd);
}

void MidiPortWatch::Run(std::stop_token stop) {
    snd_seq_t* seq = OpenAnnouncements();
    std::vector<pollfd> fds;
    if (m_wake[0] >= 0) fds.push_back({m_wake[0], POLLIN, 0});
    const std::size_t seqFirst = fds.size();
    if (seq != nullptr) {
        const int n = snd_seq_poll_descriptors_count(seq, POLLIN);
        fds.resize(seqFirst + static_cast<std::size_t>(n));
        snd_seq_poll_descriptors(seq, fds.data() + seqFirst, static_cast<unsigned int>(n), POLLIN);
    }
    if (m_signals->PostedNews() >= 0) fds.push_back({m_signals->PostedNews(), POLLIN, 0});
    auto nextProbe = Clock::now();
    JackProbe probe;
    while (!stop.stop_requested()) {
        for (auto& fd : fds) fd.revents = 0;
        poll(fds.data(), fds.size(), kPollMs);
        if (stop.stop_requested()) break;
        m_signals->DeliverPosted();
        if (seq != nullptr) ReadAnnouncements(seq, *m_signals);
        if (const std::optional<bool> answered = probe.Result(); answered == true && m_signals->jackMissing.load()) {
            m_signals->jackMissing.store(false);
            m_signals->jackBack.store(true);
            m_signals->Notify(MidiPortChange::ListChanged);
        }
        if (m_signals->jackMissing.load() && Clock::now() >= nextProbe) {
            nextProbe = Clock::now() + kJackProbeInterval;
            probe.Start();
        }
    }
    if (seq != nullptr) snd_seq_close(seq);
}
