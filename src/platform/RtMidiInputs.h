// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiInPorts.h"
#include "platform/StampedRing.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class JackMidiOutput;
class RtMidiIn;
class RtMidiPorts;

// The MIDI input devices of this machine: the ALSA sequencer's readable ports (through RtMidi, whose own
// thread reads them) first, then the MIDI outputs of the JACK server (read by the process callback of our
// JACK client, the one the output devices use). Either reader hands whole messages over through a lock-free
// ring of its own and then writes to an eventfd: the program's thread watches that descriptor
// (WakeDescriptor) and takes the messages. The port list changes reach the program through the output ports'
// change handler, which hears of both.
class RtMidiInputs : public MidiInPorts {
public:
    static constexpr const char* kPortName = "QuarnEdit in";

    explicit RtMidiInputs(RtMidiPorts& outputs);
    ~RtMidiInputs() override;
    RtMidiInputs(const RtMidiInputs&) = delete;
    RtMidiInputs& operator=(const RtMidiInputs&) = delete;

    int Count() override;
    std::optional<std::string> Name(int index) override;
    bool Open(int index) override;
    void Close() override;
    void TakeReceived(std::vector<std::uint8_t>& bytes, std::vector<std::uint32_t>& arrived) override;

    // Readable when messages arrived; ClearWake before taking them.
    int WakeDescriptor() const { return m_wake; }
    void ClearWake();

private:
    enum class Backend { None, Alsa, Jack };
    struct Location {
        Backend backend;
        unsigned int port;  // RtMidi's index, or the index in the JACK list
    };
    std::optional<Location> Locate(int index, std::vector<std::string>* jackNames);
    std::vector<unsigned int> AlsaPorts();
    void RefreshAlsa();
    static void Received(double, std::vector<unsigned char>* message, void* self);

    RtMidiPorts& m_outputs;
    int m_wake = -1;
    std::unique_ptr<RtMidiIn> m_alsa;  // made on first use, and again after an open of it closes
    std::chrono::steady_clock::time_point m_nextAlsaTry{};
    bool m_failed = false;
    StampedRing m_alsaRing;                  // RtMidi's reading thread to the program's
    std::shared_ptr<JackMidiOutput> m_jack;  // the client reading the open JACK source
    Backend m_open = Backend::None;
};
