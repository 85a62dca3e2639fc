#pragma once

#include <string>
#include <vector>

// Where the program keeps its settings.
constexpr const char* kProfileSection = "Options";
constexpr const char* kProfileDeviceKey = "MIDI Output";
constexpr int kRecentFileCount = 10;

// The profile: a few integers and the recent-file list.
class Profile {
public:
    virtual ~Profile() = default;
    virtual int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) = 0;
    virtual void WriteProfileInt(const std::string& section, const std::string& key, int value) = 0;
    virtual std::vector<std::string> RecentFiles() = 0;
    virtual void WriteRecentFiles(const std::vector<std::string>& paths) = 0;
};
