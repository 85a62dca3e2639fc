#pragma once

#include "app/AppInfo.h"
#include "editor/ports/FormHost.h"
#include "midi/MidiOutPorts.h"
#include "midi/MidiSink.h"

#include "app/ports/RecoveryStore.h"
#include "editor/Mutation.h"
#include "editor/ports/UserDialogs.h"
#include "patch/PatchRecord.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

class CMainDlg;
class Clock;
class CQuarnEditDoc;
class DocumentLibraryHost;
class FrameView;
class RecoveryStore;
class Timer;
class LibraryLoader;
class MidiMonitor;
class MidiPause;
class Profile;
class ProgramLocation;
class UserDialogs;

// A device's name for the user, with a fixed placeholder when the platform cannot name the index.
std::string DeviceDisplayName(MidiOutPorts& ports, int id);
// "3 of 66 messages were not delivered": what a close of the device could not hand on.
std::string UndeliveredText(std::size_t lost, std::size_t sent);

// What the program needs of the platform: MIDI, the profile, the user's dialogs, where it lies, and how
// it loads the quick-load library.
struct AppServices {
    MidiOutPorts& ports;
    MidiPause& pause;
    Profile& profile;
    UserDialogs& dialogs;
    ProgramLocation& location;
    LibraryLoader& libraries;
    Clock& clock;
    RecoveryStore& recovery;
};

// How soon after an edit the unsaved patch is written where a crash cannot take it.
constexpr std::chrono::milliseconds kRecoveryDelay{1000};
// How long Play Test Note lets its note sound.
constexpr std::chrono::milliseconds kTestNoteLength{500};

// The application object: owns the two MIDI sinks and the mute flag that chooses between them,
// the document and the form, and carries out the menu commands.
class CQuarnEditApp : public FormHost {
public:
    explicit CQuarnEditApp(const AppServices& services);
    ~CQuarnEditApp() override;
    CQuarnEditApp(const CQuarnEditApp&) = delete;
    CQuarnEditApp& operator=(const CQuarnEditApp&) = delete;

    // FormHost: the sink every sender asks for at the moment it sends; never null.
    MidiSink* GetActiveSink() override;
    void SetMute(bool muted) override { m_mute = muted ? 1 : 0; }
    UserDialogs& Dialogs() override { return m_services.dialogs; }
    void PatchEdited() override;
    void EditRefused() override;

    // The port sink, created on first use.
    MidiPortSink& CreatePortSink();
    // A device's name for the user, also for an index that names none.
    std::string DeviceName(int id) { return DeviceDisplayName(m_services.ports, id); }
    // The device of that name now, or -1.
    int FindDevice(const std::string& name);
    // The device the profile names: by its name where it has one and that device is there, else by its index.
    int StoredDevice();
    // The platform's news about its devices, on the program's own thread: follows the open device to its new
    // index, tells the user once when it goes, and reopens it by name when it comes back.
    void OnMidiPortsChanged(MidiPortChange change);
    // The open device went away and has not come back yet.
    bool IsDeviceLost() const { return m_deviceLost; }

    // Start-up, with the window around the form. `fileToOpen` is a patch named on the command line.
    // False when start-up fails.
    bool InitInstance(FrameView& frame, const std::optional<std::string>& fileToOpen);

    // A menu command by its id (the recent files included); false for an id that is no command.
    bool OnCommand(int id);
    bool IsCommandEnabled(int id) const;
    // What the menu shows for a command now ("&Undo DCO1 Amp."), and whether it is on, for one that is.
    std::string CommandText(int id) const;
    bool IsCommandChecked(int id) const;

