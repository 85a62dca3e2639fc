// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MidiMonitor.h"

#include "editor/CMainDlg.h"
#include "editor/ControlNames.h"
#include "editor/FixedLists.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Hex(std::uint8_t byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

std::string NoteName(int note) {
    static const char* const kNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return std::string(kNames[note % 12]) + std::to_string(note / 12 - 1);
}

std::string Source(int index) {
    return index >= 0 && index < static_cast<int>(g_modSourceNames.size())
               ? std::string(g_modSourceNames[static_cast<std::size_t>(index)])
               : std::to_string(index);
}

template <typename Names>
std::string NameAt(const Names& names, int index) {
    return index >= 0 && index < static_cast<int>(names.size()) ? std::string(names[static_cast<std::size_t>(index)])
                                                                : std::to_string(index);
}

}  // namespace

std::string MidiMonitor::Meaning(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) const {
    if (status == kNoteOnStatus) return "Note On " + NoteName(data1) + ", velocity " + std::to_string(data2);
    if (status == kNoteOffStatus) return "Note Off " + NoteName(data1);
    if (status != kControlChangeStatus) return {};
    if (data1 == kPageController) return "page " + std::to_string(data2);
    if (data1 == 123) return "All Notes Off";
    if (data1 == 120) return "All Sound Off";

    const FormState& form = m_form.form();
    const int value = m_page == 2 ? data2 + 128 : data2;
    const bool source = m_page == 3;
    std::string meaning;
    if (data1 == kSwitchParameter) {
        meaning = "Switches = " + std::to_string(value);
    } else if (data1 == kFilterParameter) {
        meaning = "Filter word = " + std::to_string(value);
    } else if (const ModulatedParam* row = FindRow(kModulatedParams, &ModulatedParam::parameter, data1)) {
        meaning = ControlName(form, row->slider) + (source ? " <- " + Source(value) : " = " + std::to_string(value));
    } else if (const Oscillator* osc = FindRow(kOscillators, &Oscillator::parameter, data1)) {
        meaning = ControlName(form, osc->wave) +
                  (source ? " <- " + Source(value)
                          : " = " + NameAt(kWaveformNames, value % 8) + ", Dist. " + NameAt(kDistNames, value / 8));
    } else if (const PlainSlider* plain = FindRow(kPlainSliders, &PlainSlider::parameter, data1)) {
        meaning =
            ControlName(form, plain->slider) + " = " + std::to_string(plain->modeList != kNoId ? value % 16 : value);
        if (plain->modeList != kNoId) meaning += ", " + NameAt(kRow3ModeNames, value / 16);
    } else {
        meaning = "parameter " + std::to_string(data1) + " = " + std::to_string(value);
    }
    if (const int position = m_form.TransmitPosition(); position > 0) {
        meaning = "Transmit All " + std::to_string(position) + "/" + std::to_string(CMainDlg::kTransmitAllMessages) +
                  ": " + meaning;
    }
    return meaning;
}

void MidiMonitor::MessageQueued(std::uint64_t id, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    if (!m_paused) {
        m_waiting.push_back({id, {{}, {status, data1, data2}, Meaning(status, data1, data2)}});
        if (m_waiting.size() > kCapacity) m_waiting.pop_front();
    }
    // The page stays what the synthesizer will have heard, watched or not: pairs are dropped whole.
    if (status == kControlChangeStatus && data1 == kPageController) m_page = data2;
}

void MidiMonitor::MessageQueuedAhead(std::uint64_t id, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    if (m_paused) return;
    // Played on the input and passed on: not a parameter of the form's, whatever page was chosen last.
    m_waiting.push_back({id, {{}, {status, data1, data2}, "thru: " + DescribeInput({status, data1, data2})}, true});
    if (m_waiting.size() > kCapacity) m_waiting.pop_front();
}

