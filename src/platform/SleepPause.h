#pragma once

#include "midi/MidiPause.h"

#include <chrono>

// Sleeps after every message so the instrument's MIDI input keeps up.
class SleepPause : public MidiPause {
public:
    static constexpr std::chrono::milliseconds kPause{2};

    SleepPause();
    void AfterMessage() override;
};
