// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiInParser.h"
#include "midi/MidiSink.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class CMainDlg;

// "Note On C4, velocity 100, channel 2": a message from the input device in the monitor's words.
std::string DescribeInput(const ChannelMessage& message);

// What the program sends, message by message, with its meaning in the form's words ("DCO1 Amp. = 200",
// "page 2", "Transmit All 12/33: ..."). Attached to the port sink only while someone watches, so that
// sending costs nothing more otherwise. A message is shown when it leaves for the device, with the meaning it
// had when it was sent (queued); one that never leaves (superseded) is never shown. Keeps the latest kCapacity.
class MidiMonitor : public MidiTap {
public:
    static constexpr std::size_t kCapacity = 10000;

    struct Entry {
        std::chrono::steady_clock::time_point time;
        std::uint8_t bytes[3];
        std::string meaning;
    };

    explicit MidiMonitor(const CMainDlg& form) : m_form(form) {}

    void MessageQueued(std::uint64_t id, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    void MessageLeft(std::uint64_t id) override;
    void MessageRepeated(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    void MessageQueuedAhead(std::uint64_t id, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    // A message from the input device and what it did ("thru", or what its controller binding did): shown
    // at once, marked as input.
    void InputReceived(const ChannelMessage& message, const std::string& what);
    // News about the devices ("Keys A is gone: ..."), shown among the messages, with no bytes.
    void Notice(const std::string& text);
    // Asked before the entries are read: brings in what has left since (the port sink's ReportDepartures).
    void SetRefresh(std::function<void()> refresh) { m_refresh = std::move(refresh); }

    const std::deque<Entry>& Entries() const { return m_entries; }
    // Entries added since the last call (oldest first), as many as are still kept.
    std::vector<Entry> TakeNew();
    void Clear();
    // While paused nothing is added.
    void SetPaused(bool paused) { m_paused = paused; }
    bool IsPaused() const { return m_paused; }

    // One entry as a line: seconds since the monitor opened (or was cleared), the bytes in hex, the meaning.
    std::string Line(const Entry& entry) const;
    // Every entry kept, a line each.
    std::string Text() const;
    // What a message means, given the page that the message before chose.
    std::string Meaning(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) const;

private:
    struct Waiting {
        std::uint64_t id;
        Entry entry;
        bool ahead = false;  // queued ahead of others: may leave before messages of lower ids
    };
    void Add(Entry entry);

    const CMainDlg& m_form;
    std::function<void()> m_refresh;
    std::deque<Waiting> m_waiting;  // queued, not yet left, oldest first
    std::deque<Entry> m_entries;
    std::size_t m_unread = 0;
    int m_page = 1;
    int m_repeatPage = 1;
    bool m_paused = false;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};
