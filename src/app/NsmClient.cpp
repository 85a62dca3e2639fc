// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/NsmClient.h"

#include "app/ports/SessionHost.h"

namespace {

bool TextsInReason(const OscMessage& message) {
    for (const OscArgument& a : message.args)
        if (a.s.size() > nsm::kLongestText || a.s.find('\0') != std::string::npos) return false;
    return true;
}

// A client id names the JACK client and files: printable ASCII without a path separator, as session
// managers make them ("nABCD").
bool GoodClientId(const std::string& id) {
    if (id.empty() || id.size() > 60) return false;
    for (char c : id)
        if (c < 0x21 || c > 0x7e || c == '/' || c == '\\' || c == ':') return false;
    return true;
}

}  // namespace

void NsmClient::Announce(const std::string& appName, const std::string& executable, std::int32_t pid) {
    m_link.Send({nsm::kAnnounce,
                 {OscArgument::Text(appName), OscArgument::Text(nsm::kCapabilities), OscArgument::Text(executable),
                  OscArgument::Int(nsm::kApiMajor), OscArgument::Int(nsm::kApiMinor), OscArgument::Int(pid)}});
}

void NsmClient::Handle(const OscMessage& message) {
    const std::string types = message.Types();
    const std::string& path = message.path;
    if (path == nsm::kReply || path == nsm::kError) {
        // Answers to our own messages are never answered back, whatever they hold: no ping-pong.
        if (types.empty() || types[0] != 's' || message.args[0].s != nsm::kAnnounce) return;
        if (path == nsm::kReply && types.size() >= 3 && types[2] == 's') m_managerName = message.args[2].s;
        if (path == nsm::kError) m_refused = true;
        return;
    }
    if (!TextsInReason(message)) return Error(path, nsm::kErrGeneral, "arguments out of reason");
    if (path == nsm::kOpen) {
        if (types != "sss") return Error(path, nsm::kErrGeneral, "open takes three strings, not '" + types + "'");
        return OnOpen(message);
    }
    const bool noArguments = types.empty();
    if (path == nsm::kSave) {
        if (!noArguments) return Error(path, nsm::kErrGeneral, "save takes no arguments");
        return OnSave();
    }
    if (path == nsm::kShowGui || path == nsm::kHideGui) {
        if (!noArguments) return Error(path, nsm::kErrGeneral, "the window's requests take no arguments");
        const bool show = path == nsm::kShowGui;
        m_host.ShowGui(show);
        return GuiChanged(show);
    }
    if (path == nsm::kSessionIsLoaded) return;
    Error(path, nsm::kErrGeneral, "unknown message " + path.substr(0, 200));
}

void NsmClient::OnOpen(const OscMessage& message) {
    const std::string& folder = message.args[0].s;
    const std::string& clientId = message.args[2].s;
    if (folder.empty() || folder[0] != '/')
        return Error(nsm::kOpen, nsm::kErrBadProject, "the session's path is not absolute");
    if (!GoodClientId(clientId)) return Error(nsm::kOpen, nsm::kErrBadProject, "the client id is not usable");
    if (std::optional<std::string> failure = m_host.OpenSession(folder, clientId))
        return Error(nsm::kOpen, nsm::kErrCreateFailed, *failure);
    m_clientId = clientId;
    m_toldDirty.reset();
    Reply(nsm::kOpen, "opened " + folder);
    SetDirty(m_dirty);
}

void NsmClient::OnSave() {
    if (!SessionOpen()) return Error(nsm::kSave, nsm::kErrNoSessionOpen, "no session is open");
    if (std::optional<std::string> failure = m_host.SaveSession()) return Error(nsm::kSave, nsm::kErrGeneral, *failure);
    Reply(nsm::kSave, "saved");
    SetDirty(false);
}

void NsmClient::SetDirty(bool dirty) {
    m_dirty = dirty;
    if (!SessionOpen() || m_toldDirty == dirty) return;
    m_toldDirty = dirty;
    m_link.Send({dirty ? nsm::kIsDirty : nsm::kIsClean, {}});
}

void NsmClient::GuiChanged(bool shown) { m_link.Send({shown ? nsm::kGuiShown : nsm::kGuiHidden, {}}); }

void NsmClient::Reply(const std::string& path, const std::string& text) {
    m_link.Send({nsm::kReply, {OscArgument::Text(path), OscArgument::Text(text)}});
}

void NsmClient::Error(const std::string& path, std::int32_t code, const std::string& text) {
    m_link.Send(
        {nsm::kError, {OscArgument::Text(path.substr(0, 200)), OscArgument::Int(code), OscArgument::Text(text)}});
}
