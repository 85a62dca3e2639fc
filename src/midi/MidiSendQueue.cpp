// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiSendQueue.h"

#include "midi/MidiOutPorts.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kPage = 16;
constexpr std::uint8_t kChannelMode = 120;  // All Sound Off, All Notes Off and the like: never repeated

}  // namespace

MidiSendQueue::MidiSendQueue(MidiPacer& pacer, std::size_t capacity)
    : m_pacer(pacer), m_capacity(std::max<std::size_t>(capacity, 2)) {}

void MidiSendQueue::Attach(MidiOutPorts* ports, std::chrono::microseconds lookahead) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_sending; });
    m_ports = ports;
    m_lookahead = lookahead;
    // A device attached anew may hold anything (it was just opened, came back or was reopened).
    m_account.Forget();
    ++m_version;
    m_changed.notify_all();
}

std::optional<std::uint64_t> MidiSendQueue::Push(const std::uint8_t (&bytes)[3]) {
    const TimePoint now = m_pacer.Now();
    std::unique_lock lock(m_mutex);
    if (!MakeRoom(lock, 1)) {
        ++m_overflow;
        return std::nullopt;
    }
    const std::uint64_t id = m_nextId;
    Append(bytes, MessagePart::Single, now, false);
    m_changed.notify_all();
    lock.unlock();
    m_pacer.Queued(*this, 1);
    return id;
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> MidiSendQueue::PushPair(const std::uint8_t (&head)[3],
                                                                               const std::uint8_t (&tail)[3]) {
    const TimePoint now = m_pacer.Now();
    std::unique_lock lock(m_mutex);
    // Both halves are appended before the lock is given up, which is what keeps anyone from coming between.
    if (!MakeRoom(lock, 2)) {
        m_overflow += 2;
        return std::nullopt;
    }
    const std::uint64_t id = m_nextId;
    Append(head, MessagePart::PairHead, now, false);
    Append(tail, MessagePart::PairTail, now, false);
    m_changed.notify_all();
    lock.unlock();
    m_pacer.Queued(*this, 2);
    return std::pair{id, id + 1};
}

bool MidiSendQueue::MakeRoom(std::unique_lock<std::mutex>& lock, std::size_t room) {
    const auto fits = [&] { return m_pending.size() + room <= m_capacity; };
    // Once a wait for room has timed out, the device is not keeping up at all: later sends are dropped at
    // once until the queue is down to three quarters, so a flood never holds the caller message by message.
    if (m_overflowing && m_pending.size() + room > m_capacity * 3 / 4) return false;
    m_overflowing = false;
    if (!fits() && !m_changed.wait_for(lock, kFullWait, fits)) {
        m_overflowing = true;
        return false;
    }
    return true;
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> MidiSendQueue::PushStreamPair(const std::uint8_t (&head)[3],
                                                                                     const std::uint8_t (&tail)[3]) {
    const TimePoint now = m_pacer.Now();
    std::unique_lock lock(m_mutex);
    // The latest queued message for the same controller decides: a whole pair of a stream takes the new values.
    for (std::size_t i = m_pending.size(); i-- > 0;) {
        Pending& p = m_pending[i];
        if (p.bytes[0] != tail[0] || p.bytes[1] != tail[1]) continue;
        if (!p.stream || p.part != MessagePart::PairTail || i == 0 || !m_pending[i - 1].stream) break;
        Pending& h = m_pending[i - 1];
        std::copy(std::begin(head), std::end(head), h.bytes);
        std::copy(std::begin(tail), std::end(tail), p.bytes);
        // New ids: what was logged as queued under the old ones never leaves, as a superseded message.
        h.id = m_nextId++;
        p.id = m_nextId++;
        ++m_version;
        return std::pair{h.id, p.id};
    }
    if (!MakeRoom(lock, 2)) {
        m_overflow += 2;
        return std::nullopt;
    }
    const std::uint64_t id = m_nextId;
    Append(head, MessagePart::PairHead, now, false, true);
    Append(tail, MessagePart::PairTail, now, false, true);
    m_changed.notify_all();
    lock.unlock();
    m_pacer.Queued(*this, 2);
    return std::pair{id, id + 1};
}

std::optional<std::uint64_t> MidiSendQueue::PushAhead(const std::uint8_t (&bytes)[3]) {
    const TimePoint now = m_pacer.Now();
    std::unique_lock lock(m_mutex);
    if (m_pending.size() + 1 > m_capacity) {
        ++m_overflow;
        return std::nullopt;
    }
    // After what went ahead already, and after the parameter of a pair whose page select has left.
    auto at = m_pending.begin();
    while (at != m_pending.end() && (at->ahead || at->part == MessagePart::PairTail)) ++at;
    const std::uint64_t id = m_nextId++;
    m_pending.insert(at, Pending{now, now, id, 0, MessagePart::Single, {bytes[0], bytes[1], bytes[2]}, false, true});
    Respace();
    ++m_version;
    m_changed.notify_all();
    lock.unlock();
    m_pacer.Queued(*this, 1);
    return id;
}

void MidiSendQueue::Append(const std::uint8_t (&bytes)[3], MessagePart part, TimePoint now, bool repeat, bool stream) {
    TimePoint due = now;
    if (m_ports != nullptr && m_lastDue) due = std::max(now, *m_lastDue + kSpacing);
    m_lastDue = due;
    m_pending.push_back({now,
                         due,
                         m_nextId++,
                         repeat || stream ? 0 : m_supersedable,
                         part,
                         {bytes[0], bytes[1], bytes[2]},
                         repeat,
                         false,
                         stream});
    ++m_version;
}

namespace {

// Whether `tag` lies in the range first..last of tags that wrap at 2^32: its distance from `first`, counted
// forward modulo 2^32, is at most the range's length.
bool TagInRange(std::uint32_t tag, std::uint32_t first, std::uint32_t last) {
    return static_cast<std::uint32_t>(tag - first) <= static_cast<std::uint32_t>(last - first);
}

bool IsParameter(const std::uint8_t (&bytes)[3]) {
    return bytes[0] == kControlChange && bytes[1] != kPage && bytes[1] < kChannelMode;
}

}  // namespace

bool MidiSendQueue::QueuedFor(std::uint8_t controller) const {
    return std::any_of(m_pending.begin(), m_pending.end(),
                       [&](const Pending& p) { return !p.ahead && IsParameter(p.bytes) && p.bytes[1] == controller; });
}

void MidiSendQueue::RepeatUnsure(std::uint32_t first, std::uint32_t last, TimePoint now) {
    // The controllers in doubt: a parameter sent in the range, or one whose page select was (the page it came
    // on is then in doubt). Notes and what went ahead from the input are the player's, never repeated.
    std::vector<std::uint8_t> doubted;
    for (std::size_t i = 0; i < m_history.size(); ++i) {
        const Sent& s = m_history[i];
        if (!TagInRange(static_cast<std::uint32_t>(s.id), first, last)) continue;
        const bool afterPageSelect = i > 0 && m_history[i - 1].bytes[0] == kControlChange &&
                                     m_history[i - 1].bytes[1] == kPage && !m_history[i - 1].ahead;
        // A note or the pedal ended in doubt may still sound: the account says so, and a close ends it.
        if (s.ahead || !afterPageSelect) m_account.DoubtRelease({s.bytes[0], s.bytes[1], s.bytes[2]});
        if (s.ahead) continue;
        const bool pageSelect = s.bytes[0] == kControlChange && s.bytes[1] == kPage;
        if (pageSelect && i + 1 == m_history.size()) {
            // Its parameter has not left yet and will land on whatever page the device has: the parameter is
            // sent again after everything queued, with the latest value and page queued for it. A repeat is
            // never superseded, so the device ends on that value even if a newer whole patch drops the rest;
            // what the device is then expected to hold includes it, and agreement is computed from there.
            if (m_pending.empty() || m_pending.front().part != MessagePart::PairTail) continue;
            const std::uint8_t controller = m_pending.front().bytes[1];
            std::uint8_t head[3] = {kControlChange, kPage, s.bytes[2]};
            std::uint8_t tail[3] = {kControlChange, controller, m_pending.front().bytes[2]};
            for (std::size_t p = m_pending.size(); p-- > 1;) {
                const Pending& latest = m_pending[p];
                if (latest.ahead || !IsParameter(latest.bytes) || latest.bytes[1] != controller) continue;
                if (m_pending[p - 1].bytes[1] == kPage && m_pending[p - 1].bytes[0] == kControlChange)
                    head[2] = m_pending[p - 1].bytes[2];
                tail[2] = latest.bytes[2];
                break;
            }
            Append(head, MessagePart::PairHead, now, true);
            Append(tail, MessagePart::PairTail, now, true);
            continue;
        }
        const Sent* parameter = pageSelect ? &m_history[i + 1] : &s;
        if (parameter->ahead || !IsParameter(parameter->bytes)) continue;
        if (std::find(doubted.begin(), doubted.end(), parameter->bytes[1]) == doubted.end())
            doubted.push_back(parameter->bytes[1]);
    }
    for (const std::uint8_t controller : doubted) {
        // What the device should hold now is the last that left for it; a newer value still queued goes anyway.
        const std::optional<DeviceAccount::Parameter> held = m_account.Holds(controller);
        m_account.Doubt(controller);
        if (!held || QueuedFor(controller)) continue;
        const std::uint8_t head[3] = {kControlChange, kPage, held->page};
        const std::uint8_t tail[3] = {kControlChange, controller, held->value};
        Append(head, MessagePart::PairHead, now, true);
        Append(tail, MessagePart::PairTail, now, true);
    }
}

void MidiSendQueue::BeginWholePatch(bool supersedable) {
    std::lock_guard lock(m_mutex);
    // Whatever is queued of an earlier supersedable whole patch goes, pair by pair: a parameter whose page
    // select has already left stays with it.
    const std::size_t before = m_pending.size();
    bool headDropped = false;
    std::erase_if(m_pending, [&](const Pending& p) {
        const bool drop = p.transmission != 0 && (p.part != MessagePart::PairTail || headDropped);
        headDropped = drop && p.part == MessagePart::PairHead;
        return drop;
    });
    if (m_pending.size() != before) Respace();
    m_supersedable = supersedable ? ++m_transmissions : 0;
    ++m_version;
    m_changed.notify_all();
}

void MidiSendQueue::EndWholePatch() {
    std::lock_guard lock(m_mutex);
    m_supersedable = 0;
}

void MidiSendQueue::Respace() {
    std::optional<TimePoint> previous = m_leftDue;
    for (Pending& p : m_pending) {
        p.due = previous && m_ports != nullptr ? std::max(p.earliest, *previous + kSpacing) : p.earliest;
        previous = p.due;
    }
    m_lastDue = previous;
}

bool MidiSendQueue::WaitDrained(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_pending.empty() && !m_sending; });
}

