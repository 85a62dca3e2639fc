// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start-up taken apart, to tell what costs what: the bare window of bare_window.cpp,
// but linked like the program and with its start-up pieces switched on one by one.
//   --ports  the MIDI ports as the program opens them first (ALSA sequencer probe, JACK clients)
//   --icon   the application and window icon, painted at start-up
//   --label  one line of text in the window: the first text loads the font database (fontconfig),
//            which the empty bare window never needs
//   --form   the editor form (every widget of the template) in the window's scroll area
// The window is titled "Parts Window"; bench/startup.sh stops it after its first paint.
#include "Fakes.h"

#include "app/CQuarnEditApp.h"
#include "editor/CMainDlg.h"
#include "platform/RtMidiPorts.h"
#include "ui/AppIcon.h"
#include "ui/FormWidget.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QScrollArea>

#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    bool withPorts = false, withIcon = false, withForm = false, withLabel = false;
    for (int i = 1; i < argc; ++i) {
        withPorts |= std::strcmp(argv[i], "--ports") == 0;
        withIcon |= std::strcmp(argv[i], "--icon") == 0;
        withForm |= std::strcmp(argv[i], "--form") == 0;
        withLabel |= std::strcmp(argv[i], "--label") == 0;
    }

    QApplication qtApp(argc, argv);
    if (withIcon) QApplication::setWindowIcon(AppIcon());

    RecordingPorts fakePorts;
    std::unique_ptr<RtMidiPorts> ports;
    if (withPorts) ports = std::make_unique<RtMidiPorts>();
    CountingPause pause;
    ScriptedDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app({ports ? static_cast<MidiOutPorts&>(*ports) : fakePorts, pause, profile, dialogs, location,
                       libraries, clock, recovery});
    CMainDlg& form = app.form();
    form.OnInitialUpdate();

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Parts Window"));
    if (withIcon) window.setWindowIcon(AppIcon());
    if (withLabel && !withForm) window.setCentralWidget(new QLabel(QStringLiteral("QuarnEdit"), &window));
    if (withForm) {
        auto* scroll = new QScrollArea(&window);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(false);
        scroll->setWidget(new FormWidget(form));
        window.setCentralWidget(scroll);
    }
    window.resize(728, 577);
    window.show();
    return QApplication::exec();
}
