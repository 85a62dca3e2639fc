#include "main/Program.h"

Program::Program(UserDialogs& dialogs)
    : libraries(location.ProgramDirectory()), app({ports, pause, profile, dialogs, location, libraries, clock, recovery}) {}

void Program::FollowDeviceChanges() {
    deviceNews = std::make_unique<QueuedPortChanges>(ports, [this](MidiPortChange change) { app.OnMidiPortsChanged(change); });
}
