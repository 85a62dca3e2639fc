#pragma once

#include <QString>

#include <string>

// The patch keeps its texts as 8-bit strings; the window shows them as UTF-8. Every conversion between
// the two goes through here, so the encoding is decided in one place.
inline QString ToQString(const std::string& text) { return QString::fromStdString(text); }
inline std::string FromQString(const QString& text) { return text.toStdString(); }
