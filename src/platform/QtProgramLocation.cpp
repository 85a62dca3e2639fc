// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtProgramLocation.h"

#include <QCoreApplication>
#include <QFile>

#include <filesystem>
#include <system_error>

std::string QtProgramLocation::ProgramDirectory() {
    // The kernel's link to the running program names its directory in bytes, whatever they are; Qt's answer
    // passes through text and loses a directory whose name is not UTF-8.
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && self.is_absolute()) return self.parent_path().string() + "/";
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString() + "/";
}
