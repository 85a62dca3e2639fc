// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Qt for the window tests: one application per program, and answers to the modal boxes the program opens.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

// Saves a window's picture where QUARN_SCREENSHOTS names a folder (for looking at, never for comparing).
inline void Shot(QWidget* window, const char* name) {
    if (const char* folder = std::getenv("QUARN_SCREENSHOTS"))
        window->grab().save(QString::fromUtf8(folder) + "/" + name);
}

// The application, on the platform QT_QPA_PLATFORM names, else offscreen so no display is needed.
inline void Gui() {
    static int argc = 1;
    static char name[] = "quarn_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* made = new QApplication(argc, argv);
        // A server that overruns while a window closes makes the close report what it could not deliver.
        // That is the machine's doing, not the test's: the report is answered and noted, never left open.
        auto* watch = new QTimer(made);
        QObject::connect(watch, &QTimer::timeout, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->text().contains(QStringLiteral(" were not delivered to "))) return;
            std::fprintf(stderr, "note: answered \"%s\"\n", qPrintable(box->text()));
            if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
        });
        watch->start(50);
        return made;
    }();
    (void)app;
}

// Checks the next modal message box that opens, then presses `button` in it. Waits for the box as long as it
// takes the program to open it (up to five seconds).
inline void OnNextMessageBox(std::function<void(QMessageBox*)> check, QMessageBox::StandardButton button,
                             int triesLeft = 500) {
    QTimer::singleShot(triesLeft == 500 ? 0 : 10, [check = std::move(check), button, triesLeft]() mutable {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr && triesLeft > 0) return OnNextMessageBox(std::move(check), button, triesLeft - 1);
        ASSERT_NE(box, nullptr) << "no message box opened";
        check(box);
        box->button(button)->click();
    });
}

// Every test in its own folders: nothing read from or written to the user's.
// Register once per program: ::testing::AddGlobalTestEnvironment(new HermeticFolders).
class HermeticFolders : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/quarn-gui-XXXXXX";
        root = mkdtemp(pattern);
        for (const char* name :
             {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
            const std::filesystem::path dir = root / name;
            std::filesystem::create_directories(dir);
            std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
            setenv(name, dir.c_str(), 1);
        }
    }
    void TearDown() override { std::filesystem::remove_all(root); }
    std::filesystem::path root;
};
