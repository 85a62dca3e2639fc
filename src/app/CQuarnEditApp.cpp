// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: the sinks and the mute flag, start-up, and the menu's dispatch to the rooms.
#include "app/CQuarnEditApp.h"

#include "app/CQuarnEditDoc.h"
#include "app/Commands.h"
#include "app/DocumentLibraryHost.h"
#include "app/MidiMonitor.h"
#include "app/ports/Clock.h"
#include "app/ports/FrameView.h"
#include "app/ports/Profile.h"
#include "editor/CMainDlg.h"
#include "editor/Morph.h"
#include "patch/PatchFile.h"
#include "util/ScopedFlag.h"

#include <filesystem>
#include <vector>

CQuarnEditApp::CQuarnEditApp(const AppServices& services)
    : m_nullSink(std::make_unique<NullSink>()),
      m_services(services),
      m_form(std::make_unique<CMainDlg>(*this)),
      m_document(std::make_unique<CQuarnEditDoc>(*m_form, services.dialogs)),
      m_devices(services.ports, services.profile, services.dialogs, m_frame, *this),
      m_inputs(services.profile, services.dialogs, m_frame, *this),
      m_work(*m_document, *m_form, services.profile, services.recovery, services.clock, services.dialogs, m_frame),
      m_sound(*m_form, *m_document, *this, services.profile, services.clock, m_frame),
      m_controllers(*m_form, services.profile, services.dialogs, m_frame) {
    m_form->SetDocument(m_document.get());
    m_form->SetProgramLocation(&services.location);
    m_form->SetQuickLoad(&services.libraries);
    m_document->SetTitleChangedHandler([this] {
        m_work.PathChanged();
        TitleChanged();
    });
    m_document->SetModifiedChangedHandler([this] {
        m_work.ModifiedChanged();
        m_frame.CommandsChanged();
        if (m_modifiedObserver) m_modifiedObserver(m_document->IsModified());
    });
    m_document->SetSaveModifiedHandler([this] { return m_work.SaveModified(); });
    m_form->SetClock([&clock = services.clock] { return clock.Now(); });
    m_devices.SetBeforeSwitch([this] { m_sound.StopTestNote(); });
    // The input's Control Changes go to the controller bindings first: a learn, or a knob that moves a control.
    m_inputs.SetControllerInput(&m_controllers);
    m_controllers.SetInputChosen([this] { return m_inputs.HasDevice(); });
    m_controllers.SetRefusedReason([this] { return ShownInsteadOfTheEdit(); });
    // Registered before the profile's bindings are read, so a knob learned to the morph stays learned; with no
    // morph open it is not taken, and passes through as it would unlearned (the modulation wheel keeps its
    // vibrato).
    m_controllers.RegisterTarget(kMorphPositionTarget,
                                 {"Morph position", kMorphEnd,
                                  [this] {
                                      const MorphSession* morph = m_sound.Morph();
                                      return morph != nullptr ? morph->Position() : 0;
                                  },
                                  [this](int position) { m_sound.SetMorphPosition(position); },
                                  [this] { return m_sound.Morph() != nullptr; }, &MorphPositionText});
    m_devices.SetAgree([this] { m_form->SendWhatDiffers(); });
    m_work.SetEditSource([this] { return m_sound.Edit(); });
    // A patch opened from the library is opened as File > Open opens it, on the edit, never on the original.
    m_library = std::make_unique<DocumentLibraryHost>(*this, *m_form, m_frame, [this](const std::string& path) {
        m_sound.EndCompare();
        const SoundDesign::Aside aside(m_sound);
        return m_work.SaveModified() && m_work.OpenDocumentFile(path);
    });
}

CQuarnEditApp::~CQuarnEditApp() {
    // Its auditioning form sends through this application's sinks.
    m_library.reset();
    MidiMonitorClosed();
    // The rooms, the document and the form go next; the null sink then the port sink, which closes the
    // device, go last.
}

MidiSink* CQuarnEditApp::GetActiveSink() {
    // Before the port sink exists the null sink stands in, so a send can never fail.
    if (m_mute != 0 || !m_portSink) return m_nullSink.get();
    return m_portSink.get();
}

MidiPortSink& CQuarnEditApp::CreatePortSink() {
    if (!m_portSink) m_portSink = std::make_unique<MidiPortSink>(&m_services.ports, &m_services.pacer);
    return *m_portSink;
}

