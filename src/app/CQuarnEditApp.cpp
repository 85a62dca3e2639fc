#include "app/CQuarnEditApp.h"

#include "app/CQuarnEditDoc.h"
#include "app/Commands.h"
#include "app/DocumentLibraryHost.h"
#include "app/MidiMonitor.h"
#include "app/ports/Clock.h"
#include "app/ports/FrameView.h"
#include "app/ports/Profile.h"
#include "app/ports/RecoveryStore.h"
#include "editor/CMainDlg.h"
#include "editor/ports/UserDialogs.h"
#include "midi/MidiOutPorts.h"
#include "patch/PatchFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {
const std::vector<FileFilter> kPatchFilters{{"Quarn Patch (*.qnp)", "*.qnp"}, {"All Files (*.*)", "*.*"}};
}  // namespace

std::string DeviceDisplayName(MidiOutPorts& ports, int id) {
    // A vanished index still gets a name, so every message stays well formed.
    return ports.Name(id).value_or("(unknown device " + std::to_string(id) + ")");
}

std::string UndeliveredText(std::size_t lost, std::size_t sent) {
    return std::to_string(lost) + " of " + std::to_string(sent) + " messages were not delivered";
}

CQuarnEditApp::CQuarnEditApp(const AppServices& services)
    : m_nullSink(std::make_unique<NullSink>()),
      m_services(services),
      m_form(std::make_unique<CMainDlg>(*this)),
      m_document(std::make_unique<CQuarnEditDoc>(*m_form, services.dialogs)) {
    m_form->SetDocument(m_document.get());
    m_form->SetProgramLocation(&services.location);
    m_form->SetQuickLoad(&services.libraries);
    m_document->SetTitleChangedHandler([this] { TitleChanged(); });
    m_document->SetModifiedChangedHandler([this] { ModifiedChanged(); });
    m_document->SetSaveModifiedHandler([this] { return SaveModified(); });
    m_form->SetClock([&clock = services.clock] { return clock.Now(); });
    m_recoveryTimer = services.clock.CreateTimer([this] { SaveRecovery(); });
    m_noteTimer = services.clock.CreateTimer([this] { StopTestNote(); });
    m_library = std::make_unique<DocumentLibraryHost>(*this);
}

CQuarnEditApp::~CQuarnEditApp() {
    // Its auditioning form sends through this application's sinks.
    m_library.reset();
    MidiMonitorClosed();
    m_recoveryTimer.reset();
    m_noteTimer.reset();
    m_document.reset();
    m_form.reset();
    // The null sink goes first, then the port sink, which closes the device.
    m_nullSink.reset();
    m_portSink.reset();
}

MidiSink* CQuarnEditApp::GetActiveSink() {
    // Before the port sink exists the null sink stands in, so a send can never fail.
    if (m_mute != 0 || !m_portSink) return m_nullSink.get();
    return m_portSink.get();
}

MidiPortSink& CQuarnEditApp::CreatePortSink() {
    if (!m_portSink) m_portSink = std::make_unique<MidiPortSink>(&m_services.ports, &m_services.pause);
    return *m_portSink;
}

bool CQuarnEditApp::InitInstance(FrameView& frame, const std::optional<std::string>& fileToOpen) {
    m_frame = &frame;
    // A relative entry would open whatever file of that name the next start's folder holds.
    std::vector<std::string> recent;
    for (const std::string& path : m_services.profile.RecentFiles()) {
        const std::string absolute = AbsolutePath(path);
        if (std::find(recent.begin(), recent.end(), absolute) == recent.end()) recent.push_back(absolute);
    }
    if (recent.size() > static_cast<std::size_t>(kRecentFileCount)) recent.resize(kRecentFileCount);
    m_recentFiles = std::move(recent);

    // A new, untitled document; the form is not shown yet, so no default patch loads here.
    m_document->ClearPathName();
    m_form->OnInitialUpdate();

    frame.ShowMainWindow();
    TitleChanged();
    frame.RecentFilesChanged(m_recentFiles);

    OpenStartupDevice();
    if (OfferRecovery()) return true;

    // A patch named on the command line is opened once the device is open, so the answer to its
    // transmit question reaches the instrument, and the form shows the file the title names.
    if (fileToOpen && OpenDocumentFile(*fileToOpen)) return true;
    m_form->OpenDefaultPatch();
    return true;
}

