#pragma once

#include "midi/MidiSink.h"

#include <cstdint>
#include <memory>

class MidiOutPorts;
class MidiPause;

// The application object: owns the two MIDI sinks and the mute flag that chooses between them.
class CQuarnEditApp {
public:
    CQuarnEditApp(MidiOutPorts& ports, MidiPause& pause);
    ~CQuarnEditApp();
    CQuarnEditApp(const CQuarnEditApp&) = delete;
    CQuarnEditApp& operator=(const CQuarnEditApp&) = delete;

    // The sink every sender asks for at the moment it sends; never null.
    MidiSink* GetActiveSink();
    // The port sink, created on first use.
    MidiPortSink& CreatePortSink();

    MidiOutPorts& ports() { return m_ports; }

    std::int32_t m_midiOutDevice = 0;
    std::unique_ptr<MidiPortSink> m_portSink;
    std::unique_ptr<NullSink> m_nullSink;
    std::uint8_t m_mute = 0;

private:
    MidiOutPorts& m_ports;
    MidiPause& m_pause;
};