    // Before the patch is replaced or the program ends: offers to save a modified patch. False when the user
    // cancels, or the save failed or was cancelled; then the command that asked stops.
    bool SaveModified();
    // The main window may close: asks as above, and on a clean end removes the unsaved-changes file.
    bool CanCloseFrame();
    // The desktop session is about to end and leaves room for questions: asks as above and nothing more, as
    // another program may still cancel the end. False when the user cancels.
    bool QueryEndSession();
    // The program ends after the questions: a clean end, when the user answered them and changed nothing since.
    void SessionEnded();
    // The desktop session ends without room for questions: the unsaved patch is kept for the next start.
    void KeepUnsavedChanges();
    // Menu commands.
    void OnFileNew();
    void OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnOpenRecentFile(int index);
    void OnExportMidiFile();
    void OnAppExit();
    void OnTransmitAll();
    void OnOutputDevice();
    void OnAppAbout();
    void OnEditUndo();
    void OnEditRedo();
    // Between the patch being edited and the patch as last loaded or saved, each sent whole.
    void OnEditCompare();
    void OnEditMutate();
    void OnTestNoteSettings();
    void OnPlayTestNote();
    // Starts the test note, or ends the one that is held.
    void OnHoldTestNote();
    void OnAllNotesOff();
    void OnMidiMonitor();
    // The monitor window closed: nothing listens to the sends any more.
    void MidiMonitorClosed();
    // Opens (or raises) the patch library window.
    void OnPatchLibrary();
    // Saves the patch as a new file in the user's patch folder, named after the patch.
    void OnSaveToLibrary();
    // What the library window asks of the program; where Save to Library writes.
    DocumentLibraryHost& Library() { return *m_library; }
    // The window around the form; none before start-up.
    FrameView* Frame() const { return m_frame; }

    bool IsComparing() const { return m_comparing; }
    bool IsHoldingTestNote() const { return m_holdingNote; }
    // The random source of Mutate; a fixed seed makes it repeat.
    void SetRandomSeed(std::uint32_t seed) { m_random.seed(seed); }
    // Opens a patch as File > Open does after its dialog: on success the document takes its path and title
    // and the file heads the recent-file list.
    bool OpenDocumentFile(const std::string& path);

    CMainDlg& form() { return *m_form; }
    const CMainDlg& form() const { return *m_form; }
    CQuarnEditDoc& document() { return *m_document; }
    const CQuarnEditDoc& document() const { return *m_document; }
    const std::vector<std::string>& RecentFiles() const { return m_recentFiles; }

    std::int32_t m_midiOutDevice = 0;
    std::unique_ptr<MidiPortSink> m_portSink;
    std::unique_ptr<NullSink> m_nullSink;
    std::uint8_t m_mute = 0;

private:
    void OpenStartupDevice();
    // Opens a device on the port sink and remembers its name, to find it again when indexes move.
    bool OpenOutput(int id);
    std::vector<std::string> DeviceNames();
    void DeviceLost();
    void ReportUndelivered(std::size_t lost, std::size_t sent, const std::string& device);
    // Remembers the device by index and by name.
    void StoreDevice(int id);
    bool OfferRecovery();
    void SaveRecovery();
    // The file a restore came from goes, now that the work is safe without it.
    void ForgetRestoredFile();
    void ModifiedChanged();
    void CommandsChanged();
    std::string AbsolutePath(const std::string& path) const;
    void EndCompare();
    TestNoteSettings ReadTestNote();
    void StartTestNote();
    void StopTestNote();
    std::string SaveAsInitialPath() const;
    void SetRecentFiles(std::vector<std::string> paths);
    void AddToRecentFiles(const std::string& path);
    void TitleChanged();

    AppServices m_services;
    FrameView* m_frame = nullptr;
    std::unique_ptr<CMainDlg> m_form;
    std::unique_ptr<CQuarnEditDoc> m_document;
    std::vector<std::string> m_recentFiles;
    std::unique_ptr<Timer> m_recoveryTimer;
    std::optional<RecoveryStore::Abandoned> m_restoredFrom;  // kept until this instance has a copy of its own
    bool m_endAgreed = false;  // the user answered the questions of an end, and changed nothing since
    std::unique_ptr<Timer> m_noteTimer;
    std::optional<int> m_soundingNote;
    bool m_holdingNote = false;
    bool m_comparing = false;
    PatchRecord m_editedPatch;  // the edit, put aside while the original is shown
    MutationSettings m_mutation;
    std::mt19937 m_random{std::random_device{}()};
    std::unique_ptr<MidiMonitor> m_monitor;
    std::string m_openDeviceName;
    bool m_deviceLost = false;
    std::vector<std::string> m_deviceNames;  // as the MIDI Options dialog shows them
    std::unique_ptr<DocumentLibraryHost> m_library;
};