bool CQuarnEditApp::OfferRecovery() {
    while (std::optional<RecoveryStore::Abandoned> file = m_services.recovery.TakeAbandoned()) {
        const std::string title = file->documentPath.empty()
                                      ? std::string("Untitled")
                                      : std::filesystem::path(file->documentPath).filename().string();
        const MessageAnswer answer =
            Dialogs().ShowMessage({"QuarnEdit was not closed properly. Restore the unsaved changes to " + title + "?",
                                   kAppTitle, MessageButtons::YesNo, MessageIcon::Warning, MessageOwner::MainWindow});
        if (answer != MessageAnswer::Yes) {
            m_services.recovery.Remove(*file);
            continue;
        }
        // The document takes its old path first, so the transmit question names the right patch.
        m_document->SetPathName(file->documentPath);
        if (!m_document->OnOpenDocument(file->patchFile)) {
            m_document->ClearPathName();
            m_services.recovery.Remove(*file);
            continue;
        }
        m_document->SetModifiedFlag(true);
        // The old file goes only once this instance keeps the work itself (a full disk may refuse that), or
        // the user saved it or let it go: no moment is without a copy.
        m_restoredFrom = *file;
        SaveRecovery();
        return true;
    }
    return false;
}

void CQuarnEditApp::SaveRecovery() {
    m_recoveryTimer->Stop();
    if (!m_document->IsModified()) return;
    // The edit, also while Compare shows the original.
    const PatchRecord edit = m_comparing ? m_editedPatch : m_form->CaptureRecord();
    const std::vector<std::uint8_t> bytes = EncodePatchFile(
        CMainDlg::GetPatchVersion(), [&edit](std::span<std::uint8_t> record) { EncodePatchRecord(edit, record); });
    if (m_services.recovery.Save(bytes, m_document->GetPathName())) ForgetRestoredFile();
}

void CQuarnEditApp::ForgetRestoredFile() {
    if (!m_restoredFrom) return;
    m_services.recovery.Remove(*m_restoredFrom);
    m_restoredFrom.reset();
}

void CQuarnEditApp::PatchEdited() {
    m_endAgreed = false;
    m_document->SetModifiedFlag(true);
    // Written soon after the first edit, not after the last one, so a long session of edits is never at risk.
    if (!m_recoveryTimer->IsActive()) m_recoveryTimer->Start(kRecoveryDelay);
    CommandsChanged();
}

void CQuarnEditApp::ModifiedChanged() {
    if (m_frame != nullptr) m_frame->ModifiedChanged(m_document->IsModified());
    if (!m_document->IsModified()) {
        m_recoveryTimer->Stop();
        m_services.recovery.Discard();
        ForgetRestoredFile();
    }
    CommandsChanged();
}

void CQuarnEditApp::CommandsChanged() {
    if (m_frame != nullptr) m_frame->CommandsChanged();
}

bool CQuarnEditApp::SaveModified() {
    if (!m_document->IsModified()) return true;
    const MessageAnswer answer =
        Dialogs().ShowMessage({"Save changes to " + m_document->GetTitle() + "?", kAppTitle,
                               MessageButtons::YesNoCancel, MessageIcon::Warning, MessageOwner::MainWindow});
    switch (answer) {
        case MessageAnswer::Yes: return OnFileSave();
        // The command may still not replace the patch (a cancelled or failed open): the unsaved changes stay
        // kept until it does, or the program ends cleanly.
        case MessageAnswer::No: return true;
        default: return false;
    }
}

bool CQuarnEditApp::QueryEndSession() {
    if (m_comparing) EndCompare();
    m_endAgreed = SaveModified();
    return m_endAgreed;
}

void CQuarnEditApp::SessionEnded() {
    if (!m_endAgreed) return;
    StopTestNote();
    m_recoveryTimer->Stop();
    m_services.recovery.Discard();
    ForgetRestoredFile();
}

