// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiOutPorts.h"
#include "platform/BoundedCall.h"
#include "platform/FramePlacer.h"
#include "platform/MidiPortSignals.h"
#include "platform/RecentWrites.h"
#include "platform/StampedRing.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct _jack_client;
struct _jack_port;

// Our JACK client: it lists the MIDI inputs of the server and sends to one of them through an output port
// of its own. Each message is stamped with the frame time of its send and written one period later at that
// frame, never closer to the one before than it was sent, so the spacing the sender keeps is the spacing
// the input sees. The same code runs on jackd and on PipeWire's JACK library.
//
// Send and Close come from one thread; the process callback takes the messages from a lock-free ring.
// Neither waits for long on a stalled or dead server: a full ring waits a few ms and then drops, a close
// waits a bounded time for the queue to be delivered and says how much was not.
class JackMidiOutput : public std::enable_shared_from_this<JackMidiOutput> {
public:
    // Nothing when no server answers; never starts one.
    static std::shared_ptr<JackMidiOutput> Connect(const char* clientName, std::shared_ptr<MidiPortSignals> signals);
    // Closes the client on a thread of its own and waits a little for it: a frozen server keeps only that thread.
    static void Release(std::shared_ptr<JackMidiOutput> client);
    ~JackMidiOutput();
    JackMidiOutput(const JackMidiOutput&) = delete;
    JackMidiOutput& operator=(const JackMidiOutput&) = delete;

    // The server shut down or died: this client is of no further use.
    bool ServerGone() const { return m_gone.load(std::memory_order_acquire); }
    // The server's MIDI input ports by full name, in its order (our own left out).
    std::vector<std::string> InputPorts() const;

    // ---- the input: one of the server's MIDI outputs (a keyboard's), read by the process callback
    // The server's MIDI output ports by full name, in its order (our own left out).
    std::vector<std::string> OutputPorts() const;
    // Connects `source` to an input port of ours (registered at the first open and kept) and reads it: whole
    // messages of up to three bytes go to a lock-free ring, and each cycle that brought any writes to
    // `wake` (an eventfd). Bounded: a server that does not answer makes it fail, never hang.
    bool OpenInput(const std::string& source, int wake);
    void CloseInput();
    // The program's thread: the messages read since the last call, and each byte's arrival (µs, wrapping).
    void TakeInput(std::vector<std::uint8_t>& bytes, std::vector<std::uint32_t>& arrived);

    enum class OpenResult {
        Opened,
        Refused,   // no such port, or the server said no
        NoAnswer,  // the server did not answer in time (frozen): the device is not open
    };
    // Waits a bounded time for the server; a request it gave up on finishes on a thread of its own, and
    // later opens wait for it within their own bound.
    OpenResult Open(const std::string& target, const char* portName);
    bool IsOpen() const { return m_open; }
    // False when the message was dropped: no device, the device or server gone, or the queue stayed full.
    bool Send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        return SendAt(std::chrono::steady_clock::now(), status, data1, data2);
    }
    // The same, stamped with the time it is due (now or up to Lookahead() ahead): the server places it there.
    bool SendAt(std::chrono::steady_clock::time_point due, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                std::uint32_t tag = 0);
    // The tags of messages a stall or overrun put in doubt since the last call (see ServerFaults); the caller
    // repeats what they carried.
    std::optional<MidiOutPorts::TagRange> TakeUnsure();
    // How long before it is due a message may be handed over: one period.
    std::chrono::microseconds Lookahead() const;
    // Waits until every queued message has been delivered, or the server died, or the time limit passed;
    // then disconnects from the device. Returns how many queued messages were not confirmed delivered.
    std::size_t Close();
    // The device disconnected or its server went away while open.
    bool TargetLost() const { return m_targetLost.load(std::memory_order_acquire) || ServerGone(); }

    // Stalls and overruns of the server seen so far. Messages written in the second before one are in doubt,
    // since a reader may have missed them: TakeUnsure hands them to the sender to repeat, and those it has
    // not taken by the close are counted as not delivered.
    std::uint64_t ServerFaults() const { return m_faults.load(std::memory_order_relaxed); }

    // How long a close waits at most for the queue: 16 periods, never under 500 ms.
    std::chrono::milliseconds DrainLimit() const;

