// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// Where the program keeps its settings.
constexpr const char* kProfileSection = "Options";
constexpr const char* kProfileDeviceKey = "MIDI Output";
// The device's name beside its index: indexes shift when devices come and go, names do not.
constexpr const char* kProfileDeviceNameKey = "MIDI Output Name";
// The input device like the output, by index (-1: None) and name; and whether what it plays passes on.
constexpr const char* kProfileInputKey = "MIDI Input";
constexpr const char* kProfileInputNameKey = "MIDI Input Name";
constexpr const char* kProfileThruKey = "MIDI Thru";
constexpr const char* kProfileTestNoteKey = "Test Note";
constexpr const char* kProfileTestVelocityKey = "Test Velocity";
// 1 while the envelope pictures' window is open, so that it opens again at the next start.
constexpr const char* kProfileEnvelopesKey = "Envelope Window";
constexpr int kRecentFileCount = 10;
// The controllers the user learned: `Count` and `Binding1`...`BindingN`, each "<controller> <channel 1-16>
// <target>" with " 14" after it for a 14-bit pair. Never in patch files.
constexpr const char* kProfileControllersSection = "Controllers";
constexpr const char* kProfileControllersCountKey = "Count";
constexpr const char* kProfileControllersBindingKey = "Binding";

// The profile: a few integers and the recent-file list.
class Profile {
public:
    virtual ~Profile() = default;
    virtual int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) = 0;
    virtual void WriteProfileInt(const std::string& section, const std::string& key, int value) = 0;
    // A text, as bytes; `defaultValue` when the key is missing.
    virtual std::string GetProfileString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue) = 0;
    virtual void WriteProfileString(const std::string& section, const std::string& key, const std::string& value) = 0;
    virtual std::vector<std::string> RecentFiles() = 0;
    virtual void WriteRecentFiles(const std::vector<std::string>& paths) = 0;
};
