#include "ui/RunGui.h"

#include "app/CQuarnEditApp.h"
#include "editor/CMainDlg.h"
#include "platform/DlopenLibraryLoader.h"
#include "platform/QSettingsProfile.h"
#include "platform/QtProgramLocation.h"
#include "platform/RtMidiPorts.h"
#include "platform/SleepPause.h"
#include "ui/AppIcon.h"
#include "ui/CMainFrame.h"
#include "ui/FormWidget.h"
#include "ui/QtUserDialogs.h"

#include <QApplication>

int RunGui(int argc, char** argv, std::optional<std::string> fileToOpen) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    QApplication::setApplicationVersion(QStringLiteral("1.1 beta 6"));
    QApplication::setWindowIcon(AppIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("quarnedit"));

    // Declared in the order they are needed, so they are destroyed in reverse: the window before the
    // application object, the application object (which closes the MIDI device) before the ports.
    RtMidiPorts ports;
    SleepPause pause;
    QSettingsProfile profile;
    QtProgramLocation location;
    DlopenLibraryLoader libraries(location.ProgramDirectory());
    QtUserDialogs dialogs;
    CQuarnEditApp app(ports, pause);
    CMainFrame frame(app, dialogs);
    dialogs.SetMainWindow(&frame);

    app.AttachShell({profile, dialogs, location, frame});
    // The form exists from the middle of start-up on; the window builds its view of it when first shown.
    frame.SetFormCreatedHandler([&](FormWidget& form) {
        dialogs.SetForm(&form);
        if (app.form() != nullptr) app.form()->SetQuickLoad(&libraries, &form);
    });

    if (!app.InitInstance(fileToOpen)) return 1;
    return QApplication::exec();
}
