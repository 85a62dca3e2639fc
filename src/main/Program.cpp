#include "main/Program.h"

#include "app/DocumentLibraryHost.h"
#include "platform/SqliteCatalogCache.h"
#include "platform/XdgPaths.h"
#include "ui/CLibraryWnd.h"

Program::Program(UserDialogs& dialogs)
    : libraries(location.ProgramDirectory()),
      app({ports, pacer, profile, dialogs, location, libraries, clock, recovery}),
      libraryFolders(QSettingsProfile::DefaultPath()) {
    app.Library().SetUserFolder(UserPatchFolder());
}

LibrarySetup LibraryWindowSetup(Program& program) {
    LibrarySetup setup;
    setup.programFolder = program.location.ProgramDirectory();
    setup.userFolder = program.app.Library().UserFolder();
    setup.folders = &program.libraryFolders;
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
        ports, [this](MidiPortChange change) { app.Devices().OnMidiPortsChanged(change); });
}
