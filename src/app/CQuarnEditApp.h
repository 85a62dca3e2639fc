#pragma once

#include "midi/MidiSink.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class MidiOutPorts;
class MidiPause;
class Profile;
class UserDialogs;
class ProgramLocation;
class FrameView;
class CMainDlg;
class CQuarnEditDoc;

// A device's name for the user, with a fixed placeholder when the platform cannot name the index.
std::string DeviceDisplayName(MidiOutPorts& ports, int id);

// What the shell needs from the platform besides MIDI.
struct ShellServices {
    Profile& profile;
    UserDialogs& dialogs;
    ProgramLocation& location;
    FrameView& frame;
};

constexpr const char* kAppTitle = "QuarnEdit";
constexpr const char* kProfileSection = "Options";
constexpr const char* kProfileDeviceKey = "MIDI Output";
constexpr int kRecentFileCount = 10;

// The application object: owns the two MIDI sinks and the mute flag that chooses between them,
// the document and the form, and carries out the menu commands.
class CQuarnEditApp {
public:
    CQuarnEditApp(MidiOutPorts& ports, MidiPause& pause);
    ~CQuarnEditApp();
    CQuarnEditApp(const CQuarnEditApp&) = delete;
    CQuarnEditApp& operator=(const CQuarnEditApp&) = delete;

    // The sink every sender asks for at the moment it sends; never null.
    MidiSink* GetActiveSink();
    // The port sink, created on first use.
    MidiPortSink& CreatePortSink();
    MidiOutPorts& ports() { return m_ports; }

    // Start-up. `fileToOpen` is a patch named on the command line. False when start-up fails.
    void AttachShell(ShellServices services);
    bool InitInstance(const std::optional<std::string>& fileToOpen);

    // Menu commands.
    void OnFileNew();
    void OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnOpenRecentFile(int index);
    void OnExportMidiFile();
    void OnTransmitAll();
    void OnOutputDevice();

    // Opens a patch as File > Open does after its dialog: on success the document takes its path and title
    // and the file heads the recent-file list.
    bool OpenDocumentFile(const std::string& path);

    CMainDlg* form() { return m_form.get(); }
    CQuarnEditDoc* document() { return m_document.get(); }
    // "<document title> - QuarnEdit"
    std::string WindowTitle() const;
    const std::vector<std::string>& RecentFiles() const { return m_recentFiles; }

    std::int32_t m_midiOutDevice = 0;
    std::unique_ptr<MidiPortSink> m_portSink;
    std::unique_ptr<NullSink> m_nullSink;
    std::uint8_t m_mute = 0;

private:
    void OpenStartupDevice();
    void AddToRecentFiles(const std::string& path);
    void DocumentPathChanged();

    MidiOutPorts& m_ports;
    MidiPause& m_pause;
    std::optional<ShellServices> m_shell;
    std::unique_ptr<CMainDlg> m_form;
    std::unique_ptr<CQuarnEditDoc> m_document;
    std::vector<std::string> m_recentFiles;
};
