// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ports/UserDialogs.h"

#include <QDialog>

#include <cstddef>
#include <vector>

class QPushButton;
class QTreeWidget;

// MIDI Options > Controllers...: which knob moves which control; the selected ones can be removed.
class CControllersDlg : public QDialog {
public:
    explicit CControllersDlg(const std::vector<ControllerRow>& rows, QWidget* parent = nullptr);
    // The rows removed, as indexes into the rows the dialog was opened on.
    std::vector<std::size_t> Removed() const { return m_removed; }

    QTreeWidget* List() const { return m_list; }
    QPushButton* RemoveButton() const { return m_remove; }

private:
    void RemoveSelected();

    QTreeWidget* m_list = nullptr;
    QPushButton* m_remove = nullptr;
    std::vector<std::size_t> m_removed;
};
