// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The platform's MIDI input devices: the sources a keyboard or a knob box shows up as, one index list
// 0..Count()-1. At most one is open at a time. Its messages are read on a thread of the platform's own and
// handed over without a lock; the program's thread takes them with TakeReceived when told that some arrived.
// The list changes reach the program as the output's do (MidiPortChange::ListChanged): an open source that is
// no longer listed is gone.
class MidiInPorts {
public:
    virtual ~MidiInPorts() = default;

    virtual int Count() = 0;
    // Empty when the platform cannot name the index.
    virtual std::optional<std::string> Name(int index) = 0;
    // Closes the open source first.
    virtual bool Open(int index) = 0;
    virtual void Close() = 0;
    // Appends the bytes received since the last call, whole messages in the order they came, and for each
    // byte the time its message arrived (µs of the monotonic clock, wrapping; the same for a message's bytes).
    // The time is taken where the message is read, not when the program's thread gets to it, so the distance
    // between two messages is what the player did. The platform drops what it cannot hand over whole (a full
    // hand-over, a system exclusive dump); the reader of the bytes still takes nothing on trust.
    virtual void TakeReceived(std::vector<std::uint8_t>& bytes, std::vector<std::uint32_t>& arrived) = 0;
};
