// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiFile.h"

#include <array>

namespace {

// Chunk headers; the track length at offset 18 is filled in per file.
constexpr std::array<std::uint8_t, 22> kChunkHeaders{
    'M', 'T', 'h', 'd', 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0,  // format 0, 1 track, 480 ticks
    'M', 'T', 'r', 'k', 0x00, 0x00, 0x00, 0x00,
};
constexpr std::size_t kTrackLengthOffset = 18;

// The same in every file: channel prefix, track and instrument names, 4/4, C major, SMPTE offset, 120 bpm.
// clang-format off
constexpr std::array<std::uint8_t, 74> kTrackPrologue{
    0x00, 0xFF, 0x20, 0x01, 0x00,
    0x00, 0xFF, 0x03, 0x13, 'S', 'e', 'q', 'u', 'e', 'n', 'c', 'e', '*', 'D', 'e', 'm', 'i', 'x', 'e', 'd', ' ', '0', '1',
    0x00, 0xFF, 0x04, 0x0C, 'G', 'M', ' ', 'D', 'e', 'v', 'i', 'c', 'e', ' ', ' ', '1',
    0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,
    0x00, 0xFF, 0x59, 0x02, 0x00, 0x00,
    0x00, 0xFF, 0x54, 0x05, 0x21, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
};
// clang-format on

constexpr std::array<std::uint8_t, 4> kEndOfTrack{0x00, 0xFF, 0x2F, 0x00};

}  // namespace

std::vector<std::uint8_t> BuildMidiFile(const std::vector<std::uint32_t>& events) {
    std::vector<std::uint8_t> out;
    out.reserve(kChunkHeaders.size() + kTrackPrologue.size() + 4 * events.size() + kEndOfTrack.size());
    out.insert(out.end(), kChunkHeaders.begin(), kChunkHeaders.end());
    out.insert(out.end(), kTrackPrologue.begin(), kTrackPrologue.end());
    for (std::uint32_t e : events)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(e >> (8 * i)));
    out.insert(out.end(), kEndOfTrack.begin(), kEndOfTrack.end());

    const auto trackLength = static_cast<std::uint32_t>(out.size() - kChunkHeaders.size());
    for (int i = 0; i < 4; ++i) out[kTrackLengthOffset + i] = static_cast<std::uint8_t>(trackLength >> (24 - 8 * i));
    return out;
}