std::chrono::milliseconds MidiSendQueue::DrainTime() const {
    std::lock_guard lock(m_mutex);
    return std::chrono::milliseconds(1000) + kSpacing * static_cast<std::int64_t>(m_pending.size());
}

std::size_t MidiSendQueue::Discard() {
    std::lock_guard lock(m_mutex);
    const std::size_t dropped = m_pending.size();
    m_pending.clear();
    m_lastDue = m_leftDue;
    m_changed.notify_all();
    return dropped;
}

std::size_t MidiSendQueue::TakeOverflow() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_overflow, 0);
}

std::vector<MidiSendQueue::Departure> MidiSendQueue::TakeDepartures() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_departures, {});
}

std::size_t MidiSendQueue::Size() const {
    std::lock_guard lock(m_mutex);
    return m_pending.size();
}

DeviceAccount MidiSendQueue::Account() const {
    std::lock_guard lock(m_mutex);
    return m_account;
}

DeviceAccount MidiSendQueue::Expected() const {
    std::lock_guard lock(m_mutex);
    DeviceAccount expected = m_account;
    // Nothing leaves for a queue without a device: it then holds only what it held.
    if (m_ports != nullptr)
        for (const Pending& p : m_pending) expected.Take({p.bytes[0], p.bytes[1], p.bytes[2]});
    return expected;
}

