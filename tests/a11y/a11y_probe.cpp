// SPDX-License-Identifier: GPL-3.0-or-later
// The program's windows on recording MIDI fakes, for a screen reader's view from outside the process: a test
// script drives it line by line on standard input and reads the accessibility tree while each window is open.
//
//   open library|monitor|device|mutate|testnote|comment|morph|variations   -> "ready <window title>"
//   close                                                  -> "closed"  (the open dialog or window)
//   status                                                 -> "status <what the status line says>"
//   menus                                                  -> "menus <context menus DCO1 Amp. asked for>"
//                                                             (the first time it takes the focus, then counts)
//   ping N                                                 -> "ping <the main window's new name>"
//   shot FILE                                              -> "shot"  (the active window as a PNG image)
//   unplug                                                 -> "unplugged"  (the output device, "Port A", is gone)
//   listed                                                 -> "listed"  (once the library window lists its files)
//   named TEXT                                             -> "named"  (once the patch name box shows TEXT)
//   sync N                                                 -> "sync"  (an unseen control named "sync N",
//                                                             for a listener to know it has heard all before)
//
// With QUARN_PROBE_DARK=1 the windows get a dark palette, as a dark desktop theme gives them; with
// QUARN_PROBE_FONT_POINTS=N the desktop's font is N points large.
//   quit
#include "Fakes.h"

#include "app/CQuarnEditApp.h"
#include "app/Commands.h"
#include "app/DocumentLibraryHost.h"
#include "app/ports/Profile.h"
#include "editor/CMainDlg.h"
#include "library/MemoryCatalogCache.h"
#include "ui/CLibraryWnd.h"
#include "ui/CMainFrame.h"
#include "ui/CMidiMonitorWnd.h"
#include "ui/CMorphWnd.h"
#include "ui/CVariationsWnd.h"
#include "ui/FormWidget.h"
#include "ui/QtUserDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPalette>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <utility>

namespace {

// The real dialogs, but every message box answered at once (the transmit question at start-up).
class ProbeDialogs : public QtUserDialogs {
public:
    MessageAnswer ShowMessage(const MessageRequest& request) override {
        return request.buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    }
};

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// Runs `then` once `holds` does (checked every 10 ms, for at most 30 s; else says so).
void When(std::function<bool()> holds, std::function<void()> then, int triesLeft = 3000) {
    QTimer::singleShot(10, [holds = std::move(holds), then = std::move(then), triesLeft]() mutable {
        if (holds()) return then();
        if (triesLeft == 0) return Say(QStringLiteral("error timed out"));
        When(std::move(holds), std::move(then), triesLeft - 1);
    });
}

// Says "ready <title>" once the window is on the screen.
void WhenShown(std::function<QWidget*()> window, int triesLeft = 3000) {
    QTimer::singleShot(10, [window = std::move(window), triesLeft] {
        QWidget* w = window();
        if (w != nullptr && w->isVisible() && w->windowHandle() != nullptr && w->windowHandle()->isExposed())
            return Say(QStringLiteral("ready ") + w->windowHandle()->title());
        if (triesLeft == 0) return Say(QStringLiteral("error no window"));
        WhenShown(window, triesLeft - 1);
    });
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    if (const int points = qEnvironmentVariableIntValue("QUARN_PROBE_FONT_POINTS"); points > 0) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
    }
    if (qEnvironmentVariableIntValue("QUARN_PROBE_DARK") == 1) {
        const std::pair<QPalette::ColorRole, QRgb> colours[] = {
            {QPalette::Window, 0x2d2d30},
            {QPalette::WindowText, 0xe8e8e8},
            {QPalette::Base, 0x1e1e1e},
            {QPalette::AlternateBase, 0x262628},
            {QPalette::Text, 0xe8e8e8},
            {QPalette::Button, 0x3a3a3d},
            {QPalette::ButtonText, 0xe8e8e8},
            {QPalette::Light, 0x5a5a5e},
            {QPalette::Midlight, 0x48484b},
            {QPalette::Mid, 0x242426},
            {QPalette::Dark, 0x18181a},
            {QPalette::Highlight, 0x3d7ad6},
            {QPalette::HighlightedText, 0xffffff},
            {QPalette::PlaceholderText, 0x909090},
        };
        QPalette dark;
        for (const auto& [role, rgb] : colours) dark.setColor(role, QColor(rgb));
        for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            dark.setColor(QPalette::Disabled, role, QColor(0x7a, 0x7a, 0x7a));
        QApplication::setPalette(dark);
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr) return 2;

    RecordingPorts ports;
    CountingPause pause;
    ProbeDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    location.dir = QUARN_PROGRAM_DIR "/";
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    // Two learned controllers, so that the Controllers dialog lists something.
    profile.ints["Controllers/Count"] = 2;
    profile.strings["Controllers/Binding1"] = "74 1 1004";
    profile.strings["Controllers/Binding2"] = "7 2 1014 14";
    // An output device, open from the start, that can go.
    profile.ints[std::string(kProfileSection) + "/" + kProfileDeviceKey] = 0;
    CQuarnEditApp app{{ports, pause, profile, dialogs, location, libraries, clock, recovery}};

