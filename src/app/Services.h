#pragma once

#include <optional>
#include <string>
#include <vector>

// The profile: a few integers and the recent-file list.
class Profile {
public:
    virtual ~Profile() = default;
    virtual int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) = 0;
    virtual void WriteProfileInt(const std::string& section, const std::string& key, int value) = 0;
    virtual std::vector<std::string> RecentFiles() = 0;
    virtual void WriteRecentFiles(const std::vector<std::string>& paths) = 0;
};

// Where the program itself lies; the default patch and the quick-load library sit beside it.
class ProgramLocation {
public:
    virtual ~ProgramLocation() = default;
    // The program's directory, ending with its separator.
    virtual std::string ProgramDirectory() = 0;
};

// The frame around the form: told when what it shows must change.
class FrameView {
public:
    virtual ~FrameView() = default;
    virtual void TitleChanged(const std::string& documentTitle) = 0;
    virtual void RecentFilesChanged(const std::vector<std::string>& paths) = 0;
    virtual void CloseMainWindow() = 0;
};
