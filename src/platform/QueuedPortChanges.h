#pragma once

#include "midi/MidiOutPorts.h"

#include <QObject>

#include <atomic>
#include <functional>

class RtMidiPorts;

// Brings the ports' news about devices, which comes on library threads, to the thread that made this object
// (Qt's main thread), through its event loop. Changes of the list come in bursts: one call answers a burst.
// Calls still queued when this object goes are dropped with it.
class QueuedPortChanges {
public:
    QueuedPortChanges(RtMidiPorts& ports, std::function<void(MidiPortChange)> onThisThread);
    ~QueuedPortChanges();
    QueuedPortChanges(const QueuedPortChanges&) = delete;
    QueuedPortChanges& operator=(const QueuedPortChanges&) = delete;

private:
    RtMidiPorts& m_ports;
    std::function<void(MidiPortChange)> m_handler;
    QObject m_context;
    std::atomic<bool> m_listChangePending{false};
};
