// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/DeviceAccount.h"

#include <utility>

namespace {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kControl = 0xB0;
constexpr std::uint8_t kPageSelect = 16;
constexpr std::uint8_t kSustain = 64;
constexpr std::uint8_t kAllSoundOff = 120;
constexpr std::uint8_t kResetControllers = 121;
constexpr std::uint8_t kAllNotesOff = 123;
constexpr std::uint8_t kFirstChannelMode = 120;

}  // namespace

void DeviceAccount::Forget() { *this = DeviceAccount{}; }

void DeviceAccount::Take(const ShortMessage& message) {
    const std::uint8_t kind = message[0] & 0xF0;
    const std::uint8_t channel = message[0] & 0x0F;
    const std::uint8_t data1 = message[1] & 0x7F;
    // A message right after a page select is that page's parameter, whatever its number.
    const bool parameterOfPair = std::exchange(m_afterPageSelect, false);
    if (kind == kNoteOn || kind == kNoteOff) {
        m_notes[channel][data1] = kind == kNoteOn && message[2] != 0;
        m_played[channel][data1] = m_played[channel][data1] || m_notes[channel][data1];
        return;
    }
    if (kind != kControl) return;
    if (data1 == kSustain && !parameterOfPair) m_sustain[channel] = message[2] >= 64;
    if (data1 == kAllSoundOff || data1 == kAllNotesOff) m_notes[channel].reset();
    if (data1 == kResetControllers) m_sustain[channel] = false;
    // The synthesizer's parameters are Control Changes on channel 1; channel mode messages are none.
    if (channel != 0 || data1 >= kFirstChannelMode) return;
    if (data1 == kPageSelect) {
        m_page = message[2];
        m_afterPageSelect = true;
        return;
    }
    m_parameters[data1] = Parameter{m_page.value_or(0), message[2]};
}

void DeviceAccount::DoubtRelease(const ShortMessage& message) {
    const std::uint8_t kind = message[0] & 0xF0;
    const std::uint8_t channel = message[0] & 0x0F;
    const std::uint8_t data1 = message[1] & 0x7F;
    if (kind == kNoteOff || (kind == kNoteOn && message[2] == 0)) m_notes[channel][data1] = true;
    if (kind == kControl && data1 == kSustain && message[2] < 64) m_sustain[channel] = true;
    // An all-notes-off in doubt may have left any note sounding that was played since the device opened.
    if (kind == kControl && (data1 == kAllNotesOff || data1 == kAllSoundOff)) m_notes[channel] |= m_played[channel];
}

std::vector<ShortMessage> DeviceAccount::Releases() const {
    std::vector<ShortMessage> out;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        for (std::uint8_t note = 0; note < 128; ++note)
            if (m_notes[channel][note])
                out.push_back({static_cast<std::uint8_t>(kNoteOff | channel), note, static_cast<std::uint8_t>(0x40)});
        if (m_sustain[channel]) out.push_back({static_cast<std::uint8_t>(kControl | channel), kSustain, 0});
    }
    return out;
}
