// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ports/UserDialogs.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QPushButton;
class QSpinBox;

// How far and where Mutate moves the patch; Randomize is the same at 100 %.
class CMutateDlg : public QDialog {
public:
    explicit CMutateDlg(const MutationSettings& current, QWidget* parent = nullptr);
    // After the dialog closed with Mutate or Randomize.
    MutationRequest Request() const;

    QSpinBox* AmountBox() const { return m_amount; }
    QCheckBox* SectionBox(std::size_t i) const { return m_sections[i]; }
    QPushButton* RandomizeButton() const { return m_randomizeButton; }

private:
    QSpinBox* m_amount = nullptr;
    std::array<QCheckBox*, kMutationSections.size()> m_sections{};
    QPushButton* m_randomizeButton = nullptr;
    bool m_randomize = false;
};
