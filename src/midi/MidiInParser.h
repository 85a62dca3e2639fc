// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// One channel message from the input: status with its channel, and one or two data bytes (data2 is 0 for a
// message of one data byte).
struct ChannelMessage {
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    bool operator==(const ChannelMessage&) const = default;
};

// Makes channel messages of whatever bytes a device sends: running status, messages split over several
// reads, real-time bytes in the middle of a message, system exclusive dumps and garbage. Only channel
// messages come out; system and real-time messages (clock, active sensing) are dropped, and so is any data
// byte that belongs to no status.
class MidiInParser {
public:
    void Feed(std::span<const std::uint8_t> bytes, std::vector<ChannelMessage>& out);
    // Forgets a message begun and the running status (a new device).
    void Reset() { *this = {}; }

private:
    std::uint8_t m_status = 0;  // the running status, 0 when none
    std::uint8_t m_data[2] = {};
    int m_have = 0;
    bool m_inSysEx = false;
};