private:
    explicit JackMidiOutput(std::shared_ptr<MidiPortSignals> signals);

    friend struct JackCallbacks;  // the C callbacks the library calls

    void Process(std::uint32_t nframes);
    void ReadInput(std::uint32_t nframes, std::uint32_t cycleStart);
    std::vector<std::string> Ports(unsigned long flags) const;
    // Waits (sleeping) until `done` holds, the server dies, or the limit passes; true when `done` held.
    template <typename Done>
    bool WaitFor(std::chrono::milliseconds limit, Done done) const;
    // Stops the process callback writing, and waits until a cycle under way has finished.
    void StopWriting();
    // Waits (bounded) until a process cycle under way has ended.
    void WaitForCycleEnd() const;
    std::string Target() const;
    void SetTarget(std::string target);

    std::shared_ptr<MidiPortSignals> m_signals;
    _jack_client* m_client = nullptr;
    std::uint32_t m_sampleRate = 48000;
    std::atomic<std::uint32_t> m_periodFrames{1024};
    std::atomic<bool> m_gone{false};

    // Shared with the process callback. Memory orders: a flag or pointer that hands something over (the port,
    // the ring's contents, a request to forget) is stored with release and loaded with acquire, so that what it
    // guards is seen with it; counters only read for a report (faults, written) are relaxed; the plain
    // seq_cst stores and loads of m_accepting and m_inCycle order a close against a cycle under way: a cycle
    // that read m_accepting before the close cleared it is still marked in m_inCycle, which WaitForCycleEnd
    // waits out. The port is registered at the first open and kept for the life of
    // the client, so that the callback can clear its buffer every cycle: a close that gives up on a frozen
    // server must not leave the last cycle's messages in a buffer the server reads again once it resumes.
    std::atomic<_jack_port*> m_port{nullptr};
    std::atomic<bool> m_accepting{false};  // set while open: the callback writes the queue to the port
    // Set by an open: the callback forgets what an earlier open queued, and its placement, before it writes.
    // The open never touches the ring or the placer itself: a cycle that a close gave up waiting for may
    // still be using them.
    std::atomic<bool> m_forget{false};
    std::atomic<std::uint32_t> m_forgetBefore{0};
    std::atomic<bool> m_targetLost{false};
    std::atomic<bool> m_inCycle{false};
    std::atomic<std::uint64_t> m_cycles{0};
    std::atomic<std::uint64_t> m_written{0};    // messages written to the port
    std::atomic<std::uint64_t> m_delivered{0};  // of those, the ones a later cycle has confirmed
    std::atomic<std::uint64_t> m_doubted{0};    // writes a stall or an overrun put in doubt, for the client's life
    std::atomic<std::uint32_t> m_xruns{0};      // overruns the server reported
    std::atomic<std::uint64_t> m_faults{0};     // stalls and overruns the callback has seen
    // The tags of the first and last messages written around faults not yet taken, packed first << 32 | last;
    // 0 means none. Tags are the send queue's ids, which start at 1: a range of first and last tag 0 would need
    // 2^32 messages (some 100 days at the device's pace) and is then taken for none, costing one repeat.
    std::atomic<std::uint64_t> m_unsureTags{0};
    // m_doubted when the sender last took a range to repeat, or at the open: the doubts since are the close's
    // to report. Written by the sender and the open, read by the close, which may be another thread.
    std::atomic<std::uint64_t> m_handedOver{0};
    StampedRing m_ring;
    // The callback's own.
    FramePlacer m_placer;
    RecentWrites m_recentWrites;  // what a fault told late may have cost a reader
    std::uint32_t m_lastTag = 0;  // of the last message written
    std::uint32_t m_seenXruns = 0;
    std::uint32_t m_lastCycleStart = 0;
    std::uint32_t m_lastCycleFrames = 0;
    std::chrono::steady_clock::time_point m_lastCycleWall{};
    std::chrono::steady_clock::time_point m_holdUntil{};  // after a stall: write nothing before this

    // The input: its port, whether the callback reads it, where it tells of what it read, and the hand-over.
    std::atomic<_jack_port*> m_inPort{nullptr};
    std::atomic<bool> m_reading{false};
    std::atomic<int> m_inputWake{-1};
    StampedRing m_inRing;
    std::string m_source;                          // the program's thread's own
    std::optional<BackgroundCall> m_inputLeaving;  // the disconnect of the last input close

    // The device while open; also read by the notification thread.
    mutable std::mutex m_targetMutex;
    std::string m_target;

    // The sending thread's own.
    bool m_open = false;
    std::optional<BackgroundCall> m_unanswered;  // a disconnect or an open the server has not answered yet
    bool m_unansweredIsOpen = false;             // it is an open
    std::uint64_t m_queued = 0;                  // messages put into the ring, counted on from open to open
    std::uint64_t m_openedAt = 0;                // the count at the last open
    std::optional<std::uint64_t> m_stalledAt;    // cycle count when a full ring last timed out
};
