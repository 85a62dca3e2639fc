// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>

class MidiSendQueue;

// The platform's side of the send queue: the clock the due times are read on, and the sender that hands each
// queued message to the device when it is due (a thread of its own, or a time stamp the server honours).
// The sink only queues; nothing here may make the queuing thread wait.
class MidiPacer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~MidiPacer() = default;
    virtual TimePoint Now() = 0;
    // From now on `queue` is this pacer's to send from (null: no more). At most one queue at a time.
    virtual void Serve(MidiSendQueue* queue) = 0;
    // `messages` were queued in `queue` in one step (the one served, or, for a pacer that sends at once, any).
    virtual void Queued(MidiSendQueue& queue, std::size_t messages) = 0;
    // The sink is about to wait (bounded) for `queue` to empty: a pacer that sends only when told may send now.
    virtual void Draining(MidiSendQueue& /*queue*/) {}
};
