// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiPacer.h"

#include <atomic>
#include <thread>

// Sends a send queue's messages from a thread of its own, each when it is due: the thread sleeps on the
// monotonic clock until the next due time (less the device's lookahead) or until something is queued.
class ThreadPacer : public MidiPacer {
public:
    ThreadPacer() = default;
    ~ThreadPacer() override;
    ThreadPacer(const ThreadPacer&) = delete;
    ThreadPacer& operator=(const ThreadPacer&) = delete;

    TimePoint Now() override { return std::chrono::steady_clock::now(); }
    void Serve(MidiSendQueue* queue) override;
    // The queue wakes the thread itself.
    void Queued(MidiSendQueue&, std::size_t) override {}

private:
    static constexpr std::chrono::milliseconds kLookAgain{50};

    void Run(MidiSendQueue& queue);

    MidiSendQueue* m_queue = nullptr;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
