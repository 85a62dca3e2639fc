// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program between a keyboard and a synthesizer on a real JACK server: the application on the real MIDI
// ports and pacer, its input read as the window reads it (the input's eventfd, then the program's thread).

#include "EditorRig.h"

#include "app/CQuarnEditApp.h"
#include "app/InputDeviceSession.h"
#include "platform/RtMidiInputs.h"
#include "platform/RtMidiPorts.h"
#include "platform/ThreadPacer.h"

#include <poll.h>

#include <chrono>
#include <string>

struct ThruRig {
    RtMidiPorts ports;
    RtMidiInputs inputs{ports};
    ThreadPacer pacer;
    ScriptedDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app{{ports, pacer, profile, dialogs, location, libraries, clock, recovery}};

    ThruRig() { app.Inputs().SetPorts(&inputs); }
    ~ThruRig() { app.Inputs().Close(); }

    // The output device whose name holds `port`, opened; false when there is none.
    bool OpenOutput(const std::string& port) {
        for (int i = 0, n = ports.Count(); i < n; ++i)
            if (ports.Name(i).value_or("").find(port) != std::string::npos) return app.CreatePortSink().OpenDevice(i);
        return false;
    }
    // The input device whose name holds `port`, chosen as the user chooses it.
    bool ChooseInput(const std::string& port) {
        for (int i = 0, n = inputs.Count(); i < n; ++i) {
            if (inputs.Name(i).value_or("").find(port) == std::string::npos) continue;
            dialogs.inputDeviceAnswers = {i + 1};  // "None" comes first
            app.Inputs().OnInputDevice();
            return app.Inputs().HasDevice() && !app.Inputs().IsDeviceLost();
        }
        return false;
    }
    // The form shown, its lists as a loaded patch leaves them, nothing sent.
    void ShowForm() {
        app.form().OnInitialUpdate();
        FillFormAsLoaded(app);
    }
    // Waits for the input to say something arrived (at most `limit`), then routes it as the window does.
    bool Pump(std::chrono::milliseconds limit) {
        pollfd wake{inputs.WakeDescriptor(), POLLIN, 0};
        if (poll(&wake, 1, static_cast<int>(limit.count())) <= 0) return false;
        inputs.ClearWake();
        app.Inputs().OnInputReceived();
        return true;
    }
};
