// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up yardstick: an empty main window of the program's size, built with the same compiler,
// flags and Qt as the program, that quits once it has painted.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>
#include <QWindow>

namespace {

class BareWindow : public QMainWindow {
protected:
    void paintEvent(QPaintEvent* event) override {
        QMainWindow::paintEvent(event);
        // A paint before the window is exposed only fills the backing store; the first one that reaches
        // the screen is flushed right after this returns, and the quit follows from the event loop.
        if (m_painted || windowHandle() == nullptr || !windowHandle()->isExposed()) return;
        m_painted = true;
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }

private:
    bool m_painted = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    BareWindow window;
    window.setWindowTitle(QStringLiteral("Bare Window"));
    window.resize(728, 577);
    window.show();
    return QApplication::exec();
}
