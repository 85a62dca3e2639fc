#pragma once

#include "app/CQuarnEditApp.h"
#include "platform/DlopenLibraryLoader.h"
#include "platform/FileRecoveryStore.h"
#include "platform/QtClock.h"
#include "platform/QSettingsProfile.h"
#include "platform/QtProgramLocation.h"
#include "platform/RtMidiPorts.h"
#include "platform/SleepPause.h"

class UserDialogs;

// The program's object graph, built in this one place for the window and the window-less commands alike:
// the platform's services, then the application object on them. Members are destroyed in reverse, so the
// application object (which closes the MIDI device) goes before the ports.
struct Program {
    explicit Program(UserDialogs& dialogs);

    RtMidiPorts ports;
    SleepPause pause;
    QSettingsProfile profile;
    QtProgramLocation location;
    DlopenLibraryLoader libraries;
    QtClock clock;
    FileRecoveryStore recovery;
    CQuarnEditApp app;
};
