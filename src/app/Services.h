#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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
    // Shows the main window and paints it at once; start-up calls it before it opens the MIDI device.
    virtual void ShowMainWindow() = 0;
    virtual void TitleChanged(const std::string& documentTitle) = 0;
    virtual void RecentFilesChanged(const std::vector<std::string>& paths) = 0;
    virtual void CloseMainWindow() = 0;
};

// The quick-load library's one entry point: fills the 261-byte buffer with the path of a patch to load,
// or leaves it empty.
using QuickLoadEntry = int (*)(char* buffer, std::uintptr_t ownerWindow, std::int32_t x, std::int32_t y);

// A loaded dynamic library; destroying it releases the library.
class DynamicLibrary {
public:
    virtual ~DynamicLibrary() = default;
    virtual QuickLoadEntry FindQuickLoadEntry(const std::string& name) = 0;
};

class LibraryLoader {
public:
    virtual ~LibraryLoader() = default;
    // Null when the library cannot be loaded.
    virtual std::unique_ptr<DynamicLibrary> Load(const std::string& fileName) = 0;
};

// Where the form's window is, for the quick-load menu.
class FormWindow {
public:
    virtual ~FormWindow() = default;
    virtual std::uintptr_t WindowId() = 0;
    // The top-left corner of the form's client area in screen coordinates.
    virtual std::pair<int, int> ClientOriginOnScreen() = 0;
};