bool CQuarnEditApp::InitInstance(FrameView& frame, const std::optional<std::string>& fileToOpen) {
    m_frame.Attach(frame);
    m_work.LoadRecentFiles();
    m_controllers.Load();

    // A new, untitled document; the form is not shown yet, so no default patch loads here.
    m_document->ClearPathName();
    m_form->OnInitialUpdate();

    frame.ShowMainWindow();
    RestoreEnvelopes();
    TitleChanged();
    frame.RecentFilesChanged(m_work.RecentFiles());

    m_devices.OpenStartupDevice();
    m_inputs.OpenStartupDevice();
    // The session manager's patch: its own recovery question would come from no one the user asked.
    if (m_sessionPatch) {
        if (const auto failure = OpenSessionPatch(*m_sessionPatch)) m_frame.ShowStatus(*failure);
        return true;
    }
    if (m_work.OfferRecovery()) return true;

    // A patch named on the command line is opened once the device is open, so the answer to its
    // transmit question reaches the instrument, and the form shows the file the title names.
    if (fileToOpen && m_work.OpenDocumentFile(*fileToOpen)) return true;
    m_form->OpenDefaultPatch();
    return true;
}

void CQuarnEditApp::OnEnvelopes() { SetEnvelopesOpen(!m_envelopesOpen); }

void CQuarnEditApp::EnvelopesClosed() {
    if (!m_envelopesOpen) return;
    m_envelopesOpen = false;
    m_services.profile.WriteProfileInt(kProfileSection, kProfileEnvelopesKey, 0);
    m_frame.CommandsChanged();
}

void CQuarnEditApp::SetEnvelopesOpen(bool open) {
    m_envelopesOpen = open;
    m_services.profile.WriteProfileInt(kProfileSection, kProfileEnvelopesKey, open ? 1 : 0);
    if (FrameView* frame = m_frame.Get()) open ? frame->ShowEnvelopes() : frame->CloseEnvelopes();
    m_frame.CommandsChanged();
}

void CQuarnEditApp::RestoreEnvelopes() {
    // Only a 1 opens it: whatever else the profile holds there (a hand-edited or damaged entry) leaves it shut.
    const bool open = m_services.profile.GetProfileInt(kProfileSection, kProfileEnvelopesKey, 0) == 1;
    if (open == m_envelopesOpen) return;
    m_envelopesOpen = open;
    if (FrameView* frame = m_frame.Get()) open ? frame->ShowEnvelopes() : frame->CloseEnvelopes();
    m_frame.CommandsChanged();
}

void CQuarnEditApp::PatchEdited() {
    m_work.PatchEdited();
    m_frame.CommandsChanged();
}

void CQuarnEditApp::EditRefused() {
    if (m_sound.IsMorphing()) return m_frame.ShowStatus("The morph is shown: Keep or Cancel it in the Morph window.");
    if (m_sound.HasVariations())
        return m_frame.ShowStatus("A variation is shown: Keep or Close it in the Variations window.");
    m_frame.ShowStatus("The original is shown: press F2 to return to your edit.");
}

std::string CQuarnEditApp::ShownInsteadOfTheEdit() const {
    // In the order EditRefused asks, so that the monitor and the status line name the same thing.
    if (m_sound.IsMorphing()) return "the morph is shown";
    if (m_sound.HasVariations()) return "a variation is shown";
    return "the original is shown";
}

bool CQuarnEditApp::QueryEndSession() {
    m_sound.EndCompare();
    // The save question saves the patch; a Cancel leaves the morph or the variations where they were.
    const SoundDesign::Aside aside(m_sound);
    if (!m_work.AskBeforeEnd()) return false;
    m_sound.EndSessions();
    return true;
}

void CQuarnEditApp::SessionEnded() {
    if (!m_work.EndAgreed()) return;
    m_sound.StopTestNote();
    m_work.Discard();
}

bool CQuarnEditApp::CanCloseFrame() {
    if (!QueryEndSession()) return false;
    SessionEnded();
    m_inputs.Close();
    m_devices.CloseForExit();
    return true;
}

