// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

// One short message as it goes to a device.
using ShortMessage = std::array<std::uint8_t, 3>;

// What one device holds, as far as the program can tell from what left for it: the one answer to "what does
// the synthesizer hold". A parameter is what the synthesizer keeps per controller number on channel 1: the
// last message on that controller, with the page (controller 16) in force when it came. Besides, the notes
// and the sustain pedal it holds on each channel, so that a device the program leaves is left silent.
//
// It knows only what it saw leave: a device just opened (new, back, reopened) is unknown throughout, and a
// controller whose delivery its server could not confirm becomes unknown again. The send queue keeps it and
// feeds it each message as the message leaves; everyone else reads copies.
class DeviceAccount {
public:
    struct Parameter {
        std::uint8_t page = 0;  // 0: none selected yet
        std::uint8_t value = 0;
        friend bool operator==(const Parameter&, const Parameter&) = default;
    };

    // Nothing is known any more (the device was opened anew).
    void Forget();
    // A message left for the device.
    void Take(const ShortMessage& message);
    // The device may have missed what left for this controller.
    void Doubt(std::uint8_t controller) { m_parameters[controller & 0x7F].reset(); }
    // The device may have missed this message, which ended a note or the pedal: it may still sound, and is
    // counted as sounding, so that leaving the device ends it for sure.
    void DoubtRelease(const ShortMessage& message);

    // The parameter the device holds on `controller`, or nothing when unknown.
    std::optional<Parameter> Holds(std::uint8_t controller) const { return m_parameters[controller & 0x7F]; }
    // The page register: the last page select that left, or nothing.
    std::optional<std::uint8_t> Page() const { return m_page; }
    bool HoldsNote(std::uint8_t channel, std::uint8_t note) const { return m_notes[channel & 0x0F][note & 0x7F]; }
    bool HoldsSustain(std::uint8_t channel) const { return m_sustain[channel & 0x0F]; }
    // The messages that end every note and pedal held: note-offs, then sustain off, channel by channel.
    std::vector<ShortMessage> Releases() const;

private:
    std::optional<std::uint8_t> m_page;
    std::array<std::optional<Parameter>, 128> m_parameters{};
    std::array<std::bitset<128>, 16> m_notes{};
    std::array<std::bitset<128>, 16> m_played{};  // every note that sounded since the device was opened
    std::bitset<16> m_sustain;
    bool m_afterPageSelect = false;
};
