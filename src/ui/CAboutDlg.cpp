// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CAboutDlg.h"

#include "app/AppInfo.h"
#include "ui/AppIcon.h"
#include "ui/DialogUnits.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About QuarnEdit"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogUnits du = kSmallDialogUnits;

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setGeometry(du.X(8), du.Y(8), 32, 32);

    auto* version = new QLabel(QString::fromUtf8(kAppVersionLine), this);
    version->setGeometry(du.Rect(40, 14, 150, 8));

    // Beside the version, never in its place: the terms anyone may share the program and its changes on.
    auto* licence = new QLabel(QStringLiteral("Free software: GNU GPL version 3 or later"), this);
    licence->setObjectName(QStringLiteral("licence"));
    licence->setGeometry(du.Rect(40, 26, 150, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(142, 38, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(du.X(200), du.Y(60));
}
