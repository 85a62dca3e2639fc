// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

// A Standard MIDI File of format 0 with one track: the fixed header events, then the event words in
// order (each already a whole track event: delta time 2 and a Control Change), then the end of track.
// 4 * events.size() + 100 bytes.
std::vector<std::uint8_t> BuildMidiFile(const std::vector<std::uint32_t>& events);
