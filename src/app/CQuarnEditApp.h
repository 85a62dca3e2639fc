// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The application object: the sinks, the mute flag and the device id, start-up, and the menu's dispatch.

#include "app/AppInfo.h"
#include "app/ControllerLearn.h"
#include "app/FrameSlot.h"
#include "app/InputDeviceSession.h"
#include "app/OutputDeviceSession.h"
#include "app/SoundDesign.h"
#include "app/WorkKeeper.h"
#include "editor/ports/FormHost.h"
#include "midi/MidiOutPorts.h"
#include "midi/MidiSink.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class CMainDlg;
class Clock;
class ControllerInput;
class CQuarnEditDoc;
class DocumentLibraryHost;
class FrameView;
class RecoveryStore;
class LibraryLoader;
class MidiMonitor;
class MidiPacer;
class Profile;
class ProgramLocation;
class UserDialogs;

// What the program needs of the platform: MIDI, the profile, the user's dialogs, where it lies, and how
// it loads the quick-load library.
struct AppServices {
    MidiOutPorts& ports;
    MidiPacer& pacer;
    Profile& profile;
    UserDialogs& dialogs;
    ProgramLocation& location;
    LibraryLoader& libraries;
    Clock& clock;
    RecoveryStore& recovery;
};

// The application object: owns the two MIDI sinks, the mute flag that chooses between them and the device id,
// starts the program and dispatches the menu's commands. The document, the form and the rooms that do the
// work (the output device, keeping work, sound design, the library's host) are its parts.
class CQuarnEditApp : public FormHost, private OutputSinks {
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
    // What the form shows instead of the edit while it takes none: "the morph is shown", ...
    std::string ShownInsteadOfTheEdit() const;

    // The port sink, created on first use.
    MidiPortSink& CreatePortSink() override;

    // Start-up, with the window around the form. `fileToOpen` is a patch named on the command line.
    // False when start-up fails.
    bool InitInstance(FrameView& frame, const std::optional<std::string>& fileToOpen);

    // A menu command by its id (the recent files included); false for an id that is no command.
    bool OnCommand(int id);
    bool IsCommandEnabled(int id) const;
    // What the menu shows for a command now ("&Undo DCO1 Amp."), and whether it is on, for one that is.
    std::string CommandText(int id) const;
    bool IsCommandChecked(int id) const;

    // The main window may close: asks as the save question does, and on a clean end removes the
    // unsaved-changes file and closes the device.
    bool CanCloseFrame();
    // The desktop session is about to end and leaves room for questions: asks as above and nothing more, as
    // another program may still cancel the end. False when the user cancels.
    bool QueryEndSession();
    // The program ends after the questions: a clean end, when the user answered them and changed nothing since.
    void SessionEnded();
    // A session manager is in charge (see NsmClient). Start-up opens `path`, the session's patch, instead of
    // offering a recovery or opening a file named on the command line.
    void SetSessionPatch(std::string path) { m_sessionPatch = std::move(path); }
    // The session's patch, with no question before or after: `path`, or the default patch when there is no
    // such file yet; the document then names `path`, so that a save goes there. Why it failed, if it did: the
    // patch in the window is then the one there was.
    std::optional<std::string> OpenSessionPatch(const std::string& path);
    // Writes the patch to `path` as Save does, without a dialog: why it failed, if it did.
    std::optional<std::string> SaveSessionPatch(const std::string& path);
    // Whether `path` would open as the session's patch: why not, if not. Nothing changes.
    std::optional<std::string> CheckSessionPatch(const std::string& path) const;
    // The devices close, so that the MIDI client may take another name before they open again.
    void CloseDevices();
    // Another session's settings are in the profile: the devices and the learned controllers follow them.
    void ReloadSettings();
    // The session manager ends the program: no question; an unsaved patch is kept in the unsaved-changes
    // file for the next start, as at the end of a desktop session that leaves no room for questions.
    void EndWithoutQuestions();
    // Told whenever the patch becomes modified or unmodified.
    void SetModifiedObserver(std::function<void(bool)> observer) { m_modifiedObserver = std::move(observer); }

    // Opens (or raises) the window that lists what is sent.
    void OnMidiMonitor();
    // The monitor window closed: nothing listens to the sends any more.
    void MidiMonitorClosed();
    // Opens (or raises) the patch library window.
    void OnPatchLibrary();
    // Opens the envelope pictures' window, or closes it when open. Whether it is open is kept in the profile, so
    // that it opens again at the next start.
    void OnEnvelopes();
    bool IsEnvelopesOpen() const { return m_envelopesOpen; }
    // The user closed the envelope window itself.
    void EnvelopesClosed();

    // Who takes the input's Control Changes first (the controller bindings); null: nobody.
    void SetControllerInput(ControllerInput* controllers) { m_inputs.SetControllerInput(controllers); }

    // The rooms.
    OutputDeviceSession& Devices() { return m_devices; }
    InputDeviceSession& Inputs() { return m_inputs; }
    const InputDeviceSession& Inputs() const { return m_inputs; }
    WorkKeeper& Work() { return m_work; }
    const WorkKeeper& Work() const { return m_work; }
    SoundDesign& Sound() { return m_sound; }
    const SoundDesign& Sound() const { return m_sound; }
    // The knobs of the user's own controller: learn, the bindings, the moves they make.
    ControllerLearn& Controllers() { return m_controllers; }
    const ControllerLearn& Controllers() const { return m_controllers; }
    // What the library window asks of the program; where Save to Library writes.
    DocumentLibraryHost& Library() { return *m_library; }
    // The window around the form; none before start-up.
    FrameView* Frame() const { return m_frame.Get(); }

    CMainDlg& form() { return *m_form; }
    const CMainDlg& form() const { return *m_form; }
    CQuarnEditDoc& document() { return *m_document; }
    const CQuarnEditDoc& document() const { return *m_document; }

    std::int32_t m_midiOutDevice = 0;
    std::unique_ptr<MidiPortSink> m_portSink;
    std::unique_ptr<NullSink> m_nullSink;
    std::uint8_t m_mute = 0;

private:
    // OutputSinks: what the device session needs of the sinks and the device id.
    MidiPortSink* PortSink() override { return m_portSink.get(); }
    std::int32_t OutputDevice() const override { return m_midiOutDevice; }
    void SetOutputDevice(std::int32_t id) override { m_midiOutDevice = id; }

    void TitleChanged();
    // Opens or closes the envelope window as the profile says it was.
    void RestoreEnvelopes();
    void SetEnvelopesOpen(bool open);

    AppServices m_services;
    FrameSlot m_frame;
    std::unique_ptr<CMainDlg> m_form;
    std::unique_ptr<CQuarnEditDoc> m_document;
    OutputDeviceSession m_devices;
    InputDeviceSession m_inputs;
    WorkKeeper m_work;
    SoundDesign m_sound;
    ControllerLearn m_controllers;
    std::unique_ptr<MidiMonitor> m_monitor;
    std::unique_ptr<DocumentLibraryHost> m_library;
    std::optional<std::string> m_sessionPatch;
    std::function<void(bool)> m_modifiedObserver;
    bool m_envelopesOpen = false;
};
