#include "main/Program.h"

#include "app/DocumentLibraryHost.h"
#include "app/LibraryCompare.h"
#include "platform/SqliteCatalogCache.h"
#include "platform/XdgPaths.h"
#include "ui/CLibraryWnd.h"

#include <iostream>

Program::Program(UserDialogs& dialogs)
    : libraries(location.ProgramDirectory()),
      app({ports, pacer, profile, dialogs, location, libraries, clock, recovery}),
      libraryFolders(QSettingsProfile::DefaultPath()) {
    app.Library().SetUserFolder(UserPatchFolder());
    // Without the window, notices about the ports go where the commands report.
    ports.SetNoticeHandler([](const std::string& text) { std::cerr << text << '\n'; });
}

LibrarySetup LibraryWindowSetup(Program& program) {
    LibrarySetup setup;
    setup.programFolder = program.location.ProgramDirectory();
    setup.userFolder = program.app.Library().UserFolder();
    setup.folders = &program.libraryFolders;
    setup.likeness = FormLikeness();
    // Without a cache folder the index lives in memory for the session.
    setup.makeCache = []() -> std::unique_ptr<CatalogCache> {
        const std::string path = LibraryIndexPath();
        if (path.empty()) return nullptr;
        return std::make_unique<SqliteCatalogCache>(path);
    };
    return setup;
}

void Program::FollowDeviceChanges() {
    deviceNews = std::make_unique<QueuedPortChanges>(
        ports,
        [this](MidiPortChange change) {
            app.Devices().OnMidiPortsChanged(change);
            app.Inputs().OnMidiPortsChanged(change);
        },
        [this](const std::string& text) { app.Devices().OnMidiPortsNotice(text); });
}

void Program::ReadInput() {
    app.Inputs().SetPorts(&inputs);
    inputNews = std::make_unique<QSocketNotifier>(inputs.WakeDescriptor(), QSocketNotifier::Read);
    QObject::connect(inputNews.get(), &QSocketNotifier::activated, [this] {
        inputs.ClearWake();
        app.Inputs().OnInputReceived();
    });
}
