#pragma once

#include "midi/MidiOutPorts.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class RtMidiOut;
struct JackBackend;

// The MIDI output devices of this machine: the ALSA sequencer's ports first, then JACK's.
// Every call re-reads the port lists, so devices that come and go are seen at once.
// A back end that is missing (no sequencer device, no JACK server) simply has no ports;
// it is looked for again, at most once a second, when the list is read.
// Use from one thread only.
class RtMidiPorts : public MidiOutPorts {
public:
    static constexpr const char* kClientName = "QuarnEdit";
    static constexpr const char* kPortName = "QuarnEdit out";

    RtMidiPorts();
    ~RtMidiPorts() override;
    RtMidiPorts(const RtMidiPorts&) = delete;
    RtMidiPorts& operator=(const RtMidiPorts&) = delete;

    int Count() override;
    std::optional<std::string> Name(int index) override;
    bool Open(int index) override;
    void Close() override;
    void Send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;

    bool IsOpen() const { return m_open != Backend::None; }
    // Messages that Send could not hand to the back end (JACK stalled or gone, driver error).
    std::uint64_t DroppedMessages() const { return m_dropped; }

private:
    enum class Backend { None, Alsa, Jack };
    struct Location {
        Backend backend;
        unsigned int port;
    };

    void Refresh();
    void RefreshAlsa(std::chrono::steady_clock::time_point now);
    void RefreshJack(std::chrono::steady_clock::time_point now);
    unsigned int AlsaCount();
    unsigned int JackCount();
    std::optional<Location> Locate(int index);
    bool OpenJack(unsigned int port);
    void SendJack(const unsigned char* message, std::size_t size);

    std::unique_ptr<RtMidiOut> m_alsa;
    std::unique_ptr<JackBackend> m_jack;
    std::chrono::steady_clock::time_point m_nextAlsaTry{};
    std::chrono::steady_clock::time_point m_nextJackTry{};
    Backend m_open = Backend::None;
    bool m_failed = false;  // set by the RtMidi error callback
    std::uint64_t m_dropped = 0;
};
