// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/DeviceAccount.h"
#include "midi/MidiPacer.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

class MidiOutPorts;

// A page select and the parameter after it are a pair: nothing may come between them, and a pair is never
// split by what is dropped.
enum class MessagePart : std::uint8_t { Single, PairHead, PairTail };

// The messages on their way to one device, each with the time it may leave: the later of its queuing and
// 2 ms after the message before, so the instrument keeps up. One thread queues (the program's, which never
// waits here except for room in a full queue), one sends (the platform's pacer). What has left is logged
// for the program's thread to collect (the MIDI monitor shows a message when it leaves, not when queued).
//
// A whole-patch transmission may be marked supersedable (an audition, Compare): when the next whole patch
// begins, what is still queued of it is dropped, pair by pair, and what follows moves up.
class MidiSendQueue {
public:
    using TimePoint = MidiPacer::TimePoint;
    static constexpr std::chrono::milliseconds kSpacing{2};
    // 8 s of messages at the device's pace: a whole patch is 66, a slider dragged fast some 250 a second.
    static constexpr std::size_t kCapacity = 4096;
    // How long a send waits for room in a full queue; then its message is lost and counted as not delivered,
    // and so is every later one, without waiting, until the queue is down to three quarters.
    static constexpr std::chrono::milliseconds kFullWait{20};

    // The messages that left last, kept to repeat what an overrun of the device's server made unsure.
    static constexpr std::size_t kHistory = 1024;

    struct Departure {
        std::uint64_t id = 0;
        std::uint8_t bytes[3] = {};
        bool repeat = false;  // sent again after an overrun, with the value it has now
    };

    explicit MidiSendQueue(MidiPacer& pacer, std::size_t capacity = kCapacity);
    MidiSendQueue(const MidiSendQueue&) = delete;
    MidiSendQueue& operator=(const MidiSendQueue&) = delete;

    // ---- the queuing thread
    // Where messages go (null: nowhere; they then leave at once, unpaced, for the log only). `lookahead`: how
    // long before its due time a message is handed over, for a device that places it at that time itself.
    // Returns once the sender is no longer handing a message to the device that was attached before.
    void Attach(MidiOutPorts* ports, std::chrono::microseconds lookahead = {});
    // The id the message is logged under when it leaves; nothing when the queue stayed full and it was lost.
    std::optional<std::uint64_t> Push(const std::uint8_t (&bytes)[3]);
    // A page select and its parameter, queued in one step under the queue's lock: no other thread (the sender
    // appending a repeat, a note going ahead) can put anything between them, and a full queue loses both.
    // The ids the two are logged under.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> PushPair(const std::uint8_t (&head)[3],
                                                                    const std::uint8_t (&tail)[3]);
    // A page select and its parameter of a stream (a morph), where only the latest value of a parameter counts:
    // while a pair of a stream for the same controller is still queued whole, with nothing queued after it for
    // that controller, the new pair takes its place (and its due time); else the pair is queued at the end. So
    // a sweep faster than the device drops values no one would hear, never half a pair, and never the last.
    // The ids the two are logged under; nothing when a full queue lost them.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> PushStreamPair(const std::uint8_t (&head)[3],
                                                                          const std::uint8_t (&tail)[3]);
    // A single message that must not wait behind what is queued (a note played on the input): it goes before
    // everything queued except what went ahead before it, never between a page select and its parameter, and
    // what it passes moves back by one spacing. Never repeated after an overrun. Nothing when the queue is
    // full: a late note is worse than a lost one, so it never waits for room.
    std::optional<std::uint64_t> PushAhead(const std::uint8_t (&bytes)[3]);
    // A whole patch begins: what is queued of an earlier supersedable one is dropped. Messages queued until
    // EndWholePatch belong to it.
    void BeginWholePatch(bool supersedable);
    void EndWholePatch();
    // Waits until everything queued has been handed to the device, at most `limit`; true when it has.
    bool WaitDrained(std::chrono::milliseconds limit);
    // What is queued at the device's pace, plus a margin for a busy machine: a limit for WaitDrained.
    std::chrono::milliseconds DrainTime() const;
    // Forgets everything queued; returns how many messages that was.
    std::size_t Discard();
    // Messages lost to a full queue since the last call.
    std::size_t TakeOverflow();
    // Messages that have left since the last call, oldest first.
    std::vector<Departure> TakeDepartures();
    std::size_t Size() const;
    // What the device holds once everything queued has left: what left for it, then what is queued, in order.
    DeviceAccount Expected() const;
    // What the device holds of what has left so far.
    DeviceAccount Account() const;

    // ---- the sender
    // Hands every message due by `now` (plus the lookahead) to the device, one by one and without holding
    // the queue while the device takes it; returns when the sender should look again (nothing: when
    // something is queued).
    std::optional<TimePoint> SendDue(TimePoint now);
    // Sleeps until `until` (on the steady clock; nothing: for ever) or until something is queued or Wake.
    void WaitForWork(std::optional<TimePoint> until);
    void Wake();

private:
    struct Pending {
        TimePoint earliest;  // when it was queued
        TimePoint due;
        std::uint64_t id;
        std::uint64_t transmission;  // the supersedable whole patch it belongs to, or 0
        MessagePart part;
        std::uint8_t bytes[3];
        bool repeat = false;
        bool ahead = false;   // queued by PushAhead
        bool stream = false;  // of a stream: a newer value of its parameter may take its place
    };
    struct Sent {
        std::uint64_t id;
        std::uint8_t bytes[3];
        bool ahead;  // not a parameter of the editor's: never repeated
    };

    // Due times anew, after messages before them were dropped.
    void Respace();
    // The parameters of the messages the device is not sure it delivered become unknown in the account, and
    // each is queued again with the value the device should hold now, as a page select and the parameter.
    // Notes and channel messages are never repeated.
    void RepeatUnsure(std::uint32_t first, std::uint32_t last, TimePoint now);
    void Append(const std::uint8_t (&bytes)[3], MessagePart part, TimePoint now, bool repeat, bool stream = false);
    // Whether a message for this parameter controller is queued: it will leave anyway, with a newer value.
    bool QueuedFor(std::uint8_t controller) const;
    // Waits (bounded) for room for `room` messages; false when there is none and the message is lost.
    bool MakeRoom(std::unique_lock<std::mutex>& lock, std::size_t room);

    MidiPacer& m_pacer;
    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Pending> m_pending;
    std::vector<Departure> m_departures;
    std::deque<Sent> m_history;  // what left for the device, oldest first
    MidiOutPorts* m_ports = nullptr;
    std::chrono::microseconds m_lookahead{};
    bool m_sending = false;  // the sender is handing a message over, the queue unlocked
    bool m_wake = false;
    bool m_overflowing = false;          // a send found the queue full and waited in vain
    std::uint64_t m_version = 0;         // counts what may give the sender work
    std::uint64_t m_seenVersion = 0;     // as the sender last looked
    std::optional<TimePoint> m_lastDue;  // of the last message queued
    std::optional<TimePoint> m_leftDue;  // of the last message that left
    std::uint64_t m_nextId = 1;
    std::uint64_t m_transmissions = 0;
    std::uint64_t m_supersedable = 0;  // the whole patch being queued, when it may be superseded
    std::size_t m_overflow = 0;
    // What left for the attached device since it was attached; fed by SendDue as each message is handed over.
    DeviceAccount m_account;
};
