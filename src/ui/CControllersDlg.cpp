// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CControllersDlg.h"

#include "ui/Accessibility.h"
#include "ui/DialogUnits.h"
#include "ui/UiText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// Where each row came from, among the rows the dialog was opened on.
constexpr int kRowRole = Qt::UserRole;
}  // namespace

CControllersDlg::CControllersDlg(const std::vector<ControllerRow>& rows, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Controllers"));
    setFont(DialogFont());
    auto* layout = new QVBoxLayout(this);

    if (rows.empty()) {
        auto* note = new QLabel(
            QStringLiteral("No controller is learned yet: right-click a slider, list or check box of the form and "
                           "choose Learn Controller."),
            this);
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    auto* label = new QLabel(QStringLiteral("&Learned controllers:"), this);
    layout->addWidget(label);

    m_list = new QTreeWidget(this);
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({QStringLiteral("Controller"), QStringLiteral("Channel"), QStringLiteral("Control")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setAllColumnsShowFocus(true);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ControllerRow& row = rows[i];
        // A 14-bit pair shows both its controllers.
        const QString controller = row.fine ? QStringLiteral("CC %1/%2").arg(row.controller).arg(row.controller + 32)
                                            : QStringLiteral("CC %1").arg(row.controller);
        auto* item = new QTreeWidgetItem(m_list, {controller, QString::number(row.channel), ToQString(row.control)});
        item->setData(0, kRowRole, static_cast<qulonglong>(i));
    }
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(true);
    if (m_list->topLevelItemCount() > 0) m_list->setCurrentItem(m_list->topLevelItem(0));
    label->setBuddy(m_list);
    layout->addWidget(m_list);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_remove = buttons->addButton(QStringLiteral("&Remove"), QDialogButtonBox::ActionRole);
    m_remove->setAutoDefault(false);
    connect(m_remove, &QPushButton::clicked, this, &CControllersDlg::RemoveSelected);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // The Delete key removes too, where the list has the focus.
    auto* del = new QShortcut(QKeySequence::Delete, m_list, nullptr, nullptr, Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, &CControllersDlg::RemoveSelected);
    const auto update = [this] { m_remove->setEnabled(!m_list->selectedItems().isEmpty()); };
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, update);
    update();

    NameBuddies(this);
    resize(DialogUnits::ForFont(font()).X(260), DialogUnits::ForFont(font()).Y(160));
    m_list->setFocus();
}

void CControllersDlg::RemoveSelected() {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty()) return;
    int next = m_list->indexOfTopLevelItem(selected.front());
    for (QTreeWidgetItem* item : selected) {
        m_removed.push_back(static_cast<std::size_t>(item->data(0, kRowRole).toULongLong()));
        next = std::min(next, m_list->indexOfTopLevelItem(item));
        delete item;
    }
    // The focus stays in the list, on the row that took the place of the first one removed.
    if (m_list->topLevelItemCount() > 0) {
        m_list->setCurrentItem(m_list->topLevelItem(std::min(next, m_list->topLevelItemCount() - 1)));
        m_list->setFocus();
    }
}