    CMainFrame frame(app);
    const std::string userFolder = std::string(home) + "/patches";
    app.Library().SetUserFolder(userFolder);
    LibrarySetup setup;
    setup.userFolder = userFolder;
    setup.makeCache = [] { return std::make_unique<MemoryCatalogCache>(); };
    frame.SetLibrarySetup(setup);
    dialogs.SetMainWindow(&frame);
    frame.SetFormCreatedHandler([&](FormWidget& form) {
        dialogs.SetForm(&form);
        app.form().SetWindow(&form);
    });
    if (!app.InitInstance(frame, std::nullopt)) return 1;

    const auto modal = [] { return QApplication::activeModalWidget(); };
    int menus = 0;
    const std::map<std::string, std::function<void()>> openers{
        {"library", [&] { app.OnCommand(cmd::PatchLibrary); }},
        {"monitor", [&] { app.OnCommand(cmd::MidiMonitor); }},
        {"device", [&] { app.OnCommand(cmd::OutputDevice); }},
        {"mutate", [&] { app.OnCommand(cmd::EditMutate); }},
        {"testnote", [&] { app.OnCommand(cmd::TestNoteSettings); }},
        {"comment", [&] { app.form().UserClicked(ctl::Comment); }},
        {"morph", [&] { app.OnCommand(cmd::EditMorph); }},
        {"variations", [&] { app.OnCommand(cmd::EditVariations); }},
        {"controllers", [&] { app.OnCommand(cmd::Controllers); }},
    };
    const auto command = [&](const std::string& line) {
        if (line.rfind("open ", 0) == 0) {
            const auto it = openers.find(line.substr(5));
            if (it == openers.end()) return Say(QStringLiteral("error unknown window"));
            if (line == "open library") {
                WhenShown([&] { return static_cast<QWidget*>(frame.LibraryWindow()); });
            } else if (line == "open monitor") {
                WhenShown([&] { return static_cast<QWidget*>(frame.MonitorWindow()); });
            } else if (line == "open morph") {
                WhenShown([&] { return static_cast<QWidget*>(frame.MorphWindow()); });
            } else if (line == "open variations") {
                WhenShown([&] { return static_cast<QWidget*>(frame.VariationsWindow()); });
            } else {
                WhenShown(modal);
            }
            // A modal dialog runs its own loop: started from the event loop, so that this one returns.
            QTimer::singleShot(0, it->second);
        } else if (line == "close") {
            if (QWidget* dialog = modal()) {
                static_cast<QDialog*>(dialog)->reject();
            } else if (QWidget* active = QApplication::activeWindow(); active != nullptr && active != &frame) {
                active->close();
            }
            frame.activateWindow();
            Say(QStringLiteral("closed"));
        } else if (line == "status") {
            app.OnCommand(cmd::SaveToLibrary);
            Say(QStringLiteral("status ") + frame.statusBar()->currentMessage());
        } else if (line == "menus") {
            QWidget* amp = frame.Form()->WidgetForId(ctl::Dco1Amp);
            if (amp->contextMenuPolicy() != Qt::CustomContextMenu) {
                amp->setContextMenuPolicy(Qt::CustomContextMenu);
                QObject::connect(amp, &QWidget::customContextMenuRequested, amp, [&menus] { ++menus; });
                frame.activateWindow();
                amp->setFocus();
            }
            // Keys from the window system reach it once it has the focus.
            When([amp] { return amp->hasFocus(); }, [&menus] { Say(QStringLiteral("menus %1").arg(menus)); });
        } else if (line.rfind("ping ", 0) == 0) {
            // A change a listener can wait for, to know that the program sends it events.
            frame.setAccessibleName(QStringLiteral("QuarnEdit ") + QString::fromStdString(line));
            Say(QStringLiteral("ping ") + frame.accessibleName());
        } else if (line.rfind("shot ", 0) == 0) {
            QWidget* window = modal() != nullptr ? modal() : QApplication::activeWindow();
            if (window == nullptr) window = &frame;
            window->grab().save(QString::fromStdString(line.substr(5)), "PNG");
            Say(QStringLiteral("shot"));
        } else if (line.rfind("sync ", 0) == 0) {
            static QWidget* unseen = [&frame] {
                auto* w = new QWidget(&frame);
                w->hide();
                return w;
            }();
            unseen->setAccessibleName(QString::fromStdString(line));
            unseen->setAccessibleDescription(QString::fromStdString(line));
            Say(QStringLiteral("sync"));
        } else if (line.rfind("named ", 0) == 0) {
            const QString name = QString::fromStdString(line.substr(6));
            When([&frame,
                  name] { return static_cast<QLineEdit*>(frame.Form()->WidgetForId(ctl::PatchName))->text() == name; },
                 [] { Say(QStringLiteral("named")); });
        } else if (line == "listed") {
            When([&] { return frame.LibraryWindow() != nullptr && !frame.LibraryWindow()->Indexing(); },
                 [] { Say(QStringLiteral("listed")); });
        } else if (line == "unplug") {
            app.Devices().OnMidiPortsChanged(MidiPortChange::OpenDeviceLost);
            Say(QStringLiteral("unplugged"));
        } else if (line == "quit") {
            QApplication::quit();
        } else {
            Say(QStringLiteral("error unknown command"));
        }
    };

    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) return QApplication::quit();
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            command(line);
        }
    });
    WhenShown([&] { return static_cast<QWidget*>(&frame); });
    const int code = QApplication::exec();
    app.form().SetWindow(nullptr);
    return code;
}
