// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

// What the session manager's client asks of the program. Each call that can fail returns why, in words the
// session manager shows its user; nothing when it went well.
class SessionHost {
public:
    virtual ~SessionHost() = default;
    // Use `folder` for the patch and the settings from now on, as the client `clientId`. A second call is a
    // switch to another session, in the running program.
    virtual std::optional<std::string> OpenSession(const std::string& folder, const std::string& clientId) = 0;
    // Write the patch and the settings into the session's folder.
    virtual std::optional<std::string> SaveSession() = 0;
    // Show or hide the window.
    virtual void ShowGui(bool shown) = 0;
};
