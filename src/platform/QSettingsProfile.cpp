// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QSettingsProfile.h"

#include "app/AppInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <limits>

namespace {

QString Key(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

QString RecentKey(int index) {
    return QString::fromUtf8(QSettingsProfile::kRecentSection) + QStringLiteral("/File%1").arg(index + 1);
}

// As INI files are read: the leading integer of the text, 0 when there is none.
int LeadingInt(const QString& text) {
    static const QRegularExpression kNumber(QStringLiteral("^\\s*([+-]?[0-9]+)"));
    const QRegularExpressionMatch match = kNumber.match(text);
    if (!match.hasMatch()) return 0;
    const QString digits = match.captured(1);
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok);
    constexpr int kMin = std::numeric_limits<int>::min();
    constexpr int kMax = std::numeric_limits<int>::max();
    if (!ok) return digits.startsWith(QLatin1Char('-')) ? kMin : kMax;  // too many digits: saturate
    return static_cast<int>(std::clamp<qlonglong>(value, kMin, kMax));
}

// File names are bytes. Those that are UTF-8 text are stored as text, readable in the file; any other is
// stored as a byte array, which the INI format marks and escapes, so that it comes back byte for byte.
QVariant PathValue(const std::string& path) {
    const QByteArray bytes = QByteArray::fromStdString(path);
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes) return text;
    return bytes;
}

std::string PathFrom(const QVariant& value) {
    if (value.typeId() == QMetaType::QByteArray) return value.toByteArray().toStdString();
    return value.toString().toStdString();
}

}  // namespace

QSettingsProfile::QSettingsProfile() : QSettingsProfile(DefaultPath()) {}

QSettingsProfile::QSettingsProfile(const QString& path)
    : m_path(path), m_settings(std::make_unique<QSettings>(path, QSettings::IniFormat)) {
    m_damaged = m_settings->status() != QSettings::NoError;
}

QSettingsProfile::~QSettingsProfile() = default;

QString QSettingsProfile::DefaultPath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString app = QString::fromUtf8(kAppTitle);
    return base + QLatin1Char('/') + app + QLatin1Char('/') + app + QStringLiteral(".INI");
}

QSettings* QSettingsProfile::Readable() { return m_damaged ? nullptr : m_settings.get(); }

QSettings& QSettingsProfile::Writable() {
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // A damaged file is replaced by what the program writes, with nothing kept of what half-parsed.
    if (m_damaged) {
        m_settings->clear();
        m_damaged = false;
    }
    return *m_settings;
}

int QSettingsProfile::GetProfileInt(const std::string& section, const std::string& key, int defaultValue) {
    QSettings* settings = Readable();
    if (settings == nullptr) return defaultValue;
    const QVariant value = settings->value(Key(section, key));
    if (!value.isValid()) return defaultValue;
    return LeadingInt(value.toString());
}

void QSettingsProfile::WriteProfileInt(const std::string& section, const std::string& key, int value) {
    QSettings& settings = Writable();
    settings.setValue(Key(section, key), QString::number(value));
    settings.sync();
}

std::string QSettingsProfile::GetProfileString(const std::string& section, const std::string& key,
                                               const std::string& defaultValue) {
    QSettings* settings = Readable();
    if (settings == nullptr) return defaultValue;
    const QVariant value = settings->value(Key(section, key));
    if (!value.isValid()) return defaultValue;
    return PathFrom(value);
}

void QSettingsProfile::WriteProfileString(const std::string& section, const std::string& key,
                                          const std::string& value) {
    QSettings& settings = Writable();
    settings.setValue(Key(section, key), PathValue(value));
    settings.sync();
}

std::vector<std::string> QSettingsProfile::RecentFiles() {
    std::vector<std::string> paths;
    QSettings* settings = Readable();
    if (settings == nullptr) return paths;
    for (int i = 0; i < kRecentFileCount; ++i) {
        const std::string path = PathFrom(settings->value(RecentKey(i)));
        if (!path.empty()) paths.push_back(path);
    }
    return paths;
}

void QSettingsProfile::WriteRecentFiles(const std::vector<std::string>& paths) {
    QSettings& settings = Writable();
    for (int i = 0; i < kRecentFileCount; ++i) {
        if (i < static_cast<int>(paths.size())) {
            settings.setValue(RecentKey(i), PathValue(paths[static_cast<std::size_t>(i)]));
        } else {
            settings.remove(RecentKey(i));
        }
    }
    settings.sync();
}
