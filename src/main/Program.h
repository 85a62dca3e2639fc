// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/CQuarnEditApp.h"
#include "app/NsmClient.h"
#include "app/SessionKeeper.h"
#include "app/SessionProfile.h"
#include "platform/DlopenLibraryLoader.h"
#include "platform/FileRecoveryStore.h"
#include "platform/OscSocket.h"
#include "platform/QSettingsLibraryFolders.h"
#include "platform/QSettingsProfile.h"
#include "platform/QtClock.h"
#include "platform/QtProgramLocation.h"
#include "platform/QueuedPortChanges.h"
#include "platform/RtMidiInputs.h"
#include "platform/RtMidiPorts.h"
#include "platform/ThreadPacer.h"

#include <QSocketNotifier>

#include <memory>

struct LibrarySetup;
class UserDialogs;

// The program's object graph, built in this one place for the window and the window-less commands alike:
// the platform's services, then the application object on them. Members are destroyed in reverse, so the
// application object (which closes the MIDI device) goes before the ports.
struct Program {
    explicit Program(UserDialogs& dialogs);
    // The window follows devices as they come and go: the platform's news, from its own threads, reaches
    // the application object on Qt's main thread through the event loop.
    void FollowDeviceChanges();
    // The window reads the input device: its messages reach the application on Qt's main thread as they come.
    void ReadInput();
    // With a session manager (`url`, from NSM_URL): announces the program, and waits in Qt's event loop (no
    // window is there yet) until the session manager opens a session, or 10 seconds have passed. False when
    // no session was opened: the program then starts as without a session manager.
    bool JoinSession(const std::string& url, const std::string& executable);
    // The window is up: an open from now on is a switch, and the session manager hears the window is shown.
    void SessionRunning();

    RtMidiPorts ports;
    RtMidiInputs inputs{ports};
    ThreadPacer pacer;
    QSettingsProfile userProfile;
    // The user's profile, or a session's settings over it while a session manager is in charge.
    SessionProfile profile{userProfile};
    QtProgramLocation location;
    DlopenLibraryLoader libraries;
    QtClock clock;
    FileRecoveryStore recovery;
    CQuarnEditApp app;
    QSettingsLibraryFolders libraryFolders;
    // The session manager's client, while there is one; goes before the application object it calls.
    std::unique_ptr<OscSocket> nsmSocket;
    std::unique_ptr<SessionKeeper> nsmKeeper;
    std::unique_ptr<NsmClient> nsm;
    std::unique_ptr<QSocketNotifier> nsmNews;
    std::unique_ptr<QSocketNotifier> endNews;
    // Go before the application object they call.
    std::unique_ptr<QueuedPortChanges> deviceNews;
    std::unique_ptr<QSocketNotifier> inputNews;
};

// The patch library window's places and stores: the program's folder, the user's patch folder, the folders
// the user added (in the profile) and the index file under the cache folder.
LibrarySetup LibraryWindowSetup(Program& program);
