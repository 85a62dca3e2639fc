// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the program does with a Control Change that arrives from the MIDI input device.

#include <cstdint>
#include <string>

class ControllerInput {
public:
    virtual ~ControllerInput() = default;
    // A Control Change from the input, on the program's own thread (channel 0-15), that arrived at `arrived`
    // (µs of the monotonic clock, wrapping: only distances between arrivals mean anything). Returns true when
    // it was taken (a learn waiting for it, or a controller bound to a control that is there), so it does not
    // pass through to the synthesizer; `what` then says for the MIDI monitor what it did
    // ("CC 74 -> DCO1 Amp. = 128").
    virtual bool OnInputControlChange(int channel, int controller, int value, std::uint32_t arrived,
                                      std::string& what) = 0;
};
