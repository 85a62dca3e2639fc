// SPDX-License-Identifier: GPL-3.0-or-later
#include "main/Program.h"

#include "app/DocumentLibraryHost.h"
#include "app/LibraryCompare.h"
#include "platform/SqliteCatalogCache.h"
#include "platform/UserFolders.h"
#include "ui/CLibraryWnd.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QMainWindow>
#include <QTimer>

#include <csignal>
#include <iostream>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The session manager ends its clients with SIGTERM; the handler only wakes the event loop.
int g_endPipe[2] = {-1, -1};

// With a session manager, closing the window hides it: the session manager ends the program, and shows the
// window again on its user's word.
class HideOnClose : public QObject {
public:
    explicit HideOnClose(NsmClient& nsm) : m_nsm(nsm) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Close) return false;
        event->ignore();
        static_cast<QWidget*>(watched)->hide();
        m_nsm.GuiChanged(false);
        return true;
    }

private:
    NsmClient& m_nsm;
};

void OnTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_endPipe[1], &byte, 1);
}

}  // namespace

bool Program::JoinSession(const std::string& url, const std::string& executable) {
    std::string error;
    nsmSocket = OscSocket::Open(url, error);
    if (!nsmSocket) {
        std::cerr << "quarnedit: " << error << "; going on without a session manager\n";
        return false;
    }
    nsmKeeper = std::make_unique<SessionKeeper>(
        app, profile, [this](const std::string& id) { ports.RenameClient(id); },
        [](bool shown) {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (qobject_cast<QMainWindow*>(window) != nullptr) window->setVisible(shown);
        });
    nsm = std::make_unique<NsmClient>(*nsmSocket, *nsmKeeper);
    app.SetModifiedObserver([this](bool modified) { nsm->SetDirty(modified); });

    QEventLoop waiting;
    nsmNews = std::make_unique<QSocketNotifier>(nsmSocket->Descriptor(), QSocketNotifier::Read);
    QObject::connect(nsmNews.get(), &QSocketNotifier::activated, [this, &waiting] {
        nsmSocket->ReadPending([this](const OscMessage& message) { nsm->Handle(message); });
        if (nsm->SessionOpen() || nsm->Refused()) waiting.quit();
    });
    QTimer::singleShot(10000, &waiting, &QEventLoop::quit);
    nsm->Announce(kAppTitle, executable, static_cast<std::int32_t>(getpid()));
    waiting.exec();
    // Later messages come while the window runs; the loop above is gone by then.
    QObject::disconnect(nsmNews.get(), nullptr, nullptr, nullptr);
    QObject::connect(nsmNews.get(), &QSocketNotifier::activated,
                     [this] { nsmSocket->ReadPending([this](const OscMessage& message) { nsm->Handle(message); }); });
    if (!nsm->SessionOpen()) {
        std::cerr << "quarnedit: the session manager opened no session; going on without one\n";
        app.SetModifiedObserver(nullptr);
        nsmNews.reset();
        nsm.reset();
        nsmKeeper.reset();
        nsmSocket.reset();
        return false;
    }

    // Its SIGTERM ends the program without a question.
    if (pipe2(g_endPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        endNews = std::make_unique<QSocketNotifier>(g_endPipe[0], QSocketNotifier::Read);
        QObject::connect(endNews.get(), &QSocketNotifier::activated, [this] {
            char byte = 0;
            while (::read(g_endPipe[0], &byte, 1) > 0) {
            }
            app.EndWithoutQuestions();
            // exit, not quit: quit would ask the windows first, and the window only hides on a close.
            QCoreApplication::exit(0);
        });
        struct sigaction action {};
        action.sa_handler = OnTerminate;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
    }
    return true;
}

void Program::SessionRunning() {
    if (!nsm) return;
    nsmKeeper->SetRunning();
    // Told once the event loop runs, so that the window is really up.
    QTimer::singleShot(0, [this] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMainWindow*>(window) == nullptr) continue;
            auto* filter = new HideOnClose(*nsm);
            filter->setParent(window);
            window->installEventFilter(filter);
        }
        nsm->GuiChanged(true);
    });
}

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
