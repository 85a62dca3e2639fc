#include "midi/MidiSink.h"

#include "midi/MidiFile.h"
#include "midi/MidiOutPorts.h"
#include "midi/MidiPause.h"

#include <algorithm>
#include <utility>

MidiPortSink::MidiPortSink(MidiOutPorts* ports, MidiPause* pause) : m_ports(ports), m_pause(pause) {}

MidiPortSink::~MidiPortSink() { CloseDevice(); }

void MidiPortSink::EmitShortMessage(std::uint32_t word) {
    if (m_recording == 0) {
        // A send with no open device is dropped, but it still costs its pause, as on the wire.
        const auto status = static_cast<std::uint8_t>(word), data1 = static_cast<std::uint8_t>(word >> 8),
                   data2 = static_cast<std::uint8_t>(word >> 16);
        if (m_ports != nullptr && m_deviceHandle != kNoDevice) {
            m_ports->Send(status, data1, data2);
            ++m_sentSinceOpen;
        }
        if (m_tap != nullptr) m_tap->MessageSent(status, data1, data2);
        if (m_pause != nullptr) m_pause->AfterMessage();
        return;
    }
    m_events.push_back((word << 8) | 0x02u);
}

void MidiPortSink::SendWide(ParamMessage m) {
    std::uint8_t page = 1;
    std::int32_t v = m.value();
    if (v > 127) {
        page = 2;
        v -= 128;
    }
    EmitShortMessage(ShortMessageWord(kControlChangeStatus, kPageController, page));
    EmitShortMessage(
        ShortMessageWord(kControlChangeStatus, static_cast<std::uint8_t>(m.parameter()), static_cast<std::uint8_t>(v)));
}

void MidiPortSink::SendPage3(ParamMessage m) {
    EmitShortMessage(ShortMessageWord(kControlChangeStatus, kPageController, 3));
    EmitShortMessage(ShortMessageWord(kControlChangeStatus, static_cast<std::uint8_t>(m.parameter()),
                                      static_cast<std::uint8_t>(m.value())));
}

void MidiPortSink::SendDirect(ParamMessage m) {
    EmitShortMessage(ShortMessageWord(kControlChangeStatus, static_cast<std::uint8_t>(m.parameter()),
                                      static_cast<std::uint8_t>(m.value())));
}

void MidiPortSink::SendChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    EmitShortMessage(ShortMessageWord(status, data1, data2));
}

bool MidiPortSink::OpenDevice(int id) {
    CloseDevice();
    m_recording = 0;
    if (m_ports == nullptr || !m_ports->Open(id)) {
        m_deviceHandle = kNoDevice;
        return false;
    }
    m_deviceHandle = id;
    m_sentSinceOpen = 0;
    return true;
}

std::size_t MidiPortSink::CloseDevice() {
    if (m_deviceHandle == kNoDevice) return 0;
    const std::size_t undelivered = m_ports != nullptr ? m_ports->Close() : 0;
    m_deviceHandle = kNoDevice;
    // A port cannot lose more than it was given.
    return std::min(undelivered, m_sentSinceOpen);
}

void MidiPortSink::StartRecording() {
    m_events.clear();
    m_recording = 1;
}

void MidiPortSink::StopRecording() { m_recording = 0; }

std::vector<std::uint32_t> MidiPortSink::TakeEvents() { return std::exchange(m_events, {}); }

FileWriteResult MidiPortSink::WriteMidiFile(const std::string& path) {
    WholeFileWriter file;
    if (FileWriteResult opened = file.Open(path); opened != FileWriteResult::Ok) return opened;
    const std::vector<std::uint8_t> bytes = BuildMidiFile(m_events);
    m_events.clear();
    return file.Commit(bytes);
}
