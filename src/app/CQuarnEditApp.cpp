#include "app/CQuarnEditApp.h"

#include "app/CQuarnEditDoc.h"
#include "app/Services.h"
#include "app/UserDialogs.h"
#include "editor/CMainDlg.h"
#include "midi/MidiOutPorts.h"

#include <algorithm>

CQuarnEditApp::CQuarnEditApp(MidiOutPorts& ports, MidiPause& pause)
    : m_nullSink(std::make_unique<NullSink>()), m_ports(ports), m_pause(pause) {}

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
    if (!m_portSink) m_portSink = std::make_unique<MidiPortSink>(&m_ports, &m_pause);
    return *m_portSink;
}

void CQuarnEditApp::AttachShell(ShellServices services) { m_shell.emplace(services); }

namespace {
const std::vector<FileFilter> kPatchFilters{{"Quarn Patch (*.qnp)", "*.qnp"}, {"All Files (*.*)", "*.*"}};
}  // namespace

std::string DeviceDisplayName(MidiOutPorts& ports, int id) {
    // A vanished index still gets a name, so every message stays well formed.
    return ports.Name(id).value_or("(unknown device " + std::to_string(id) + ")");
}

bool CQuarnEditApp::InitInstance(const std::optional<std::string>& fileToOpen) {
    if (!m_shell) return false;
    ShellServices& shell = *m_shell;

    m_recentFiles = shell.profile.RecentFiles();
    if (m_recentFiles.size() > static_cast<std::size_t>(kRecentFileCount)) m_recentFiles.resize(kRecentFileCount);

    m_form = std::make_unique<CMainDlg>(*this, shell.dialogs);
    m_document = std::make_unique<CQuarnEditDoc>(*m_form, shell.dialogs);
    m_form->SetDocument(m_document.get());
    m_form->SetProgramLocation(&shell.location);
    // A new document: the form is not shown yet, so no default patch loads here.
    if (!m_document->OnNewDocument()) return false;
    m_form->OnInitialUpdate();

    shell.frame.ShowMainWindow();
    DocumentPathChanged();
    shell.frame.RecentFilesChanged(m_recentFiles);

    OpenStartupDevice();

    // A patch named on the command line is opened once the device is open, so the answer to its
    // transmit question reaches the instrument, and the form shows the file the title names.
    if (fileToOpen && OpenDocumentFile(*fileToOpen)) return true;
    m_form->OpenDefaultPatch();
    return true;
}

void CQuarnEditApp::OpenStartupDevice() {
    ShellServices& shell = *m_shell;
    m_midiOutDevice = shell.profile.GetProfileInt(kProfileSection, kProfileDeviceKey, 0);
    MidiPortSink& port = CreatePortSink();
    if (port.OpenDevice(m_midiOutDevice)) return;

    const int count = m_ports.Count();
    for (int i = 0; i < count; ++i) {
        if (!port.OpenDevice(i)) continue;
        m_midiOutDevice = i;
        shell.profile.WriteProfileInt(kProfileSection, kProfileDeviceKey, i);
        shell.dialogs.ShowMessage({"MIDI Output Device has been changed to " + DeviceDisplayName(m_ports, i), "Info",
                                   MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow});
        return;
    }
}

std::string CQuarnEditApp::WindowTitle() const {
    return (m_document ? m_document->GetTitle() : std::string("Untitled")) + " - " + kAppTitle;
}

void CQuarnEditApp::DocumentPathChanged() {
    if (m_shell && m_document) m_shell->frame.TitleChanged(m_document->GetTitle());
}

void CQuarnEditApp::AddToRecentFiles(const std::string& path) {
    std::erase(m_recentFiles, path);
    m_recentFiles.insert(m_recentFiles.begin(), path);
    if (m_recentFiles.size() > static_cast<std::size_t>(kRecentFileCount)) m_recentFiles.resize(kRecentFileCount);
    m_shell->profile.WriteRecentFiles(m_recentFiles);
    m_shell->frame.RecentFilesChanged(m_recentFiles);
}

