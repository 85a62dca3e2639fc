// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiSink.h"

#include "midi/MidiFile.h"
#include "midi/MidiOutPorts.h"
#include "midi/MidiPacer.h"
#include "midi/MidiSendQueue.h"

#include <algorithm>
#include <utility>

MidiPortSink::MidiPortSink(MidiOutPorts* ports, MidiPacer* pacer) : m_ports(ports), m_pacer(pacer) {
    if (m_pacer == nullptr) return;
    m_queue = std::make_unique<MidiSendQueue>(*m_pacer);
    m_pacer->Serve(m_queue.get());
}

MidiPortSink::~MidiPortSink() {
    CloseDevice();
    if (m_pacer != nullptr) m_pacer->Serve(nullptr);
}

void MidiPortSink::EmitShortMessage(std::uint32_t word) { EmitShortMessage(word, MessagePart::Single); }

void MidiPortSink::EmitShortMessage(std::uint32_t word, MessagePart part) {
    if (m_recording != 0) {
        m_events.push_back((word << 8) | 0x02u);
        return;
    }
    if (m_deviceHandle == kNoDevice) ++m_sentWithoutDevice;
    if (!m_queue) return;
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                                   static_cast<std::uint8_t>(word >> 16)};
    const bool open = m_ports != nullptr && m_deviceHandle != kNoDevice;
    if (open) ++m_sentSinceOpen;
    // Lost to a full queue: counted by the close.
    const std::optional<std::uint64_t> id = m_queue->Push(bytes, part);
    if (id && m_tap != nullptr) m_tap->MessageQueued(*id, bytes[0], bytes[1], bytes[2]);
    ReportDepartures();
}

void MidiPortSink::EmitPair(std::uint32_t head, std::uint32_t tail) {
    if (m_streaming == 0 || m_recording != 0 || !m_queue) {
        EmitShortMessage(head, MessagePart::PairHead);
        EmitShortMessage(tail, MessagePart::PairTail);
        return;
    }
    const auto bytesOf = [](std::uint32_t word, std::uint8_t(&out)[3]) {
        out[0] = static_cast<std::uint8_t>(word);
        out[1] = static_cast<std::uint8_t>(word >> 8);
        out[2] = static_cast<std::uint8_t>(word >> 16);
    };
    std::uint8_t h[3];
    std::uint8_t t[3];
    bytesOf(head, h);
    bytesOf(tail, t);
    if (m_ports != nullptr && m_deviceHandle != kNoDevice) m_sentSinceOpen += 2;
    const auto ids = m_queue->PushStreamPair(h, t);
    if (ids && m_tap != nullptr) {
        m_tap->MessageQueued(ids->first, h[0], h[1], h[2]);
        m_tap->MessageQueued(ids->second, t[0], t[1], t[2]);
    }
    ReportDepartures();
}

bool MidiPortSink::SendAhead(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    if (!m_queue || m_recording != 0 || m_ports == nullptr || m_deviceHandle == kNoDevice) return false;
    const std::uint8_t bytes[3] = {status, data1, data2};
    ++m_sentSinceOpen;
    const std::optional<std::uint64_t> id = m_queue->PushAhead(bytes);
    if (id && m_tap != nullptr) m_tap->MessageQueuedAhead(*id, status, data1, data2);
    ReportDepartures();
    return id.has_value();
}

void MidiPortSink::ReportDepartures() {
    if (!m_queue) return;
    const std::vector<MidiSendQueue::Departure> left = m_queue->TakeDepartures();
    if (m_tap != nullptr)
        for (const MidiSendQueue::Departure& d : left) {
            if (d.repeat) {
                m_tap->MessageRepeated(d.bytes[0], d.bytes[1], d.bytes[2]);
            } else {
                m_tap->MessageLeft(d.id);
            }
        }
}

void MidiPortSink::BeginWholePatch(bool supersedable) {
    if (m_queue && m_recording == 0) m_queue->BeginWholePatch(supersedable);
}

void MidiPortSink::EndWholePatch() {
    if (m_queue) m_queue->EndWholePatch();
}

void MidiPortSink::SendWide(ParamMessage m) {
    std::uint8_t page = 1;
    std::int32_t v = m.value();
    if (v > 127) {
        page = 2;
        v -= 128;
    }
    EmitPair(
        ShortMessageWord(kControlChangeStatus, kPageController, page),
        ShortMessageWord(kControlChangeStatus, static_cast<std::uint8_t>(m.parameter()), static_cast<std::uint8_t>(v)));
}

void MidiPortSink::SendPage3(ParamMessage m) {
    EmitPair(ShortMessageWord(kControlChangeStatus, kPageController, 3),
             ShortMessageWord(kControlChangeStatus, static_cast<std::uint8_t>(m.parameter()),
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
    m_sentWithoutDevice = 0;
    if (m_queue) {
        m_queue->TakeOverflow();
        m_queue->Attach(m_ports, m_ports->Lookahead());
    }
    return true;
}

std::size_t MidiPortSink::CloseDevice(Queued queued) {
    if (m_deviceHandle == kNoDevice) return 0;
    std::size_t undelivered = 0;
    if (m_queue) {
        // Bounded: a device that stopped taking messages holds the close no longer than its queue would take.
        if (queued == Queued::Drop || !m_queue->WaitDrained(m_queue->DrainTime())) undelivered += m_queue->Discard();
        m_queue->Attach(nullptr);
        undelivered += m_queue->TakeOverflow();
        ReportDepartures();
    }
    if (m_ports != nullptr) undelivered += m_ports->Close();
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