bool CQuarnEditApp::CanCloseFrame() {
    if (!QueryEndSession()) return false;
    SessionEnded();
    // The window may still say what the device could not take before the program ends.
    if (m_portSink && m_portSink->deviceHandle() != MidiPortSink::kNoDevice && !m_deviceLost) {
        const std::size_t sent = m_portSink->SentSinceOpen();
        ReportUndelivered(m_portSink->CloseDevice(), sent, m_openDeviceName);
    }
    return true;
}

void CQuarnEditApp::KeepUnsavedChanges() {
    m_endAgreed = false;
    SaveRecovery();
}

std::string CQuarnEditApp::AbsolutePath(const std::string& path) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) return path;
    const fs::path canonical = fs::weakly_canonical(absolute, ec);
    return (ec ? absolute : canonical).string();
}

std::string CQuarnEditApp::SaveAsInitialPath() const {
    const std::filesystem::path path(m_document->GetPathName());
    const std::string name = m_document->GetTitle();
    const std::string file = name.ends_with(".qnp") ? name : name + ".qnp";
    return path.has_parent_path() ? (path.parent_path() / file).string() : file;
}

int CQuarnEditApp::FindDevice(const std::string& name) {
    for (int i = 0, count = m_services.ports.Count(); i < count; ++i)
        if (m_services.ports.Name(i) == name) return i;
    return -1;
}

int CQuarnEditApp::StoredDevice() {
    const std::string name = m_services.profile.GetProfileString(kProfileSection, kProfileDeviceNameKey, "");
    const int named = name.empty() ? -1 : FindDevice(name);
    return named >= 0 ? named : m_services.profile.GetProfileInt(kProfileSection, kProfileDeviceKey, 0);
}

void CQuarnEditApp::StoreDevice(int id) {
    m_services.profile.WriteProfileInt(kProfileSection, kProfileDeviceKey, id);
    if (std::optional<std::string> name = m_services.ports.Name(id))
        m_services.profile.WriteProfileString(kProfileSection, kProfileDeviceNameKey, *name);
}

void CQuarnEditApp::OpenStartupDevice() {
    m_midiOutDevice = m_services.profile.GetProfileInt(kProfileSection, kProfileDeviceKey, 0);
    const std::string storedName = m_services.profile.GetProfileString(kProfileSection, kProfileDeviceNameKey, "");
    if (storedName.empty()) {
        if (OpenOutput(m_midiOutDevice)) return;
    } else if (const int named = FindDevice(storedName); named >= 0 && OpenOutput(named)) {
        // The stored device, wherever it is now. Without it the stored index may name another instrument, so
        // that is never opened silently: the fallback below tells the user what is used instead.
        if (named != m_midiOutDevice) {
            m_midiOutDevice = named;
            m_services.profile.WriteProfileInt(kProfileSection, kProfileDeviceKey, named);
        }
        return;
    }

    const int count = m_services.ports.Count();
    for (int i = 0; i < count; ++i) {
        if (!OpenOutput(i)) continue;
        m_midiOutDevice = i;
        StoreDevice(i);
        Dialogs().ShowMessage({"MIDI Output Device has been changed to " + DeviceDisplayName(m_services.ports, i),
                               "Info", MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow});
        return;
    }
}

void CQuarnEditApp::TitleChanged() {
    if (m_frame != nullptr) m_frame->TitleChanged(m_document->GetTitle());
}

std::string CQuarnEditApp::CommandText(int id) const {
    const CommandRow* row = FindCommand(id);
    if (row == nullptr) return {};
    return row->text != nullptr ? row->text(*this) : row->label;
}

bool CQuarnEditApp::IsCommandChecked(int id) const {
    const CommandRow* row = FindCommand(id);
    return row != nullptr && row->checked != nullptr && row->checked(*this);
}

bool CQuarnEditApp::OnCommand(int id) {
    if (id >= cmd::FirstRecentFile && id < cmd::FirstRecentFile + kRecentFileCount) {
        if (m_comparing) EndCompare();
        OnOpenRecentFile(id - cmd::FirstRecentFile);
        return true;
    }
    const CommandRow* row = FindCommand(id);
    if (row == nullptr || !IsCommandEnabled(id)) return false;
    // A command on the patch works on the edit: the original goes away first.
    if (m_comparing && !row->whileComparing) EndCompare();
    row->run(*this);
    return true;
}

