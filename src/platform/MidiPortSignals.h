// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiOutPorts.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>

using MidiPortChangeHandler = std::function<void(MidiPortChange)>;

// What the JACK client, the watch thread and RtMidiPorts tell each other. Shared, so that a JACK client
// left to close on a thread of its own can still reach it.
class MidiPortSignals {
public:
    MidiPortSignals();
    ~MidiPortSignals();
    MidiPortSignals(const MidiPortSignals&) = delete;
    MidiPortSignals& operator=(const MidiPortSignals&) = delete;

    void SetHandler(MidiPortChangeHandler handler) {
        std::lock_guard lock(m_mutex);
        m_handler = std::move(handler);
    }
    // From any thread; the handler runs on the caller's thread.
    void Notify(MidiPortChange change) {
        std::lock_guard lock(m_mutex);
        if (m_handler) m_handler(change);
    }

    // From a context that must behave like a signal handler (JACK's shutdown callback): no lock, no
    // allocation; the news waits until the watch thread passes it on.
    void Post(MidiPortChange change);
    // The watch thread: a descriptor that becomes readable when news was posted, and the passing on.
    int PostedNews() const { return m_pipe[0]; }
    void DeliverPosted();

    // No live JACK client and none on its way: the watch looks for a server.
    std::atomic<bool> jackMissing{true};
    // The watch saw a server answer: look again at once instead of after the retry interval.
    std::atomic<bool> jackBack{false};
    // The open ALSA device as (client << 8) | port, or -1; and whether it has gone since it was opened.
    std::atomic<int> alsaTarget{-1};
    std::atomic<bool> alsaTargetLost{false};

private:
    std::mutex m_mutex;
    MidiPortChangeHandler m_handler;
    std::atomic<bool> m_postedLost{false};
    std::atomic<bool> m_postedList{false};
    int m_pipe[2] = {-1, -1};
};