std::optional<std::string> CQuarnEditApp::CheckSessionPatch(const std::string& path) const {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return std::nullopt;  // a new session: the default patch
    std::vector<std::uint8_t> bytes;
    PatchFileError problem = ReadPatchFileBytes(path, bytes);
    if (problem == PatchFileError::None) problem = DecodePatchFile(bytes, CMainDlg::GetPatchVersion()).error;
    if (problem != PatchFileError::None) return path + ": " + PatchFileMessage(problem);
    return std::nullopt;
}

std::optional<std::string> CQuarnEditApp::OpenSessionPatch(const std::string& path) {
    // Checked before the form changes, so that a damaged file leaves the patch there is, and no dialog.
    if (auto failure = CheckSessionPatch(path)) return failure;
    m_sound.EndCompare();
    m_sound.EndSessions();
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    {
        // Sent as it loads, as to a device that came back: nobody is there to be asked.
        const ScopedFlag skipQuestion(skipTransmitQuestion);
        if (exists) {
            if (!m_document->OnOpenDocument(path)) return path + ": the patch could not be read";
        } else {
            m_form->OpenDefaultPatch();
        }
    }
    m_document->SetPathName(path);
    m_document->SetModifiedFlag(false);
    return std::nullopt;
}

void CQuarnEditApp::CloseDevices() {
    m_sound.StopTestNote();
    m_inputs.Close();
    m_devices.CloseForExit(false);
}

std::optional<std::string> CQuarnEditApp::SaveSessionPatch(const std::string& path) {
    std::string failure;
    if (m_document->OnSaveDocument(path, &failure)) return std::nullopt;
    return path + ": " + failure;
}

void CQuarnEditApp::ReloadSettings() {
    m_controllers.Load();
    RestoreEnvelopes();
    m_inputs.Close();
    m_devices.OpenStartupDevice();
    m_inputs.OpenStartupDevice();
}

void CQuarnEditApp::EndWithoutQuestions() {
    m_sound.EndCompare();
    m_sound.EndSessions();
    m_sound.StopTestNote();
    if (m_document->IsModified()) {
        m_work.KeepUnsavedChanges();
    } else {
        m_work.Discard();
    }
    m_inputs.Close();
    m_devices.CloseForExit(false);
}

void CQuarnEditApp::TitleChanged() {
    m_frame.Tell([this](FrameView& frame) { frame.TitleChanged(m_document->GetTitle()); });
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
        m_sound.EndCompare();
        const SoundDesign::Aside aside(m_sound);
        m_work.OnOpenRecentFile(id - cmd::FirstRecentFile);
        return true;
    }
    const CommandRow* row = FindCommand(id);
    if (row == nullptr || !IsCommandEnabled(id)) return false;
    // A command on the patch works on the edit: the original goes away first.
    if (!row->whileComparing) m_sound.EndCompare();
    // A command on the patch works on the patch: an open morph and open variations step aside for it, and end
    // unless it was cancelled. The two windows' own commands raise them instead.
    std::optional<SoundDesign::Aside> aside;
    if (!row->whileComparing && id != cmd::EditMorph && id != cmd::EditVariations) aside.emplace(m_sound);
    row->run(*this);
    return true;
}

bool CQuarnEditApp::IsCommandEnabled(int id) const {
    const CommandRow* row = FindCommand(id);
    return row != nullptr && (row->enabled == nullptr || row->enabled(*this));
}

void CQuarnEditApp::OnMidiMonitor() {
    if (!m_monitor) {
        m_monitor = std::make_unique<MidiMonitor>(*m_form);
        MidiPortSink& sink = CreatePortSink();
        sink.SetTap(m_monitor.get());
        m_monitor->SetRefresh([&sink] { sink.ReportDepartures(); });
        m_inputs.SetMonitor(m_monitor.get());
        m_frame.SetNoticeLog([monitor = m_monitor.get()](const std::string& text) { monitor->Notice(text); });
    }
    m_frame.Tell([this](FrameView& frame) { frame.ShowMidiMonitor(*m_monitor); });
}

void CQuarnEditApp::MidiMonitorClosed() {
    if (m_portSink) m_portSink->SetTap(nullptr);
    m_inputs.SetMonitor(nullptr);
    m_frame.SetNoticeLog(nullptr);
    m_monitor.reset();
}

void CQuarnEditApp::OnPatchLibrary() {
    m_frame.Tell([this](FrameView& frame) { frame.ShowLibrary(*m_library); });
}