bool CQuarnEditApp::IsCommandEnabled(int id) const {
    const CommandRow* row = FindCommand(id);
    return row != nullptr && (row->enabled == nullptr || row->enabled(*this));
}

void CQuarnEditApp::SetRecentFiles(std::vector<std::string> paths) {
    // One file, one entry: paths made absolute, the first of the same file kept.
    std::vector<std::string> unique;
    for (const std::string& path : paths)
        if (std::find(unique.begin(), unique.end(), path) == unique.end()) unique.push_back(path);
    paths = std::move(unique);
    m_recentFiles = std::move(paths);
    m_services.profile.WriteRecentFiles(m_recentFiles);
    if (m_frame != nullptr) m_frame->RecentFilesChanged(m_recentFiles);
}

void CQuarnEditApp::AddToRecentFiles(const std::string& path) {
    std::vector<std::string> paths = m_recentFiles;
    std::erase(paths, path);
    paths.insert(paths.begin(), path);
    if (paths.size() > static_cast<std::size_t>(kRecentFileCount)) paths.resize(kRecentFileCount);
    SetRecentFiles(std::move(paths));
}

bool CQuarnEditApp::OpenDocumentFile(const std::string& name) {
    const std::string path = AbsolutePath(name);
    if (!m_document->OnOpenDocument(path)) return false;
    m_document->SetPathName(path);
    AddToRecentFiles(path);
    return true;
}

void CQuarnEditApp::OnFileNew() {
    if (!SaveModified()) return;
    m_document->OnNewDocument();
}

void CQuarnEditApp::OnFileOpen() {
    if (!SaveModified()) return;
    if (auto path = Dialogs().AskOpenFileName({"qnp", kPatchFilters, false, {}})) OpenDocumentFile(*path);
}

bool CQuarnEditApp::OnFileSave() {
    if (m_document->GetPathName().empty()) return OnFileSaveAs();
    const std::string path = m_document->GetPathName();
    if (!m_document->OnSaveDocument(path)) return false;
    AddToRecentFiles(path);
    return true;
}

bool CQuarnEditApp::OnFileSaveAs() {
    auto chosen = Dialogs().AskSaveFileName({"qnp", kPatchFilters, true, SaveAsInitialPath()});
    if (!chosen) return false;
    const std::string path = AbsolutePath(*chosen);
    if (!m_document->OnSaveDocument(path)) return false;
    m_document->SetPathName(path);
    AddToRecentFiles(path);
    return true;
}

void CQuarnEditApp::OnOpenRecentFile(int index) {
    if (index < 0 || index >= static_cast<int>(m_recentFiles.size())) return;
    // Taken first: saving the patch that was there reorders the list.
    const std::string path = m_recentFiles[static_cast<std::size_t>(index)];
    if (!SaveModified()) return;
    if (OpenDocumentFile(path)) return;
    // A file that no longer opens leaves the list, as desktop programs do.
    std::vector<std::string> paths = m_recentFiles;
    std::erase(paths, path);
    SetRecentFiles(std::move(paths));
}

void CQuarnEditApp::OnExportMidiFile() { m_form->OnExportMidiFile(); }

void CQuarnEditApp::OnAppExit() {
    if (m_frame != nullptr) m_frame->CloseMainWindow();
}

void CQuarnEditApp::OnTransmitAll() { m_form->TransmitAll(true); }

void CQuarnEditApp::OnAppAbout() { Dialogs().ShowAbout(); }

void CQuarnEditApp::OnEditUndo() { m_form->Undo(); }

void CQuarnEditApp::OnEditRedo() { m_form->Redo(); }

void CQuarnEditApp::EditRefused() {
    if (m_frame != nullptr) m_frame->ShowStatus("The original is shown: press F2 to return to your edit.");
}

void CQuarnEditApp::OnEditCompare() {
    if (m_comparing) return EndCompare();
    const std::optional<PatchRecord>& original = m_document->Original();
    if (!original) return;
    m_editedPatch = m_form->CaptureRecord();
    m_form->FillFromRecord(*original);
    m_form->TransmitAll(false);
    m_form->SetReadOnly(true);
    m_comparing = true;
    if (m_frame != nullptr) m_frame->ComparingChanged(true);
    CommandsChanged();
}

