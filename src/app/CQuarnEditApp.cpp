#include "app/CQuarnEditApp.h"

#include "app/CQuarnEditDoc.h"
#include "app/Commands.h"
#include "app/ports/FrameView.h"
#include "app/ports/Profile.h"
#include "editor/CMainDlg.h"
#include "editor/ports/UserDialogs.h"
#include "midi/MidiOutPorts.h"

#include <algorithm>

namespace {
const std::vector<FileFilter> kPatchFilters{{"Quarn Patch (*.qnp)", "*.qnp"}, {"All Files (*.*)", "*.*"}};
}  // namespace

std::string DeviceDisplayName(MidiOutPorts& ports, int id) {
    // A vanished index still gets a name, so every message stays well formed.
    return ports.Name(id).value_or("(unknown device " + std::to_string(id) + ")");
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
}

CQuarnEditApp::~CQuarnEditApp() {
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
    std::vector<std::string> recent = m_services.profile.RecentFiles();
    if (recent.size() > static_cast<std::size_t>(kRecentFileCount)) recent.resize(kRecentFileCount);
    m_recentFiles = std::move(recent);

    // A new, untitled document; the form is not shown yet, so no default patch loads here.
    m_document->ClearPathName();
    m_form->OnInitialUpdate();

    frame.ShowMainWindow();
    TitleChanged();
    frame.RecentFilesChanged(m_recentFiles);

    OpenStartupDevice();

    // A patch named on the command line is opened once the device is open, so the answer to its
    // transmit question reaches the instrument, and the form shows the file the title names.
    if (fileToOpen && OpenDocumentFile(*fileToOpen)) return true;
    m_form->OpenDefaultPatch();
    return true;
}

void CQuarnEditApp::OpenStartupDevice() {
    m_midiOutDevice = m_services.profile.GetProfileInt(kProfileSection, kProfileDeviceKey, 0);
    MidiPortSink& port = CreatePortSink();
    if (port.OpenDevice(m_midiOutDevice)) return;

    const int count = m_services.ports.Count();
    for (int i = 0; i < count; ++i) {
        if (!port.OpenDevice(i)) continue;
        m_midiOutDevice = i;
        m_services.profile.WriteProfileInt(kProfileSection, kProfileDeviceKey, i);
        Dialogs().ShowMessage({"MIDI Output Device has been changed to " + DeviceDisplayName(m_services.ports, i),
                               "Info", MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow});
        return;
    }
}

void CQuarnEditApp::TitleChanged() {
    if (m_frame != nullptr) m_frame->TitleChanged(m_document->GetTitle());
}

bool CQuarnEditApp::OnCommand(int id) {
    if (id >= cmd::FirstRecentFile && id < cmd::FirstRecentFile + kRecentFileCount) {
        OnOpenRecentFile(id - cmd::FirstRecentFile);
        return true;
    }
    const CommandRow* row = FindCommand(id);
    if (row == nullptr || !IsCommandEnabled(id)) return false;
    row->run(*this);
    return true;
}

bool CQuarnEditApp::IsCommandEnabled(int id) const {
    const CommandRow* row = FindCommand(id);
    return row != nullptr && (row->enabled == nullptr || row->enabled(*this));
}

void CQuarnEditApp::SetRecentFiles(std::vector<std::string> paths) {
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

bool CQuarnEditApp::OpenDocumentFile(const std::string& path) {
    if (!m_document->OnOpenDocument(path)) return false;
    m_document->SetPathName(path);
    AddToRecentFiles(path);
    return true;
}

void CQuarnEditApp::OnFileNew() { m_document->OnNewDocument(); }

void CQuarnEditApp::OnFileOpen() {
    if (auto path = Dialogs().AskOpenFileName({"qnp", kPatchFilters, false})) OpenDocumentFile(*path);
}

bool CQuarnEditApp::OnFileSave() {
    if (m_document->GetPathName().empty()) return OnFileSaveAs();
    const std::string path = m_document->GetPathName();
    if (!m_document->OnSaveDocument(path)) return false;
    AddToRecentFiles(path);
    return true;
}

bool CQuarnEditApp::OnFileSaveAs() {
    auto path = Dialogs().AskSaveFileName({"qnp", kPatchFilters, true});
    if (!path || !m_document->OnSaveDocument(*path)) return false;
    m_document->SetPathName(*path);
    AddToRecentFiles(*path);
    return true;
}

void CQuarnEditApp::OnOpenRecentFile(int index) {
    if (index < 0 || index >= static_cast<int>(m_recentFiles.size())) return;
    const std::string path = m_recentFiles[static_cast<std::size_t>(index)];
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

void CQuarnEditApp::OnOutputDevice() {
    MidiOutPorts& ports = m_services.ports;
    std::vector<std::string> names;
    const int count = ports.Count();
    for (int i = 0; i < count; ++i) names.push_back(DeviceDisplayName(ports, i));

    const std::optional<int> chosen = Dialogs().RunDeviceDialog(names, m_midiOutDevice);
    if (!chosen || *chosen == m_midiOutDevice) return;

    // Devices may come and go while the dialog is open, moving the others' indexes: the device to open is
    // the one whose name the user picked, wherever it is now; one that is gone fails to open.
    int device = *chosen;
    std::string chosenName = DeviceDisplayName(ports, device);
    if (device >= 0 && device < static_cast<int>(names.size()) && names[static_cast<std::size_t>(device)] != chosenName) {
        chosenName = names[static_cast<std::size_t>(device)];
        device = -1;
        for (int i = 0, n = ports.Count(); i < n && device < 0; ++i)
            if (DeviceDisplayName(ports, i) == chosenName) device = i;
    }

    MidiPortSink& port = CreatePortSink();
    if (device >= 0 && port.OpenDevice(device)) {
        m_midiOutDevice = device;
        m_services.profile.WriteProfileInt(kProfileSection, kProfileDeviceKey, m_midiOutDevice);
        return;
    }
    Dialogs().ShowMessage({chosenName + " could not be opened, reverting to " + DeviceDisplayName(ports, m_midiOutDevice),
                           "Info", MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow});
    port.OpenDevice(m_midiOutDevice);
}
