// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiInParser.h"

namespace {

// Data bytes a channel message takes: program change and channel pressure one, the others two.
int DataBytes(std::uint8_t status) {
    const std::uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

}  // namespace

void MidiInParser::Feed(std::span<const std::uint8_t> bytes, std::vector<ChannelMessage>& out) {
    for (const std::uint8_t b : bytes) {
        if (b >= 0xF8) continue;  // real time: may come anywhere, interrupts nothing
        if (b >= 0xF0) {
            // System common and exclusive end the running status; an exclusive dump's data is skipped.
            m_status = 0;
            m_have = 0;
            m_inSysEx = b == 0xF0;
            continue;
        }
        if (b >= 0x80) {
            m_status = b;
            m_have = 0;
            m_inSysEx = false;
            continue;
        }
        if (m_inSysEx || m_status == 0) continue;
        m_data[m_have++] = b;
        if (m_have < DataBytes(m_status)) continue;
        out.push_back({m_status, m_data[0], m_have == 2 ? m_data[1] : std::uint8_t{0}});
        m_have = 0;  // the status runs on
    }
}