void CQuarnEditApp::EndCompare() {
    if (!m_comparing) return;
    m_form->FillFromRecord(m_editedPatch);
    m_form->TransmitAll(false);
    m_form->SetReadOnly(false);
    m_comparing = false;
    if (m_frame != nullptr) {
        m_frame->ComparingChanged(false);
        m_frame->ShowStatus("");
    }
    CommandsChanged();
}

void CQuarnEditApp::OnEditMutate() {
    const std::optional<MutationRequest> request = Dialogs().RunMutateDialog(m_mutation);
    if (!request) return;
    m_mutation = request->settings;
    MutationSettings settings = request->settings;
    if (request->randomize) settings.amountPercent = 100;
    MutatePatch(*m_form, settings, m_random, request->randomize);
}

TestNoteSettings CQuarnEditApp::ReadTestNote() {
    TestNoteSettings note;
    note.note = std::clamp(m_services.profile.GetProfileInt(kProfileSection, kProfileTestNoteKey, note.note), 0, 127);
    note.velocity =
        std::clamp(m_services.profile.GetProfileInt(kProfileSection, kProfileTestVelocityKey, note.velocity), 1, 127);
    return note;
}

void CQuarnEditApp::OnTestNoteSettings() {
    const TestNoteSettings current = ReadTestNote();
    const std::optional<TestNoteSettings> chosen = Dialogs().RunTestNoteDialog(current);
    if (!chosen || *chosen == current) return;
    m_services.profile.WriteProfileInt(kProfileSection, kProfileTestNoteKey, std::clamp(chosen->note, 0, 127));
    m_services.profile.WriteProfileInt(kProfileSection, kProfileTestVelocityKey, std::clamp(chosen->velocity, 1, 127));
}

void CQuarnEditApp::StartTestNote() {
    // A note still sounding ends first.
    StopTestNote();
    const TestNoteSettings note = ReadTestNote();
    GetActiveSink()->SendChannelMessage(kNoteOnStatus, static_cast<std::uint8_t>(note.note),
                                        static_cast<std::uint8_t>(note.velocity));
    m_soundingNote = note.note;
}

void CQuarnEditApp::StopTestNote() {
    m_noteTimer->Stop();
    const bool wasHeld = m_holdingNote;
    m_holdingNote = false;
    if (m_soundingNote) {
        GetActiveSink()->SendChannelMessage(kNoteOffStatus, static_cast<std::uint8_t>(*m_soundingNote), 0x40);
        m_soundingNote.reset();
    }
    if (wasHeld) CommandsChanged();
}

void CQuarnEditApp::OnPlayTestNote() {
    StartTestNote();
    m_noteTimer->Start(kTestNoteLength);
}

void CQuarnEditApp::OnHoldTestNote() {
    if (m_holdingNote) return StopTestNote();
    StartTestNote();
    m_holdingNote = true;
    CommandsChanged();
}

void CQuarnEditApp::OnMidiMonitor() {
    if (!m_monitor) {
        m_monitor = std::make_unique<MidiMonitor>(*m_form);
        CreatePortSink().SetTap(m_monitor.get());
    }
    if (m_frame != nullptr) m_frame->ShowMidiMonitor(*m_monitor);
}

void CQuarnEditApp::MidiMonitorClosed() {
    if (m_portSink) m_portSink->SetTap(nullptr);
    m_monitor.reset();
}

void CQuarnEditApp::OnPatchLibrary() {
    if (m_frame != nullptr) m_frame->ShowLibrary(*m_library);
}

void CQuarnEditApp::OnSaveToLibrary() { m_library->SaveToLibrary(); }

void CQuarnEditApp::OnAllNotesOff() {
    MidiSink* sink = GetActiveSink();
    sink->SendDirect(ParamMessage(123, 0));  // all notes off
    sink->SendDirect(ParamMessage(120, 0));  // all sound off
    StopTestNote();
}

