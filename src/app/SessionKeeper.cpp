// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SessionKeeper.h"

#include "app/CQuarnEditApp.h"
#include "app/SessionProfile.h"
#include "util/WholeFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr std::uintmax_t kLargestSettingsFile = 1 << 20;

// The settings file of a session; none when there is none yet. Why it cannot be read, if it cannot.
std::optional<std::string> ReadSettings(const std::string& path, SessionSettings& settings) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return std::nullopt;
    if (std::filesystem::file_size(path, error) > kLargestSettingsFile || error) return path + ": not a settings file";
    std::ifstream in(path, std::ios::binary);
    if (!in) return path + ": cannot be read";
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    settings = ParseSessionSettings(text);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> SessionKeeper::OpenSession(const std::string& folder, const std::string& clientId) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error)) return folder + ": the session's folder cannot be made";
    const std::string settingsPath = folder + "/" + kSessionSettingsFile;
    // A new session switched to keeps the devices and knobs the program has now.
    SessionSettings settings =
        m_running && !std::filesystem::exists(settingsPath, error) ? m_profile.SettingsToSave() : SessionSettings{};
    if (auto failure = ReadSettings(settingsPath, settings)) return failure;
    const std::string patch = folder + "/" + kSessionPatchFile;
    if (m_running) {
        // A switch: what can fail is checked first, so that a refused switch leaves everything as it was.
        if (auto failure = m_app.CheckSessionPatch(patch)) return failure;
        m_profile.UseSession(std::move(settings));
        // The devices open again after the client took the new name, and the patch goes to them.
        if (clientId != m_clientId) {
            m_app.CloseDevices();
            if (m_nameClient) m_nameClient(clientId);
        }
        m_app.ReloadSettings();
        if (auto failure = m_app.OpenSessionPatch(patch)) return failure;
    } else {
        m_profile.UseSession(std::move(settings));
        m_app.SetSessionPatch(patch);
        // Named before its first device opens.
        if (m_nameClient) m_nameClient(clientId);
    }
    m_clientId = clientId;
    m_folder = folder;
    return std::nullopt;
}

std::optional<std::string> SessionKeeper::SaveSession() {
    if (m_folder.empty()) return "no session is open";
    std::error_code error;
    std::filesystem::create_directories(m_folder, error);
    // The settings first: a patch written beside settings that failed would be a session half saved that
    // reports itself clean.
    const std::string text = FormatSessionSettings(m_profile.SettingsToSave());
    WholeFileWriter writer;
    const std::string settingsPath = m_folder + "/" + kSessionSettingsFile;
    FileWriteResult result = writer.Open(settingsPath);
    if (result == FileWriteResult::Ok)
        result = writer.Commit({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    if (result != FileWriteResult::Ok) return settingsPath + ": " + FileWriteMessage(result);
    return m_app.SaveSessionPatch(m_folder + "/" + kSessionPatchFile);
}

void SessionKeeper::ShowGui(bool shown) {
    if (m_showWindow) m_showWindow(shown);
}
