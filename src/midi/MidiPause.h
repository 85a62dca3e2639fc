#pragma once

// The pause that follows every message sent to a device, so the instrument keeps up.
class MidiPause {
public:
    virtual ~MidiPause() = default;
    virtual void AfterMessage() = 0;
};