void CQuarnEditApp::OnOutputDevice() {
    m_deviceNames = DeviceNames();
    // While the open device is gone its old index may name another one: preselect it by name, or nothing.
    auto indexOf = [this](const std::string& name) {
        const auto found = std::find(m_deviceNames.begin(), m_deviceNames.end(), name);
        return found == m_deviceNames.end() ? -1 : static_cast<int>(found - m_deviceNames.begin());
    };
    const int current = m_deviceLost ? indexOf(m_openDeviceName) : m_midiOutDevice;
    // Devices may come and go while the dialog is open; it then shows the new list (DeviceListChanged), and
    // the device to open is the one whose name the user picked, wherever it is now.
    const std::optional<int> chosen = Dialogs().RunDeviceDialog(m_deviceNames, current);
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(m_deviceNames.size())) return;
    const std::string chosenName = m_deviceNames[static_cast<std::size_t>(*chosen)];
    MidiPortSink& port = CreatePortSink();
    const bool isOpen = port.deviceHandle() != MidiPortSink::kNoDevice;
    if (isOpen && chosenName == m_openDeviceName) return;
    const int device = FindDevice(chosenName);

    // The test note ends on the device that plays it, and what the old device could not take is told.
    StopTestNote();
    const std::size_t sent = port.SentSinceOpen();
    const std::size_t lost = port.CloseDevice();
    const std::string previousName = m_openDeviceName;
    if (device >= 0 && OpenOutput(device)) {
        m_midiOutDevice = device;
        StoreDevice(device);
    } else {
        Dialogs().ShowMessage(
            {chosenName + " could not be opened, reverting to " + DeviceDisplayName(m_services.ports, m_midiOutDevice),
             "Info", MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow});
        const int previous = previousName.empty() ? -1 : FindDevice(previousName);
        OpenOutput(previous >= 0 ? previous : m_midiOutDevice);
    }
    if (isOpen) ReportUndelivered(lost, sent, previousName);
}

bool CQuarnEditApp::OpenOutput(int id) {
    MidiPortSink& port = CreatePortSink();
    if (!port.OpenDevice(id)) return false;
    m_openDeviceName = m_services.ports.Name(id).value_or("");
    m_deviceLost = false;
    return true;
}

std::vector<std::string> CQuarnEditApp::DeviceNames() {
    std::vector<std::string> names;
    for (int i = 0, count = m_services.ports.Count(); i < count; ++i)
        names.push_back(DeviceDisplayName(m_services.ports, i));
    return names;
}

void CQuarnEditApp::OnMidiPortsChanged(MidiPortChange change) {
    if (!m_portSink) return;
    if (change == MidiPortChange::OpenDeviceLost) {
        DeviceLost();
        return;
    }
    m_deviceNames = DeviceNames();
    Dialogs().DeviceListChanged(m_deviceNames);
    if (m_openDeviceName.empty()) return;
    const int now = FindDevice(m_openDeviceName);
    if (m_deviceLost) {
        if (now < 0 || !OpenOutput(now)) return;
        m_midiOutDevice = now;
        StoreDevice(now);
        if (m_frame != nullptr) m_frame->ShowStatus(m_openDeviceName + " is back: changes are sent to it again.");
        return;
    }
    if (m_portSink->deviceHandle() == MidiPortSink::kNoDevice) return;
    if (now < 0) {
        // Gone from the list without a word from its server: gone all the same.
        DeviceLost();
    } else if (now != m_midiOutDevice) {
        // Another device came or went before it: the same instrument under a new index.
        m_midiOutDevice = now;
        StoreDevice(now);
    }
}

void CQuarnEditApp::DeviceLost() {
    if (m_deviceLost || !m_portSink || m_portSink->deviceHandle() == MidiPortSink::kNoDevice) return;
    // Set before the message, whose own event loop may deliver more news of the same loss.
    m_deviceLost = true;
    m_portSink->CloseDevice();
    const std::string text = m_openDeviceName + " is gone: changes are not sent until it is back.";
    if (m_frame != nullptr) m_frame->ShowStatus(text);
    Dialogs().ShowMessage({text, "Info", MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow});
}

void CQuarnEditApp::ReportUndelivered(std::size_t lost, std::size_t sent, const std::string& device) {
    if (lost == 0) return;
    Dialogs().ShowMessage({UndeliveredText(lost, sent) + " to " + device, "Info", MessageButtons::Ok, MessageIcon::None,
                           MessageOwner::MainWindow});
}
