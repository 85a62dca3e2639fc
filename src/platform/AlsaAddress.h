// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

// The sequencer address at the end of the names RtMidi gives ALSA ports ("Client:Port 24:0"), packed as
// (client << 8) | port. Nothing when the name does not end in two decimal numbers of 0..255 after a space.
// The names come from whatever clients the sequencer has: anything may be in them.
std::optional<int> AlsaPortAddress(std::string_view name);