void MidiMonitor::MessageLeft(std::uint64_t id) {
    const auto left = std::find_if(m_waiting.begin(), m_waiting.end(), [id](const Waiting& w) { return w.id == id; });
    if (left == m_waiting.end()) return;
    Entry entry = std::move(left->entry);
    if (left->ahead) {
        m_waiting.erase(left);
    } else {
        // The others leave in the order they were queued: those before this one that are still waiting
        // never left (superseded), except what went ahead and leaves in its own order.
        std::erase_if(m_waiting, [id](const Waiting& w) { return w.id <= id && !w.ahead; });
    }
    entry.time = std::chrono::steady_clock::now();
    Add(std::move(entry));
}

void MidiMonitor::Add(Entry entry) {
    m_entries.push_back(std::move(entry));
    ++m_unread;
    if (m_entries.size() > kCapacity) m_entries.pop_front();
}

std::string DescribeInput(const ChannelMessage& m) {
    std::string text;
    const int kind = m.status & 0xF0;
    switch (kind) {
        case 0x80: text = "Note Off " + NoteName(m.data1); break;
        case 0x90: text = "Note On " + NoteName(m.data1) + ", velocity " + std::to_string(m.data2); break;
        case 0xA0: text = "Key Pressure " + NoteName(m.data1) + " = " + std::to_string(m.data2); break;
        case 0xB0: text = "CC " + std::to_string(m.data1) + " = " + std::to_string(m.data2); break;
        case 0xC0: text = "Program Change " + std::to_string(m.data1); break;
        case 0xD0: text = "Channel Pressure " + std::to_string(m.data1); break;
        case 0xE0: text = "Pitch Bend " + std::to_string(m.data1 | (m.data2 << 7)); break;
        default: text = "Message " + Hex(m.status); break;
    }
    return text + ", channel " + std::to_string((m.status & 0x0F) + 1);
}

void MidiMonitor::InputReceived(const ChannelMessage& message, const std::string& what) {
    if (m_paused) return;
    const bool data2 = (message.status & 0xF0) != 0xC0 && (message.status & 0xF0) != 0xD0;
    Add({std::chrono::steady_clock::now(),
         {message.status, message.data1, data2 ? message.data2 : std::uint8_t{0}},
         "input: " + DescribeInput(message) + ": " + what});
}

void MidiMonitor::Notice(const std::string& text) {
    if (m_paused) return;
    // Status byte 0 is no message: Line shows no bytes for it.
    Add({std::chrono::steady_clock::now(), {0, 0, 0}, "notice: " + text});
}

void MidiMonitor::MessageRepeated(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    if (m_paused) return;
    // A repeat is a page select and its parameter: the parameter means what it means on that page.
    const int page = m_page;
    if (status == kControlChangeStatus && data1 == kPageController) m_repeatPage = data2;
    m_page = m_repeatPage;
    std::string meaning = Meaning(status, data1, data2) + " (repeated after a server overrun)";
    m_page = page;
    Add({std::chrono::steady_clock::now(), {status, data1, data2}, std::move(meaning)});
}

std::vector<MidiMonitor::Entry> MidiMonitor::TakeNew() {
    if (m_refresh) m_refresh();
    const std::size_t count = std::min(m_unread, m_entries.size());
    m_unread = 0;
    return std::vector<Entry>(m_entries.end() - static_cast<std::ptrdiff_t>(count), m_entries.end());
}

void MidiMonitor::Clear() {
    m_entries.clear();
    m_waiting.clear();
    m_unread = 0;
    m_start = std::chrono::steady_clock::now();
}

std::string MidiMonitor::Line(const Entry& entry) const {
    const double seconds = std::chrono::duration<double>(entry.time - m_start).count();
    char time[32];
    std::snprintf(time, sizeof time, "%10.3f", seconds);
    // A notice has no bytes: every message begins with a status byte, 0x80 or above.
    const std::string bytes = entry.bytes[0] < 0x80
                                  ? std::string(8, ' ')
                                  : Hex(entry.bytes[0]) + " " + Hex(entry.bytes[1]) + " " + Hex(entry.bytes[2]);
    return std::string(time) + "  " + bytes + "  " + entry.meaning;
}

std::string MidiMonitor::Text() const {
    std::string text;
    for (const Entry& entry : m_entries) text += Line(entry) + "\n";
    return text;
}
