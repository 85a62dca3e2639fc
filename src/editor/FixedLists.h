// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>

// The modulation sources; a source's index is the value of every page-3 send.
extern const std::array<std::string_view, 16> g_modSourceNames;

// The eight waveforms, entries 0..7 of the Wave lists; entries 8..23 are the modulation sources.
extern const std::array<std::string_view, 8> kWaveformNames;
extern const std::array<std::string_view, 4> kDistNames;
extern const std::array<std::string_view, 4> kRow3ModeNames;
// The filter types' names are those of kFilterTypes (ParameterMap.h).

constexpr int kWaveEntryCount = 24;
constexpr int kMidiChannelCount = 16;
constexpr int kSourceListEntryCount = 17;
