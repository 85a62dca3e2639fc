// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class MidiMonitor;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// The window that lists what the program sends, newest at the bottom. It shows the monitor's new messages a
// few times a second, so a fast stream of sends costs the window nothing per message.
class CMidiMonitorWnd : public QWidget {
public:
    CMidiMonitorWnd(MidiMonitor& monitor, QWidget* parent = nullptr);

    // Shows what came in since the last look.
    void Update();
    QPlainTextEdit* Lines() const { return m_lines; }
    QPushButton* PauseButton() const { return m_pause; }

private:
    MidiMonitor& m_monitor;
    QPlainTextEdit* m_lines = nullptr;
    QPushButton* m_pause = nullptr;
    QTimer* m_timer = nullptr;
};
