// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UserFolders.h"

#include "app/AppInfo.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

// Qt's folder, or the XDG default under the home folder where Qt took a variable that is not absolute.
std::string Folder(QStandardPaths::StandardLocation location, const char* defaultUnderHome) {
    QString folder = QStandardPaths::writableLocation(location);
    if (folder.isEmpty() || QDir::isRelativePath(folder)) {
        const QString home = QDir::homePath();
        if (home.isEmpty() || QDir::isRelativePath(home)) return {};
        folder = home + QLatin1Char('/') + QLatin1String(defaultUnderHome);
    }
    return QFile::encodeName(folder).toStdString();
}

}  // namespace

std::string ProfilePath() {
    const std::string config =
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).toStdString();
    const std::string app = kAppTitle;
    return config.empty() ? std::string() : config + "/" + app + "/" + app + ".INI";
}

std::string UserPatchFolder() {
    const std::string data = Folder(QStandardPaths::GenericDataLocation, ".local/share");
    return data.empty() ? std::string() : data + "/QuarnEdit/patches";
}

std::string LibraryIndexPath() {
    const std::string cache = Folder(QStandardPaths::GenericCacheLocation, ".cache");
    return cache.empty() ? std::string() : cache + "/QuarnEdit/library.sqlite";
}
