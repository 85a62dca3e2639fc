// SPDX-License-Identifier: GPL-3.0-or-later
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
    // The desktop session ending asks what a close asks, and only that: another program may still cancel the
    // end, and this one must go on working; the clean end comes when the program does end. Where the session
    // leaves no room for a question, the unsaved patch is kept for the next start.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &frame, [&app](QSessionManager& manager) {
        if (manager.allowsInteraction()) {
            if (!app.QueryEndSession()) manager.cancel();
            manager.release();
        } else {
            app.Work().KeepUnsavedChanges();
        }
    });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &frame, [&app] { app.SessionEnded(); });
    if (!app.InitInstance(frame, fileToOpen)) return 1;
    const int code = QApplication::exec();
    app.form().SetWindow(nullptr);
    return code;
}
