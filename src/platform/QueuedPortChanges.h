// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiOutPorts.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <string>

class RtMidiPorts;

// Brings the ports' news about devices, which comes on library threads, to the thread that made this object
// (Qt's main thread), through its event loop. Changes of the list come in bursts: one call answers a burst.
// Calls still queued when this object goes are dropped with it. The ports' notices for the user come the
// same way, so that none is shown in the middle of a reading of the list.
class QueuedPortChanges {
public:
    QueuedPortChanges(RtMidiPorts& ports, std::function<void(MidiPortChange)> onThisThread,
                      std::function<void(const std::string&)> noticeOnThisThread = {});
    ~QueuedPortChanges();
    QueuedPortChanges(const QueuedPortChanges&) = delete;
    QueuedPortChanges& operator=(const QueuedPortChanges&) = delete;

private:
    RtMidiPorts& m_ports;
    std::function<void(MidiPortChange)> m_handler;
    std::function<void(const std::string&)> m_notice;
    QObject m_context;
    std::atomic<bool> m_listChangePending{false};
};
