// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/ParamMessage.h"
#include "util/WholeFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DeviceAccount;
class MidiOutPorts;
class MidiPacer;
class MidiSendQueue;
class UserDialogs;

// One parameter message of a whole-patch transmission, as the form sends it.
struct ParamSend {
    enum class Kind : std::uint8_t { Wide, Page3, Direct };
    Kind kind;
    ParamMessage message;
};
using Transmission = std::vector<ParamSend>;

// Destination of parameter messages.
class MidiSink {
public:
    virtual ~MidiSink() = default;
    virtual void SendWide(ParamMessage m) = 0;
    virtual void SendPage3(ParamMessage m) = 0;
    virtual void SendDirect(ParamMessage m) = 0;
    // A message of its own, not a parameter: a note for the synthesizer to play.
    virtual void SendChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
    // What is sent until EndWholePatch is a whole patch. A supersedable one (an audition, Compare) gives way
    // to the next whole patch: what is still on its way of it may be dropped, never half a pair.
    virtual void BeginWholePatch(bool /*supersedable*/) {}
    virtual void EndWholePatch() {}
    // What is sent until EndStream is a stream (a morph): only the latest value of a parameter counts, so a
    // value still on its way may be replaced by a newer one of the same parameter, never half a pair.
    virtual void BeginStream() {}
    virtual void EndStream() {}
    // Brings the device to hold `whole` (what a Transmit All of the form sends, in its order): a sink that
    // knows what its device holds sends only what differs; this one sends it all.
    virtual void SendWhatDiffers(const Transmission& whole);

protected:
    void SendOne(const ParamSend& p);
};

// Scoped: the messages sent while it lives are a stream.
class StreamScope {
public:
    explicit StreamScope(MidiSink& sink) : m_sink(sink) { m_sink.BeginStream(); }
    ~StreamScope() { m_sink.EndStream(); }
    StreamScope(const StreamScope&) = delete;
    StreamScope& operator=(const StreamScope&) = delete;

private:
    MidiSink& m_sink;
};

// Scoped: the messages sent while it lives are one whole patch.
class WholePatchScope {
public:
    WholePatchScope(MidiSink& sink, bool supersedable) : m_sink(sink) { m_sink.BeginWholePatch(supersedable); }
    ~WholePatchScope() { m_sink.EndWholePatch(); }
    WholePatchScope(const WholePatchScope&) = delete;
    WholePatchScope& operator=(const WholePatchScope&) = delete;

private:
    MidiSink& m_sink;
};

// Controller 16 selects the page of the message that follows it.
constexpr std::uint8_t kPageController = 16;
constexpr std::uint8_t kControlChangeStatus = 0xB0;
constexpr std::uint8_t kNoteOnStatus = 0x90;
constexpr std::uint8_t kNoteOffStatus = 0x80;

// Told of every message the port sink sends to its device, on the program's thread (the MIDI monitor):
// when it is queued (what it means is known then), and, under the same id, when it leaves for the device.
// A queued message that never leaves (superseded, or still queued when its device closed) is not told again.
class MidiTap {
public:
    virtual ~MidiTap() = default;
    virtual void MessageQueued(std::uint64_t id, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
    virtual void MessageLeft(std::uint64_t id) = 0;
    // Queued ahead of what was queued before (SendAhead): it may leave before messages of lower ids.
    virtual void MessageQueuedAhead(std::uint64_t id, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        MessageQueued(id, status, data1, data2);
    }
    // Sent again, with the value it has now, after an overrun of the device's server made its delivery unsure.
    virtual void MessageRepeated(std::uint8_t /*status*/, std::uint8_t /*data1*/, std::uint8_t /*data2*/) {}
};

// Sends to one MIDI output device, or records into an event list for the MIDI file export. Messages for the
// device are queued, each due 2 ms after the one before, and the pacer sends them: the caller never waits.
class MidiPortSink : public MidiSink {
public:
    static constexpr int kNoDevice = -1;

    // Either pointer may be null (the null sink): sends then reach nothing.
    MidiPortSink(MidiOutPorts* ports, MidiPacer* pacer);
    ~MidiPortSink() override;
    MidiPortSink(const MidiPortSink&) = delete;
    MidiPortSink& operator=(const MidiPortSink&) = delete;

    void SendWide(ParamMessage m) override;
    void SendPage3(ParamMessage m) override;
    void SendDirect(ParamMessage m) override;
    void SendChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    void BeginWholePatch(bool supersedable) override;
    void EndWholePatch() override;
    void BeginStream() override { ++m_streaming; }
    void EndStream() override { --m_streaming; }

    // A message played on the input, passed on to the open device ahead of what is queued (never between a
    // page select and its parameter). Dropped when no device is open, while recording, or when the queue is
    // full; false then.
    bool SendAhead(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

    // Compares `whole` with what the open device will hold once its queue has left (its account) and queues
    // what differs, in `whole`'s order, the last message of each controller only; a device that holds none of
    // its parameters knowingly (just opened, back, reopened) gets `whole` as it stands. Never superseded;
    // what an audition left queued gives way first. Nothing without a device: it gets all when it opens.
    void SendWhatDiffers(const Transmission& whole) override;
    // Ends every note and sustain pedal the open device holds or will hold once its queue has left.
    void ReleaseHeld();
    // What the open device will hold once everything queued has left; unknown throughout without a device.
    DeviceAccount Expected() const;

    bool OpenDevice(int id);
    enum class Queued { Deliver, Drop };
    // Waits (bounded) for the queue to be delivered, unless told to drop it (the device is gone), then closes.
    // How many messages sent since the device was opened never reached it (0 when none was open).
    std::size_t CloseDevice(Queued queued = Queued::Deliver);
    // Messages handed to the open device since it was opened.
    std::size_t SentSinceOpen() const { return m_sentSinceOpen; }
    void StartRecording();
    void StopRecording();

    // Null: nobody listens, and sending costs nothing more.
    void SetTap(MidiTap* tap) { m_tap = tap; }
    // Tells the tap which messages have left for the device since the last call.
    void ReportDepartures();

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
    // A page select and its parameter: as a stream's pair while a stream is sent.
    void EmitPair(std::uint32_t head, std::uint32_t tail);

private:
    MidiOutPorts* m_ports;
    MidiPacer* m_pacer;
    std::unique_ptr<MidiSendQueue> m_queue;  // none in the null sink
    int m_deviceHandle = kNoDevice;
    std::size_t m_sentSinceOpen = 0;
    std::uint8_t m_recording = 0;
    int m_streaming = 0;
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