std::optional<MidiSendQueue::TimePoint> MidiSendQueue::SendDue(TimePoint now) {
    std::unique_lock lock(m_mutex);
    // What the device could not confirm goes again first of all that is queued from now on.
    if (MidiOutPorts* ports = m_ports) {
        m_sending = true;
        lock.unlock();
        const std::optional<MidiOutPorts::TagRange> unsure = ports->TakeUnsure();
        lock.lock();
        m_sending = false;
        if (unsure) RepeatUnsure(unsure->first, unsure->last, now);
        m_changed.notify_all();
    }
    while (!m_pending.empty()) {
        const Pending& front = m_pending.front();
        if (m_ports != nullptr && front.due > now + m_lookahead) {
            m_seenVersion = m_version;
            return front.due - m_lookahead;
        }
        const Pending p = front;
        m_pending.pop_front();
        m_leftDue = p.due;
        if (MidiOutPorts* ports = m_ports) {
            m_sending = true;
            lock.unlock();
            ports->SendAt(p.due, p.bytes[0], p.bytes[1], p.bytes[2], static_cast<std::uint32_t>(p.id));
            lock.lock();
            m_sending = false;
            if (m_history.size() >= kHistory) m_history.pop_front();
            m_history.push_back({p.id, {p.bytes[0], p.bytes[1], p.bytes[2]}, p.ahead});
            // Left: from now on the device is taken to hold it, until its server says it may have missed it.
            m_account.Take({p.bytes[0], p.bytes[1], p.bytes[2]});
        }
        // Nobody may be collecting: the log keeps the latest, as many as the queue holds.
        if (m_departures.size() >= m_capacity) m_departures.erase(m_departures.begin());
        m_departures.push_back({p.id, {p.bytes[0], p.bytes[1], p.bytes[2]}, p.repeat});
        m_changed.notify_all();
    }
    m_seenVersion = m_version;
    return std::nullopt;
}

void MidiSendQueue::WaitForWork(std::optional<TimePoint> until) {
    std::unique_lock lock(m_mutex);
    const auto woken = [this] { return m_wake || m_version != m_seenVersion; };
    if (until) {
        m_changed.wait_until(lock, *until, woken);
    } else {
        m_changed.wait(lock, woken);
    }
    m_wake = false;
}

void MidiSendQueue::Wake() {
    std::lock_guard lock(m_mutex);
    m_wake = true;
    m_changed.notify_all();
}
