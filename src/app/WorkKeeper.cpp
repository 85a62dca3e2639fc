// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the user's work: the save question, the unsaved-changes file, the recent files, where files go.
#include "app/WorkKeeper.h"

#include "app/AppInfo.h"
#include "app/CQuarnEditDoc.h"
#include "app/FrameSlot.h"
#include "app/ports/Clock.h"
#include "app/ports/Profile.h"
#include "app/ports/RecoveryStore.h"
#include "editor/CMainDlg.h"
#include "editor/ports/UserDialogs.h"
#include "patch/PatchFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

const std::vector<FileFilter> kPatchFilters{{"Quarn Patch (*.qnp)", "*.qnp"}, {"All Files (*.*)", "*.*"}};

std::string AbsolutePath(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) return path;
    const fs::path canonical = fs::weakly_canonical(absolute, ec);
    return (ec ? absolute : canonical).string();
}

}  // namespace

WorkKeeper::WorkKeeper(CQuarnEditDoc& document, CMainDlg& form, Profile& profile, RecoveryStore& recovery, Clock& clock,
                       UserDialogs& dialogs, const FrameSlot& frame)
    : m_document(document),
      m_form(form),
      m_profile(profile),
      m_recovery(recovery),
      m_dialogs(dialogs),
      m_frame(frame),
      m_recoveryTimer(clock.CreateTimer([this] { SaveRecovery(); })) {}

WorkKeeper::~WorkKeeper() = default;

void WorkKeeper::LoadRecentFiles() {
    // A relative entry would open whatever file of that name the next start's folder holds.
    std::vector<std::string> recent;
    for (const std::string& path : m_profile.RecentFiles()) {
        const std::string absolute = AbsolutePath(path);
        if (std::find(recent.begin(), recent.end(), absolute) == recent.end()) recent.push_back(absolute);
    }
    if (recent.size() > static_cast<std::size_t>(kRecentFileCount)) recent.resize(kRecentFileCount);
    m_recentFiles = std::move(recent);
}

bool WorkKeeper::OfferRecovery() {
    while (std::optional<RecoveryStore::Abandoned> file = m_recovery.TakeAbandoned()) {
        const std::string title = file->documentPath.empty()
                                      ? std::string("Untitled")
                                      : std::filesystem::path(file->documentPath).filename().string();
        const MessageAnswer answer =
            m_dialogs.ShowMessage({"QuarnEdit was not closed properly. Restore the unsaved changes to " + title + "?",
                                   kAppTitle, MessageButtons::YesNo, MessageIcon::Warning, MessageOwner::MainWindow});
        if (answer != MessageAnswer::Yes) {
            m_recovery.Remove(*file);
            continue;
        }
        // The document takes its old path first, so the transmit question names the right patch.
        m_document.SetPathName(file->documentPath);
        if (!m_document.OnOpenDocument(file->patchFile)) {
            m_document.ClearPathName();
            m_recovery.Remove(*file);
            continue;
        }
        m_document.SetModifiedFlag(true);
        // The old file goes only once this instance keeps the work itself (a full disk may refuse that), or
        // the user saved it or let it go: no moment is without a copy.
        m_restoredFrom = *file;
        SaveRecovery();
        return true;
    }
    return false;
}

void WorkKeeper::SaveRecovery() {
    m_recoveryTimer->Stop();
    if (!m_document.IsModified()) return;
    // The edit, also while Compare shows the original.
    const PatchRecord edit = m_edit ? m_edit() : m_form.CaptureRecord();
    const std::vector<std::uint8_t> bytes = EncodePatchFile(
        CMainDlg::GetPatchVersion(), [&edit](std::span<std::uint8_t> record) { EncodePatchRecord(edit, record); });
    if (m_recovery.Save(bytes, m_document.GetPathName())) ForgetRestoredFile();
}

void WorkKeeper::ForgetRestoredFile() {
    if (!m_restoredFrom) return;
    m_recovery.Remove(*m_restoredFrom);
    m_restoredFrom.reset();
}

