// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What the platform tells about its devices while the program runs.
enum class MidiPortChange {
    ListChanged,     // ports may have appeared, gone or been renamed: read the list again
    OpenDeviceLost,  // the open device (or its server) went away; sends are dropped until it is reopened
};

// The platform's MIDI output devices, as one index list 0..Count()-1.
// At most one device is open at a time; the port sink owns that open device.
class MidiOutPorts {
public:
    virtual ~MidiOutPorts() = default;

    virtual int Count() = 0;
    // Empty when the platform cannot name the index (it vanished or never existed).
    virtual std::optional<std::string> Name(int index) = 0;
    virtual bool Open(int index) = 0;
    // Returns how many messages handed to Send since the last Open never reached the device: dropped by
    // Send (the device or its server gone or stalled) or still queued when the close had to give up.
    virtual std::size_t Close() = 0;
    // One short message. Dropped when no device is open; never blocks for long.
    virtual void Send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
    // One short message that is due at `due`. A device that can place a message at a time of its own (JACK
    // stamps it with a frame) takes it up to Lookahead() early; the others are handed it when it is due.
    // `tag` names the message in what TakeUnsure returns.
    virtual void SendAt(std::chrono::steady_clock::time_point /*due*/, std::uint8_t status, std::uint8_t data1,
                        std::uint8_t data2, std::uint32_t /*tag*/) {
        Send(status, data1, data2);
    }
    virtual std::chrono::microseconds Lookahead() { return {}; }
    // Tags (first and last, wrapping) of messages that may not have reached the device although they were
    // taken: written around an overrun of the server, which may have cost the reader its cycle. Nothing when
    // there are none since the last call. Called from the thread that sends.
    struct TagRange {
        std::uint32_t first = 0;
        std::uint32_t last = 0;
    };
    virtual std::optional<TagRange> TakeUnsure() { return std::nullopt; }
};
