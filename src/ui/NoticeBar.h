// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A bar at the top of a window with news the user must not miss but need not answer (a MIDI device gone or
// back): it stays until it is closed or the next notice replaces it, and never takes the focus.

#include <QFrame>

class QLabel;
class QToolButton;

class NoticeBar : public QFrame {
public:
    explicit NoticeBar(QWidget* parent = nullptr);

    // Shows `text` in place of what was shown; the keyboard stays where it is.
    void ShowNotice(const QString& text);
    QString Text() const;
    QToolButton* CloseButton() const { return m_close; }

private:
    QLabel* m_text = nullptr;
    QToolButton* m_close = nullptr;
};
