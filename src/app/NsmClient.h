// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program as a client of a session manager (the NSM protocol, OSC messages): what it announces, and what
// it does and answers for each message the session manager sends.

#include "app/ports/OscLink.h"

#include <cstdint>
#include <optional>
#include <string>

class SessionHost;

namespace nsm {
// The protocol's paths and error codes.
constexpr const char* kAnnounce = "/nsm/server/announce";
constexpr const char* kOpen = "/nsm/client/open";
constexpr const char* kSave = "/nsm/client/save";
constexpr const char* kSessionIsLoaded = "/nsm/client/session_is_loaded";
constexpr const char* kShowGui = "/nsm/client/show_optional_gui";
constexpr const char* kHideGui = "/nsm/client/hide_optional_gui";
constexpr const char* kGuiShown = "/nsm/client/gui_is_shown";
constexpr const char* kGuiHidden = "/nsm/client/gui_is_hidden";
constexpr const char* kIsDirty = "/nsm/client/is_dirty";
constexpr const char* kIsClean = "/nsm/client/is_clean";
constexpr const char* kReply = "/reply";
constexpr const char* kError = "/error";
constexpr const char* kCapabilities = ":dirty:switch:optional-gui:";
constexpr std::int32_t kApiMajor = 1;
constexpr std::int32_t kApiMinor = 1;
constexpr std::int32_t kErrGeneral = -1;
constexpr std::int32_t kErrNoSessionOpen = -6;
constexpr std::int32_t kErrBadProject = -9;
constexpr std::int32_t kErrCreateFailed = -10;
// Longer texts are refused: a folder or client id of that size is no session manager's.
constexpr std::size_t kLongestText = 4096;
}  // namespace nsm

class NsmClient {
public:
    NsmClient(OscLink& link, SessionHost& host) : m_link(link), m_host(host) {}

    // Tells the session manager who is here. `executable` is the program's file name, `pid` its process id.
    void Announce(const std::string& appName, const std::string& executable, std::int32_t pid);
    // One message from the session manager. Anything unexpected (an unknown path, wrong argument types, texts
    // out of reason) is answered with /error and changes nothing.
    void Handle(const OscMessage& message);

    // The patch changed, or was saved or loaded: the session manager hears it once per change of state, and
    // only while a session is open.
    void SetDirty(bool dirty);
    // The window was shown or hidden by the user (the session manager's own requests are answered anyway).
    void GuiChanged(bool shown);

    bool SessionOpen() const { return m_clientId.has_value(); }
    const std::string& ClientId() const { return *m_clientId; }
    // What the session manager said of itself in its reply to the announce; empty before.
    const std::string& ManagerName() const { return m_managerName; }
    // The announce was refused (an /error for it): the program goes on without a session.
    bool Refused() const { return m_refused; }

private:
    void OnOpen(const OscMessage& message);
    void OnSave();
    void Reply(const std::string& path, const std::string& text);
    void Error(const std::string& path, std::int32_t code, const std::string& text);

    OscLink& m_link;
    SessionHost& m_host;
    std::optional<std::string> m_clientId;
    std::string m_managerName;
    bool m_refused = false;
    std::optional<bool> m_toldDirty;  // what the session manager last heard
    bool m_dirty = false;
};
