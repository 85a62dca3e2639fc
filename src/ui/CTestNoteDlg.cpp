// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CTestNoteDlg.h"

#include "ui/Accessibility.h"
#include "ui/DialogUnits.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

QString CTestNoteDlg::NoteName(int note) {
    static const char* const kNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return QString::fromLatin1(kNames[note % 12]) + QString::number(note / 12 - 1);
}

CTestNoteDlg::CTestNoteDlg(const TestNoteSettings& current, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Test Note"));
    setFont(DialogFont());
    auto* form = new QFormLayout(this);

    m_note = new QSpinBox(this);
    m_note->setRange(0, 127);
    m_note->setValue(current.note);
    auto* name = new QLabel(NoteName(current.note), this);
    connect(m_note, &QSpinBox::valueChanged, name, [name](int note) { name->setText(NoteName(note)); });
    auto* noteRow = new QHBoxLayout;
    noteRow->addWidget(m_note);
    noteRow->addWidget(name);
    // The label stands before a row, so it is given its box itself: its mnemonic then works, and shows as one.
    auto* noteLabel = new QLabel(QStringLiteral("&Note:"), this);
    noteLabel->setBuddy(m_note);
    form->addRow(noteLabel, noteRow);

    m_velocity = new QSpinBox(this);
    m_velocity->setRange(1, 127);
    m_velocity->setValue(current.velocity);
    form->addRow(QStringLiteral("&Velocity:"), m_velocity);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    NameBuddies(this);
    m_note->setFocus();
}

TestNoteSettings CTestNoteDlg::Settings() const { return {m_note->value(), m_velocity->value()}; }
