// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a session manager's open, save and switch do to the program: the session's folder holds the patch
// ("patch.qnp") and the settings that belong to the session ("settings.ini").

#include "app/ports/SessionHost.h"

#include <functional>
#include <optional>
#include <string>

class CQuarnEditApp;
class SessionProfile;

constexpr const char* kSessionPatchFile = "patch.qnp";
constexpr const char* kSessionSettingsFile = "settings.ini";

class SessionKeeper : public SessionHost {
public:
    // `nameClient` names the program's MIDI client after the session's client id (before the first device
    // opens, and again on a switch to another id while the devices are closed); `showWindow` shows or hides
    // the window.
    SessionKeeper(CQuarnEditApp& app, SessionProfile& profile, std::function<void(const std::string&)> nameClient,
                  std::function<void(bool)> showWindow)
        : m_app(app), m_profile(profile), m_nameClient(std::move(nameClient)), m_showWindow(std::move(showWindow)) {}

    // Before start-up: the first open only chooses the folder, the settings and the client's name; start-up
    // then opens the session's patch (CQuarnEditApp::SetSessionPatch). Once running, an open is a switch.
    void SetRunning() { m_running = true; }

    std::optional<std::string> OpenSession(const std::string& folder, const std::string& clientId) override;
    std::optional<std::string> SaveSession() override;
    void ShowGui(bool shown) override;

    const std::string& Folder() const { return m_folder; }

private:
    CQuarnEditApp& m_app;
    SessionProfile& m_profile;
    std::function<void(const std::string&)> m_nameClient;
    std::function<void(bool)> m_showWindow;
    std::string m_folder;
    std::string m_clientId;
    bool m_running = false;
};