void WorkKeeper::PatchEdited() {
    m_endAgreed = false;
    m_document.SetModifiedFlag(true);
    // Written soon after the first edit, not after the last one, so a long session of edits is never at risk.
    if (!m_recoveryTimer->IsActive()) m_recoveryTimer->Start(kRecoveryDelay);
}

void WorkKeeper::ModifiedChanged() {
    m_frame.Tell([this](FrameView& frame) { frame.ModifiedChanged(m_document.IsModified()); });
    if (!m_document.IsModified()) Discard();
}

void WorkKeeper::PathChanged() {
    if (m_document.IsModified()) SaveRecovery();
}

void WorkKeeper::Discard() {
    m_recoveryTimer->Stop();
    m_recovery.Discard();
    ForgetRestoredFile();
}

void WorkKeeper::KeepUnsavedChanges() {
    m_endAgreed = false;
    SaveRecovery();
}

bool WorkKeeper::AskBeforeEnd() {
    m_endAgreed = SaveModified();
    return m_endAgreed;
}

bool WorkKeeper::SaveModified() {
    if (!m_document.IsModified()) return true;
    const MessageAnswer answer =
        m_dialogs.ShowMessage({"Save changes to " + m_document.GetTitle() + "?", kAppTitle, MessageButtons::YesNoCancel,
                               MessageIcon::Warning, MessageOwner::MainWindow});
    switch (answer) {
        case MessageAnswer::Yes: return OnFileSave();
        // The command may still not replace the patch (a cancelled or failed open): the unsaved changes stay
        // kept until it does, or the program ends cleanly.
        case MessageAnswer::No: return true;
        default: return false;
    }
}

std::string WorkKeeper::SaveAsInitialPath() const {
    const std::filesystem::path path(m_document.GetPathName());
    const std::string name = m_document.GetTitle();
    const std::string file = name.ends_with(".qnp") ? name : name + ".qnp";
    return path.has_parent_path() ? (path.parent_path() / file).string() : file;
}

void WorkKeeper::SetRecentFiles(std::vector<std::string> paths) {
    // One file, one entry: paths made absolute, the first of the same file kept.
    std::vector<std::string> unique;
    for (const std::string& path : paths)
        if (std::find(unique.begin(), unique.end(), path) == unique.end()) unique.push_back(path);
    m_recentFiles = std::move(unique);
    m_profile.WriteRecentFiles(m_recentFiles);
    m_frame.Tell([this](FrameView& frame) { frame.RecentFilesChanged(m_recentFiles); });
}

void WorkKeeper::AddToRecentFiles(const std::string& path) {
    std::vector<std::string> paths = m_recentFiles;
    std::erase(paths, path);
    paths.insert(paths.begin(), path);
    if (paths.size() > static_cast<std::size_t>(kRecentFileCount)) paths.resize(kRecentFileCount);
    SetRecentFiles(std::move(paths));
}

bool WorkKeeper::OpenDocumentFile(const std::string& name) {
    const std::string path = AbsolutePath(name);
    if (!m_document.OnOpenDocument(path)) return false;
    m_document.SetPathName(path);
    AddToRecentFiles(path);
    return true;
}

void WorkKeeper::OnFileNew() {
    if (!SaveModified()) return;
    m_document.OnNewDocument();
}

void WorkKeeper::OnFileOpen() {
    if (!SaveModified()) return;
    if (auto path = m_dialogs.AskOpenFileName({"qnp", kPatchFilters, false, {}})) OpenDocumentFile(*path);
}

bool WorkKeeper::OnFileSave() {
    if (m_document.GetPathName().empty()) return OnFileSaveAs();
    const std::string path = m_document.GetPathName();
    if (!m_document.OnSaveDocument(path)) return false;
    AddToRecentFiles(path);
    return true;
}

bool WorkKeeper::OnFileSaveAs() {
    auto chosen = m_dialogs.AskSaveFileName({"qnp", kPatchFilters, true, SaveAsInitialPath()});
    if (!chosen) return false;
    const std::string path = AbsolutePath(*chosen);
    if (!m_document.OnSaveDocument(path)) return false;
    m_document.SetPathName(path);
    AddToRecentFiles(path);
    return true;
}

void WorkKeeper::OnOpenRecentFile(int index) {
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
