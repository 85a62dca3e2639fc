#include "ui/RunGui.h"

#include "app/CQuarnEditApp.h"
#include "editor/CMainDlg.h"
#include "ui/AppIcon.h"
#include "ui/CMainFrame.h"
#include "ui/FormWidget.h"
#include "ui/QtUserDialogs.h"

#include <QApplication>
#include <QSessionManager>

void ConfigureGuiApplication() {
    QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    QApplication::setApplicationVersion(QString::fromUtf8(kAppVersion));
    QApplication::setWindowIcon(AppIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("quarnedit"));
}

int RunGui(CQuarnEditApp& app, QtUserDialogs& dialogs, const std::optional<std::string>& fileToOpen,
           LibrarySetup library) {
    CMainFrame frame(app);
    frame.SetLibrarySetup(std::move(library));
    dialogs.SetMainWindow(&frame);
    // The form exists from the start; the window builds its view of it when first shown.
    frame.SetFormCreatedHandler([&](FormWidget& form) {
        dialogs.SetForm(&form);
        app.form().SetWindow(&form);
    });
    // The desktop session ending is a close like any other; where it leaves no room for a question, the
    // unsaved patch is kept for the next start.
    // Only the questions are asked then: another program may still cancel the end, and this one must go on
    // working. The clean end comes when the program does end.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &frame, [&app](QSessionManager& manager) {
        if (manager.allowsInteraction()) {
            if (!app.QueryEndSession()) manager.cancel();
            manager.release();
        } else {
            app.KeepUnsavedChanges();
        }
    });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &frame, [&app] { app.SessionEnded(); });
    if (!app.InitInstance(frame, fileToOpen)) return 1;
    const int code = QApplication::exec();
    app.form().SetWindow(nullptr);
    return code;
}
