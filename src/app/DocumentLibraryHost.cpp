// SPDX-License-Identifier: GPL-3.0-or-later
// The program's side of the patch library: audition through a form of its own, open, restore, Save to Library.
#include "app/DocumentLibraryHost.h"

#include "app/AppInfo.h"
#include "app/FrameSlot.h"
#include "app/LibraryCompare.h"
#include "editor/CMainDlg.h"
#include "editor/ports/FormHost.h"
#include "editor/ports/UserDialogs.h"
#include "library/LibraryImport.h"
#include "library/ReadCatalogEntry.h"
#include "midi/MidiSink.h"
#include "patch/PatchFile.h"
#include "patch/PatchRecord.h"

#include <vector>

// The auditioning form's host: it sends where the application sends now (so the application's mute and its
// null sink apply), and keeps a mute of its own for filling the form, which leaves the application's alone.
class DocumentLibraryHost::AuditionFormHost : public FormHost {
public:
    explicit AuditionFormHost(FormHost& app) : m_app(app) {}
    MidiSink* GetActiveSink() override { return m_muted ? &m_null : m_app.GetActiveSink(); }
    void SetMute(bool muted) override { m_muted = muted; }
    UserDialogs& Dialogs() override { return m_app.Dialogs(); }

private:
    FormHost& m_app;
    NullSink m_null;
    bool m_muted = false;
};

// The comparing form's host: it never sends anything.
class DocumentLibraryHost::SilentFormHost : public FormHost {
public:
    explicit SilentFormHost(FormHost& app) : m_app(app) {}
    MidiSink* GetActiveSink() override { return &m_null; }
    void SetMute(bool) override {}
    UserDialogs& Dialogs() override { return m_app.Dialogs(); }

private:
    FormHost& m_app;
    NullSink m_null;
};

DocumentLibraryHost::DocumentLibraryHost(FormHost& host, CMainDlg& form, const FrameSlot& frame,
                                         std::function<bool(const std::string&)> open)
    : m_host(host), m_form(form), m_frame(frame), m_open(std::move(open)) {}

DocumentLibraryHost::~DocumentLibraryHost() = default;

void DocumentLibraryHost::AuditionPatch(const std::string& path) {
    // Read and checked as the document reads a file, before anything is sent.
    std::vector<std::uint8_t> bytes;
    if (ReadPatchFileBytes(path, bytes) != PatchFileError::None) return;
    const DecodedPatchFile file = DecodePatchFile(bytes, CMainDlg::GetPatchVersion());
    if (file.error != PatchFileError::None) return;
    if (!m_auditionForm) {
        m_auditionHost = std::make_unique<AuditionFormHost>(m_host);
        m_auditionForm = std::make_unique<CMainDlg>(*m_auditionHost);
    }
    m_auditionForm->FillFromRecord(DecodePatchRecord(file.record));
    m_auditionForm->TransmitAll(false, CMainDlg::Superseded::ByNext);
}

bool DocumentLibraryHost::OpenPatch(const std::string& path) { return m_open(path); }

void DocumentLibraryHost::RestoreDocumentPatch() { m_form.SendWhatDiffers(); }

std::optional<PatchParams> DocumentLibraryHost::CurrentParams() {
    CMainDlg& form = m_form;
    const std::vector<std::uint8_t> bytes = EncodePatchFile(
        CMainDlg::GetPatchVersion(), [&form](std::span<std::uint8_t> record) { form.WritePatchBody(record); });
    return ParamsOfRecord(std::span<const std::uint8_t>(bytes).subspan(kPatchHeaderSize));
}

std::vector<std::string> DocumentLibraryHost::Differences(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (ReadPatchFileBytes(path, bytes) != PatchFileError::None) return {};
    const DecodedPatchFile file = DecodePatchFile(bytes, CMainDlg::GetPatchVersion());
    if (file.error != PatchFileError::None) return {};
    if (!m_compareForm) {
        m_compareHost = std::make_unique<SilentFormHost>(m_host);
        m_compareForm = std::make_unique<CMainDlg>(*m_compareHost);
    }
    m_compareForm->FillFromRecord(DecodePatchRecord(file.record));
    std::vector<std::string> lines;
    for (const ParameterDifference& d : FormDifferences(m_form.form(), m_compareForm->form()))
        lines.push_back(DifferenceLine(d));
    return lines;
}

std::string DocumentLibraryHost::SaveToLibrary() {
    const auto tell = [this](const std::string& text) {
        m_host.Dialogs().ShowMessage(
            {text, kAppTitle, MessageButtons::Ok, MessageIcon::Warning, MessageOwner::MainWindow});
    };
    if (m_userFolder.empty()) {
        tell(
            "The patch could not be saved to the library: there is no patch folder (neither XDG_DATA_HOME nor HOME "
            "is set).");
        return {};
    }
    // The bytes the document's save writes, made the same way.
    CMainDlg& form = m_form;
    const std::vector<std::uint8_t> bytes = EncodePatchFile(
        CMainDlg::GetPatchVersion(), [&form](std::span<std::uint8_t> record) { form.WritePatchBody(record); });
    const NewFileResult written = WriteNewLibraryFile(m_userFolder, SafeFileStem(form.m_patchName), bytes);
    if (written.result != FileWriteResult::Ok) {
        tell("The patch could not be saved to the library folder " + m_userFolder + ": " +
             FileWriteMessage(written.result) + ".");
        return {};
    }
    m_frame.ShowStatus("Saved to the library as " + written.path);
    return written.path;
}
