// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

// The core hands the window every text in UTF-8 (a patch's stored texts are decoded there, whatever code
// page they came in). Every conversion to and from Qt's strings goes through here.
inline QString ToQString(const std::string& text) { return QString::fromStdString(text); }
inline std::string FromQString(const QString& text) { return text.toStdString(); }
