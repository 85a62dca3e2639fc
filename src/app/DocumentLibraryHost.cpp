#include "app/DocumentLibraryHost.h"

#include "app/CQuarnEditApp.h"
#include "app/ports/FrameView.h"
#include "editor/CMainDlg.h"
#include "editor/ports/FormHost.h"
#include "editor/ports/UserDialogs.h"
#include "library/LibraryImport.h"
#include "midi/MidiSink.h"
#include "patch/PatchFile.h"
#include "patch/PatchRecord.h"

#include <vector>

// The auditioning form's host: it sends where the application sends now (so the application's mute and its
// null sink apply), and keeps a mute of its own for filling the form, which leaves the application's alone.
class DocumentLibraryHost::AuditionFormHost : public FormHost {
public:
    explicit AuditionFormHost(CQuarnEditApp& app) : m_app(app) {}
    MidiSink* GetActiveSink() override { return m_muted ? &m_null : m_app.GetActiveSink(); }
    void SetMute(bool muted) override { m_muted = muted; }
    UserDialogs& Dialogs() override { return m_app.Dialogs(); }

private:
    CQuarnEditApp& m_app;
    NullSink m_null;
    bool m_muted = false;
};

DocumentLibraryHost::DocumentLibraryHost(CQuarnEditApp& app) : m_app(app) {}

DocumentLibraryHost::~DocumentLibraryHost() = default;

void DocumentLibraryHost::AuditionPatch(const std::string& path) {
    // Read and checked as the document reads a file, before anything is sent.
    std::vector<std::uint8_t> bytes;
    if (ReadPatchFileBytes(path, bytes) != PatchFileError::None) return;
    const DecodedPatchFile file = DecodePatchFile(bytes, CMainDlg::GetPatchVersion());
    if (file.error != PatchFileError::None) return;
    if (!m_auditionForm) {
        m_auditionHost = std::make_unique<AuditionFormHost>(m_app);
        m_auditionForm = std::make_unique<CMainDlg>(*m_auditionHost);
    }
    m_auditionForm->FillFromRecord(DecodePatchRecord(file.record));
    m_auditionForm->TransmitAll(false, CMainDlg::Superseded::ByNext);
}

bool DocumentLibraryHost::OpenPatch(const std::string& path) {
    // A command on the document works on the edit, never on the original that Compare shows.
    if (m_app.IsComparing()) m_app.OnEditCompare();
    if (!m_app.SaveModified()) return false;
    return m_app.OpenDocumentFile(path);
}

void DocumentLibraryHost::RestoreDocumentPatch() { m_app.form().TransmitAll(false, CMainDlg::Superseded::ByNext); }

std::string DocumentLibraryHost::SaveToLibrary() {
    const auto tell = [this](const std::string& text) {
        m_app.Dialogs().ShowMessage(
            {text, kAppTitle, MessageButtons::Ok, MessageIcon::Warning, MessageOwner::MainWindow});
    };
    if (m_userFolder.empty()) {
        tell(
            "The patch could not be saved to the library: there is no patch folder (neither XDG_DATA_HOME nor HOME "
            "is set).");
        return {};
    }
    // The bytes the document's save writes, made the same way.
    CMainDlg& form = m_app.form();
    const std::vector<std::uint8_t> bytes = EncodePatchFile(
        CMainDlg::GetPatchVersion(), [&form](std::span<std::uint8_t> record) { form.WritePatchBody(record); });
    const NewFileResult written = WriteNewLibraryFile(m_userFolder, SafeFileStem(form.m_patchName), bytes);
    if (written.result != FileWriteResult::Ok) {
        tell("The patch could not be saved to the library folder " + m_userFolder + ": " +
             FileWriteMessage(written.result) + ".");
        return {};
    }
    if (FrameView* frame = m_app.Frame()) frame->ShowStatus("Saved to the library as " + written.path);
    return written.path;
}