bool CQuarnEditApp::OpenDocumentFile(const std::string& path) {
    if (!m_document || !m_document->OnOpenDocument(path)) return false;
    m_document->SetPathName(path);
    DocumentPathChanged();
    AddToRecentFiles(path);
    return true;
}

void CQuarnEditApp::OnFileNew() {
    if (!m_document) return;
    m_document->OnNewDocument();
    DocumentPathChanged();
}

void CQuarnEditApp::OnFileOpen() {
    if (!m_shell) return;
    if (auto path = m_shell->dialogs.AskOpenFileName({"qnp", kPatchFilters, false})) OpenDocumentFile(*path);
}

bool CQuarnEditApp::OnFileSave() {
    if (!m_document) return false;
    if (m_document->GetPathName().empty()) return OnFileSaveAs();
    const std::string path = m_document->GetPathName();
    if (!m_document->OnSaveDocument(path)) return false;
    AddToRecentFiles(path);
    return true;
}

bool CQuarnEditApp::OnFileSaveAs() {
    if (!m_shell || !m_document) return false;
    auto path = m_shell->dialogs.AskSaveFileName({"qnp", kPatchFilters, true});
    if (!path || !m_document->OnSaveDocument(*path)) return false;
    m_document->SetPathName(*path);
    DocumentPathChanged();
    AddToRecentFiles(*path);
    return true;
}

void CQuarnEditApp::OnOpenRecentFile(int index) {
    if (!m_shell || index < 0 || index >= static_cast<int>(m_recentFiles.size())) return;
    const std::string path = m_recentFiles[static_cast<std::size_t>(index)];
    if (OpenDocumentFile(path)) return;
    // A file that no longer opens leaves the list, as desktop programs do.
    std::erase(m_recentFiles, path);
    m_shell->profile.WriteRecentFiles(m_recentFiles);
    m_shell->frame.RecentFilesChanged(m_recentFiles);
}

void CQuarnEditApp::OnExportMidiFile() {
    if (g_mainDlg != nullptr) g_mainDlg->OnExportMidiFile();
}

void CQuarnEditApp::OnTransmitAll() {
    if (g_mainDlg != nullptr) g_mainDlg->TransmitAll(true);
}

void CQuarnEditApp::OnOutputDevice() {
    if (!m_shell) return;
    ShellServices& shell = *m_shell;
    std::vector<std::string> names;
    const int count = m_ports.Count();
    for (int i = 0; i < count; ++i) names.push_back(DeviceDisplayName(m_ports, i));

    const std::optional<int> chosen = shell.dialogs.RunDeviceDialog(names, m_midiOutDevice);
    if (!chosen || *chosen == m_midiOutDevice) return;

    // Devices may come and go while the dialog is open, moving the others' indexes: the device to open is
    // the one whose name the user picked, wherever it is now; one that is gone fails to open.
    int device = *chosen;
    std::string chosenName = DeviceDisplayName(m_ports, device);
    if (device >= 0 && device < static_cast<int>(names.size()) && names[static_cast<std::size_t>(device)] != chosenName) {
        chosenName = names[static_cast<std::size_t>(device)];
        device = -1;
        for (int i = 0, n = m_ports.Count(); i < n && device < 0; ++i)
            if (DeviceDisplayName(m_ports, i) == chosenName) device = i;
    }

    MidiPortSink& port = CreatePortSink();
    if (device >= 0 && port.OpenDevice(device)) {
        m_midiOutDevice = device;
        shell.profile.WriteProfileInt(kProfileSection, kProfileDeviceKey, m_midiOutDevice);
        return;
    }
    shell.dialogs.ShowMessage({chosenName + " could not be opened, reverting to " +
                                   DeviceDisplayName(m_ports, m_midiOutDevice),
                               "Info", MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow});
    port.OpenDevice(m_midiOutDevice);
}
