// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ports/UserDialogs.h"

#include <QDialog>

class QSpinBox;

// The test note's pitch and velocity.
class CTestNoteDlg : public QDialog {
public:
    explicit CTestNoteDlg(const TestNoteSettings& current, QWidget* parent = nullptr);
    TestNoteSettings Settings() const;
    QSpinBox* NoteBox() const { return m_note; }
    QSpinBox* VelocityBox() const { return m_velocity; }

    // "C4" for 60: the note's name, middle C in octave 4.
    static QString NoteName(int note);

private:
    QSpinBox* m_note = nullptr;
    QSpinBox* m_velocity = nullptr;
};
