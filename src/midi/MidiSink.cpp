// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiSink.h"

#include "midi/DeviceAccount.h"
#include "midi/MidiFile.h"
#include "midi/MidiOutPorts.h"
#include "midi/MidiPacer.h"
#include "midi/MidiSendQueue.h"

#include <algorithm>
#include <array>
#include <optional>
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

namespace {

void BytesOf(std::uint32_t word, std::uint8_t (&out)[3]) {
    out[0] = static_cast<std::uint8_t>(word);
    out[1] = static_cast<std::uint8_t>(word >> 8);
    out[2] = static_cast<std::uint8_t>(word >> 16);
}

// The page select and the value a wide parameter goes out with: values above 127 on page 2.
std::pair<std::uint8_t, std::uint8_t> WidePageAndValue(std::int32_t value) {
    if (value > 127) return {2, static_cast<std::uint8_t>(value - 128)};
    return {1, static_cast<std::uint8_t>(value)};
}

}  // namespace

void MidiSink::SendOne(const ParamSend& p) {
    switch (p.kind) {
        case ParamSend::Kind::Wide: SendWide(p.message); break;
        case ParamSend::Kind::Page3: SendPage3(p.message); break;
        case ParamSend::Kind::Direct: SendDirect(p.message); break;
    }
}

void MidiSink::SendWhatDiffers(const Transmission& whole) {
    for (const ParamSend& p : whole) SendOne(p);
}

void MidiPortSink::EmitShortMessage(std::uint32_t word) {
    if (m_recording != 0) {
        m_events.push_back((word << 8) | 0x02u);
        return;
    }
    if (!m_queue) return;
    std::uint8_t bytes[3];
    BytesOf(word, bytes);
    if (m_ports != nullptr && m_deviceHandle != kNoDevice) ++m_sentSinceOpen;
    // Lost to a full queue: counted by the close.
    const std::optional<std::uint64_t> id = m_queue->Push(bytes);
    if (id && m_tap != nullptr) m_tap->MessageQueued(*id, bytes[0], bytes[1], bytes[2]);
    ReportDepartures();
}

void MidiPortSink::EmitPair(std::uint32_t head, std::uint32_t tail) {
    if (m_recording != 0) {
        EmitShortMessage(head);
        EmitShortMessage(tail);
        return;
    }
    if (!m_queue) return;
    std::uint8_t h[3];
    std::uint8_t t[3];
    BytesOf(head, h);
    BytesOf(tail, t);
    if (m_ports != nullptr && m_deviceHandle != kNoDevice) m_sentSinceOpen += 2;
    const auto ids = m_streaming != 0 ? m_queue->PushStreamPair(h, t) : m_queue->PushPair(h, t);
    if (ids && m_tap != nullptr) {
        m_tap->MessageQueued(ids->first, h[0], h[1], h[2]);
        m_tap->MessageQueued(ids->second, t[0], t[1], t[2]);
    }
    ReportDepartures();
}

DeviceAccount MidiPortSink::Expected() const {
    if (!m_queue || m_deviceHandle == kNoDevice) return {};
    return m_queue->Expected();
}

void MidiPortSink::SendWhatDiffers(const Transmission& whole) {
    if (m_recording != 0) return MidiSink::SendWhatDiffers(whole);
    if (!m_queue || m_ports == nullptr || m_deviceHandle == kNoDevice) return;
    // Begun before the comparison: a supersedable whole patch still queued is dropped now, not counted on.
    const WholePatchScope scope(*this, false);
    const DeviceAccount expected = m_queue->Expected();
    // What each message leaves the device holding on its controller; direct messages carry no parameter.
    const auto holding = [](const ParamSend& p) -> std::optional<DeviceAccount::Parameter> {
        const auto value = static_cast<std::uint8_t>(p.message.value());
        switch (p.kind) {
            case ParamSend::Kind::Wide: {
                const auto [page, v] = WidePageAndValue(p.message.value());
                return DeviceAccount::Parameter{page, v};
            }
            case ParamSend::Kind::Page3: return DeviceAccount::Parameter{3, value};
            case ParamSend::Kind::Direct: return std::nullopt;
        }
        return std::nullopt;
    };
    const auto controller = [](const ParamSend& p) { return static_cast<std::uint8_t>(p.message.parameter() & 0x7F); };
    const bool knowsAny = std::any_of(whole.begin(), whole.end(), [&](const ParamSend& p) {
        return holding(p) && expected.Holds(controller(p)).has_value();
    });
    if (!knowsAny) {
        for (const ParamSend& p : whole) SendOne(p);
        return;
    }
    // The device keeps the last message of a controller: only that one is compared and sent.
    std::array<std::size_t, 128> last{};
    for (std::size_t i = 0; i < whole.size(); ++i) last[controller(whole[i])] = i;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const ParamSend& p = whole[i];
        if (last[controller(p)] != i) continue;
        const std::optional<DeviceAccount::Parameter> wanted = holding(p);
        if (wanted && expected.Holds(controller(p)) == wanted) continue;
        SendOne(p);
    }
}

void MidiPortSink::ReleaseHeld() {
    if (!m_queue || m_recording != 0 || m_ports == nullptr || m_deviceHandle == kNoDevice) return;
    for (const ShortMessage& m : m_queue->Expected().Releases()) EmitShortMessage(ShortMessageWord(m[0], m[1], m[2]));
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
    const auto [page, v] = WidePageAndValue(m.value());
    EmitPair(ShortMessageWord(kControlChangeStatus, kPageController, page),
             ShortMessageWord(kControlChangeStatus, static_cast<std::uint8_t>(m.parameter()), v));
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
    if (m_queue) {
        m_queue->TakeOverflow();
        m_queue->Attach(m_ports, m_ports->Lookahead());
    }
    return true;
}

std::size_t MidiPortSink::CloseDevice(Queued queued) {
    if (m_deviceHandle == kNoDevice) return 0;
    // A device left behind is left silent: what it plays from the input or the test note ends on it.
    if (queued == Queued::Deliver) ReleaseHeld();
    std::size_t undelivered = 0;
    if (m_queue) {
        // Bounded: a device that stopped taking messages holds the close no longer than its queue would take.
        if (queued == Queued::Deliver && m_pacer != nullptr) m_pacer->Draining(*m_queue);
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
