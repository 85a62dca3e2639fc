// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The profile while a session manager is in charge: the session's own settings over the user's profile.

#include "app/ports/Profile.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A session's settings: "section/key" to its text, as the settings file in the session's folder holds them.
using SessionSettings = std::map<std::pair<std::string, std::string>, std::string>;

// The settings file: INI lines ("[section]", "key=value"), each byte outside printable ASCII and each '%',
// '=', '[' and ']' written as %XX, so that any text comes back byte for byte. Reading skips what it cannot
// make sense of and never fails.
std::string FormatSessionSettings(const SessionSettings& settings);
SessionSettings ParseSessionSettings(std::string_view text);

// The program's profile. Without a session it is the user's profile itself. With one, every read looks in the
// session's settings first and then in the user's profile, and every write goes to the session's settings
// only (in memory until the session is saved): the user's profile is never written while a session is open.
class SessionProfile : public Profile {
public:
    explicit SessionProfile(Profile& user) : m_user(user) {}

    // From now on the session's settings are these (what its file held; empty for a new session).
    void UseSession(SessionSettings settings);
    bool InSession() const { return m_session.has_value(); }
    // What the session's file is to hold: what was written, and what is read now of the settings that belong
    // to a session (the devices, thru, the learned controllers), so that the file stands on its own.
    SessionSettings SettingsToSave();

    int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) override;
    void WriteProfileInt(const std::string& section, const std::string& key, int value) override;
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) override;
    void WriteProfileString(const std::string& section, const std::string& key, const std::string& value) override;
    std::vector<std::string> RecentFiles() override;
    void WriteRecentFiles(const std::vector<std::string>& paths) override;

private:
    Profile& m_user;
    std::optional<SessionSettings> m_session;
    std::optional<std::vector<std::string>> m_recent;  // a session's recent files stay in memory
};
