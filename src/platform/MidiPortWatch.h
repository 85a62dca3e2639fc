// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MidiPortSignals.h"

#include <memory>
#include <thread>

// Watches, on a thread of its own, for changes no JACK client of ours can report: the ALSA sequencer's
// announcements of ports and clients coming and going (client 0, port 1), and a JACK server appearing
// while we have none (it was never there, or it went away). Reports through the shared signals.
class MidiPortWatch {
public:
    explicit MidiPortWatch(std::shared_ptr<MidiPortSignals> signals);
    ~MidiPortWatch();
    MidiPortWatch(const MidiPortWatch&) = delete;
    MidiPortWatch& operator=(const MidiPortWatch&) = delete;

private:
    void Run(std::stop_token stop);

    std::shared_ptr<MidiPortSignals> m_signals;
    int m_wake[2] = {-1, -1};  // a pipe that ends the thread's wait at once
    std::jthread m_thread;
};
