// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CMidiOptionsDlg.h"

#include "ui/DialogUnits.h"
#include "ui/UiText.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

CMidiOptionsDlg::CMidiOptionsDlg(const std::vector<std::string>& names, int deviceIndex, QWidget* parent,
                                 Direction direction)
    : QDialog(parent), m_deviceIndex(deviceIndex) {
    const bool input = direction == Direction::Input;
    setWindowTitle(QStringLiteral("MIDI Options"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogUnits du = kSmallDialogUnits;

    auto* label =
        new QLabel(input ? QStringLiteral("MIDI Input Device:") : QStringLiteral("MIDI Output Device:"), this);
    label->setGeometry(du.Rect(7, 8, 66, 8));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_list = new QComboBox(this);
    m_list->setObjectName(QString::number(kDeviceListId));
    m_list->setEditable(false);
    m_list->setAccessibleName(input ? QStringLiteral("MIDI Input Device") : QStringLiteral("MIDI Output Device"));
    for (const std::string& name : names) m_list->addItem(ToQString(name));
    const QRect listRect = du.Rect(79, 7, 135, 198);
    const int closed = m_list->sizeHint().height();
    m_list->setGeometry(listRect.x(), listRect.y(), listRect.width(), closed);
    m_list->setMaxVisibleItems(std::max(1, (listRect.height() - closed - 2) / QFontMetrics(font()).height()));
    m_list->setCurrentIndex(deviceIndex >= 0 && deviceIndex < m_list->count() ? deviceIndex : -1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(33, 34, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CMidiOptionsDlg::accept);

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(du.Rect(138, 34, 50, 14));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    setFixedSize(du.X(221), du.Y(55));
    m_list->setFocus();
}

void CMidiOptionsDlg::SetDevices(const std::vector<std::string>& names) {
    const QString selected = m_list->currentText();
    const QString opened =
        m_deviceIndex >= 0 && m_deviceIndex < m_list->count() ? m_list->itemText(m_deviceIndex) : QString();
    m_list->clear();
    for (const std::string& name : names) m_list->addItem(ToQString(name));
    m_list->setCurrentIndex(selected.isEmpty() ? -1 : m_list->findText(selected, Qt::MatchExactly));
    m_deviceIndex = opened.isEmpty() ? -1 : m_list->findText(opened, Qt::MatchExactly);
}

void CMidiOptionsDlg::accept() {
    if (m_list->currentIndex() >= 0) m_deviceIndex = m_list->currentIndex();
    QDialog::accept();
}
