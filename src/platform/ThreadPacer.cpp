// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ThreadPacer.h"

#include "midi/MidiSendQueue.h"

#include <sys/prctl.h>

ThreadPacer::~ThreadPacer() { Serve(nullptr); }

void ThreadPacer::Serve(MidiSendQueue* queue) {
    if (m_thread.joinable()) {
        m_stop.store(true);
        m_queue->Wake();
        m_thread.join();
    }
    m_queue = queue;
    if (queue == nullptr) return;
    m_stop.store(false);
    m_thread = std::thread([this, queue] { Run(*queue); });
}

void ThreadPacer::Run(MidiSendQueue& queue) {
    // The default 50 µs of timer slack would make every wake-up late by that much; slack is per thread.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!m_stop.load()) {
        const TimePoint now = Now();
        const std::optional<TimePoint> next = queue.SendDue(now);
        if (m_stop.load()) break;
        // Looks again now and then even when idle: a server that stood still tells only when it goes on what
        // it may have lost, and the queue then sends it again.
        queue.WaitForWork(std::min(next.value_or(TimePoint::max()), now + kLookAgain));
    }
}
