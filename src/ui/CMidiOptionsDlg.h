// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;

// The MIDI Options dialog: the output devices by name, in device order; or, as the same dialog, the input
// devices with "None" first.
class CMidiOptionsDlg : public QDialog {
public:
    static constexpr int kDeviceListId = 1085;
    enum class Direction { Output, Input };

    // `deviceIndex` is preselected; an index beyond the list leaves nothing selected.
    CMidiOptionsDlg(const std::vector<std::string>& names, int deviceIndex, QWidget* parent = nullptr,
                    Direction direction = Direction::Output);

    // After OK: the selected entry, or the index the dialog was opened with when nothing is selected.
    int DeviceIndex() const { return m_deviceIndex; }
    QComboBox* DeviceList() const { return m_list; }

    // The devices changed while the dialog is open: shows `names`, keeping the selection and the index
    // it was opened with by name (nothing, when that device is gone).
    void SetDevices(const std::vector<std::string>& names);

    void accept() override;

private:
    QComboBox* m_list = nullptr;
    int m_deviceIndex;
};
