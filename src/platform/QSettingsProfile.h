// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ports/Profile.h"

#include <QString>

#include <memory>

class QSettings;

// The profile as an INI file. By default it is "QuarnEdit/QuarnEdit.INI" in the user's configuration
// directory ($XDG_CONFIG_HOME, usually ~/.config). The program's settings are sections and keys of that
// file; the recent-file list is the section "Recent File List" with the keys "File1" to "File10", each a
// path as text, or as "@ByteArray(...)" when the path's bytes are not UTF-8.
// A missing, unreadable or damaged file reads as empty, so every value takes its default.
class QSettingsProfile : public Profile {
public:
    static constexpr const char* kRecentSection = "Recent File List";

    QSettingsProfile();
    explicit QSettingsProfile(const QString& path);
    ~QSettingsProfile() override;

    static QString DefaultPath();
    const QString& Path() const { return m_path; }

    int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) override;
    void WriteProfileInt(const std::string& section, const std::string& key, int value) override;
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) override;
    void WriteProfileString(const std::string& section, const std::string& key, const std::string& value) override;
    std::vector<std::string> RecentFiles() override;
    void WriteRecentFiles(const std::vector<std::string>& paths) override;

private:
    // The file's settings, or null when it could not be read as INI.
    QSettings* Readable();
    QSettings& Writable();

    QString m_path;
    std::unique_ptr<QSettings> m_settings;
    bool m_damaged = false;
};
