#pragma once

#include "midi/ParamMessage.h"
#include "util/WholeFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class MidiOutPorts;
class MidiPause;
class UserDialogs;

// Destination of parameter messages.
class MidiSink {
public:
    virtual ~MidiSink() = default;
    virtual void SendWide(ParamMessage m) = 0;
    virtual void SendPage3(ParamMessage m) = 0;
    virtual void SendDirect(ParamMessage m) = 0;
    // A message of its own, not a parameter: a note for the synthesizer to play.
    virtual void SendChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
};

// Controller 16 selects the page of the message that follows it.
constexpr std::uint8_t kPageController = 16;
constexpr std::uint8_t kControlChangeStatus = 0xB0;
constexpr std::uint8_t kNoteOnStatus = 0x90;
constexpr std::uint8_t kNoteOffStatus = 0x80;

// Told of every message the port sink sends to its device, as it goes (the MIDI monitor).
class MidiTap {
public:
    virtual ~MidiTap() = default;
    virtual void MessageSent(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
};

// Sends to one MIDI output device, or records into an event list for the MIDI file export.
class MidiPortSink : public MidiSink {
public:
    static constexpr int kNoDevice = -1;

    // Either pointer may be null (the null sink): sends then reach nothing and do not pause.
    MidiPortSink(MidiOutPorts* ports, MidiPause* pause);
    ~MidiPortSink() override;
    MidiPortSink(const MidiPortSink&) = delete;
    MidiPortSink& operator=(const MidiPortSink&) = delete;

    void SendWide(ParamMessage m) override;
    void SendPage3(ParamMessage m) override;
    void SendDirect(ParamMessage m) override;
    void SendChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;

    bool OpenDevice(int id);
    // How many messages sent since the device was opened never reached it (0 when none was open).
    std::size_t CloseDevice();
    // Messages handed to the open device since it was opened.
    std::size_t SentSinceOpen() const { return m_sentSinceOpen; }
    void StartRecording();
    void StopRecording();

    // Null: nobody listens, and sending costs nothing more.
    void SetTap(MidiTap* tap) { m_tap = tap; }

    int deviceHandle() const { return m_deviceHandle; }
    bool recording() const { return m_recording != 0; }
    // Event words: bytes 0x02 (delta time), status, data 1, data 2 in memory order.
    const std::vector<std::uint32_t>& events() const { return m_events; }
    std::vector<std::uint32_t> TakeEvents();
    // Writes the event list as a Standard MIDI File and empties it; a file that cannot be opened
    // leaves the list as it was. The caller tells the user about a failure.
    FileWriteResult WriteMidiFile(const std::string& path);

protected:
    void EmitShortMessage(std::uint32_t word);

private:
    MidiOutPorts* m_ports;
    MidiPause* m_pause;
    int m_deviceHandle = kNoDevice;
    std::size_t m_sentSinceOpen = 0;
    std::uint8_t m_recording = 0;
    std::vector<std::uint32_t> m_events;
    MidiTap* m_tap = nullptr;
};

// Discards everything; it is the active sink while a patch is being loaded.
class NullSink : public MidiPortSink {
public:
    NullSink() : MidiPortSink(nullptr, nullptr) {}
    void SendWide(ParamMessage) override {}
    void SendPage3(ParamMessage) override {}
    void SendDirect(ParamMessage) override {}
    void SendChannelMessage(std::uint8_t, std::uint8_t, std::uint8_t) override {}
};

// The packed short message: status in bits 0-7, data 1 in 8-15, data 2 in 16-23.
constexpr std::uint32_t ShortMessageWord(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    return static_cast<std::uint32_t>(status) | (static_cast<std::uint32_t>(data1) << 8) |
           (static_cast<std::uint32_t>(data2) << 16);
}
