// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QSettingsLibraryFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

QSettingsLibraryFolders::QSettingsLibraryFolders(QString path) : m_path(std::move(path)) {}

std::vector<std::string> QSettingsLibraryFolders::Folders() {
    std::vector<std::string> folders;
    QSettings settings(m_path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) return folders;  // a damaged profile reads as empty
    const QVariant value = settings.value(QString::fromUtf8(kKey));
    // One folder reads back as a plain string, several as a list.
    const QStringList list = value.typeId() == QMetaType::QStringList ? value.toStringList()
                             : value.toString().isEmpty()             ? QStringList()
                                                                      : QStringList{value.toString()};
    for (const QString& folder : list)
        if (!folder.isEmpty()) folders.push_back(folder.toStdString());
    return folders;
}

void QSettingsLibraryFolders::SetFolders(const std::vector<std::string>& folders) {
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSettings settings(m_path, QSettings::IniFormat);
    QStringList list;
    for (const std::string& folder : folders) list << QString::fromStdString(folder);
    if (list.isEmpty()) {
        settings.remove(QString::fromUtf8(kKey));
    } else {
        settings.setValue(QString::fromUtf8(kKey), list);
    }
    settings.sync();
}
