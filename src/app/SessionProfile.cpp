// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SessionProfile.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace {

constexpr std::string_view kHex = "0123456789ABCDEF";

std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        // ';' and '#' too: a key that began with one would read back as a comment.
        if (b < 0x20 || b > 0x7e || c == '%' || c == '=' || c == '[' || c == ']' || c == ';' || c == '#') {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = HexDigit(text[i + 1]);
            const int lo = HexDigit(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// As an INI reader takes a number: the leading integer of the text, saturated; 0 when there is none.
int LeadingInt(const std::string& text) {
    std::size_t at = text.find_first_not_of(" \t");
    if (at == std::string::npos) return 0;
    if (text[at] == '+') ++at;
    long long value = 0;
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (end == first) return 0;
    if (error == std::errc::result_out_of_range)
        value = *first == '-' ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    return static_cast<int>(
        std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

std::string FormatSessionSettings(const SessionSettings& settings) {
    std::string text;
    const std::string* section = nullptr;
    for (const auto& [name, value] : settings) {
        if (section == nullptr || *section != name.first) {
            section = &name.first;
            text += '[' + Escaped(name.first) + "]\n";
        }
        text += Escaped(name.second) + '=' + Escaped(value) + '\n';
    }
    return text;
}

SessionSettings ParseSessionSettings(std::string_view text) {
    SessionSettings settings;
    std::optional<std::string> section;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[') {
            if (line.back() == ']' && line.size() >= 2) section = Unescaped(line.substr(1, line.size() - 2));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!section || equals == std::string_view::npos || equals == 0) continue;
        settings[{*section, Unescaped(line.substr(0, equals))}] = Unescaped(line.substr(equals + 1));
    }
    return settings;
}

void SessionProfile::UseSession(SessionSettings settings) {
    m_session = std::move(settings);
    m_recent.reset();
}

SessionSettings SessionProfile::SettingsToSave() {
    if (!m_session) return {};
    // What belongs to the session is written out even when it still comes from the user's profile, so that
    // the session opens the same on a machine whose profile says otherwise.
    constexpr int kMissing = std::numeric_limits<int>::min();
    for (const char* key : {kProfileDeviceKey, kProfileInputKey, kProfileThruKey}) {
        const int value = GetProfileInt(kProfileSection, key, kMissing);
        if (value != kMissing) (*m_session)[{kProfileSection, key}] = std::to_string(value);
    }
    for (const char* key : {kProfileDeviceNameKey, kProfileInputNameKey}) {
        const std::string value = GetProfileString(kProfileSection, key, "\x01");
        if (value != "\x01") (*m_session)[{kProfileSection, key}] = value;
    }
    const int count = GetProfileInt(kProfileControllersSection, kProfileControllersCountKey, 0);
    (*m_session)[{kProfileControllersSection, kProfileControllersCountKey}] = std::to_string(count);
    for (int i = 1; i <= std::clamp(count, 0, 4096); ++i) {
        const std::string key = kProfileControllersBindingKey + std::to_string(i);
        (*m_session)[{kProfileControllersSection, key}] = GetProfileString(kProfileControllersSection, key, "");
    }
    return *m_session;
}

int SessionProfile::GetProfileInt(const std::string& section, const std::string& key, int defaultValue) {
    if (m_session) {
        const auto found = m_session->find({section, key});
        if (found != m_session->end()) return LeadingInt(found->second);
    }
    return m_user.GetProfileInt(section, key, defaultValue);
}

void SessionProfile::WriteProfileInt(const std::string& section, const std::string& key, int value) {
    if (!m_session) return m_user.WriteProfileInt(section, key, value);
    (*m_session)[{section, key}] = std::to_string(value);
}

std::string SessionProfile::GetProfileString(const std::string& section, const std::string& key,
                                             const std::string& defaultValue) {
    if (m_session) {
        const auto found = m_session->find({section, key});
        if (found != m_session->end()) return found->second;
    }
    return m_user.GetProfileString(section, key, defaultValue);
}

void SessionProfile::WriteProfileString(const std::string& section, const std::string& key, const std::string& value) {
    if (!m_session) return m_user.WriteProfileString(section, key, value);
    (*m_session)[{section, key}] = value;
}

std::vector<std::string> SessionProfile::RecentFiles() {
    if (m_recent) return *m_recent;
    return m_user.RecentFiles();
}

void SessionProfile::WriteRecentFiles(const std::vector<std::string>& paths) {
    if (!m_session) return m_user.WriteRecentFiles(paths);
    m_recent = paths;
}
