#pragma once

#include "midi/MidiSink.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class CMainDlg;

// What the program sends, message by message, with its meaning in the form's words ("DCO1 Amp. = 200",
// "page 2", "Transmit All 12/33: ..."). Attached to the port sink only while someone watches, so that
// sending costs nothing more otherwise. Keeps the latest kCapacity messages.
class MidiMonitor : public MidiTap {
public:
    static constexpr std::size_t kCapacity = 10000;

    struct Entry {
        std::chrono::steady_clock::time_point time;
        std::uint8_t bytes[3];
        std::string meaning;
    };

    explicit MidiMonitor(const CMainDlg& form) : m_form(form) {}

    void MessageSent(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;

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
    const CMainDlg& m_form;
    std::deque<Entry> m_entries;
    std::size_t m_unread = 0;
    int m_page = 1;
    bool m_paused = false;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};
