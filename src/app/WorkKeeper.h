// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Keeping the user's work: the save question, the unsaved-changes file, the recent files, where files go.

#include "app/ports/RecoveryStore.h"
#include "patch/PatchRecord.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CMainDlg;
class Clock;
class CQuarnEditDoc;
class FrameSlot;
class Profile;
class RecoveryStore;
class Timer;
class UserDialogs;

// How soon after an edit the unsaved patch is written where a crash cannot take it.
constexpr std::chrono::milliseconds kRecoveryDelay{1000};

// Keeps the user's work: the save question before a patch is replaced, the unsaved-changes file a crash
// leaves behind and the restore at the next start, the recent-file list, and where files go (absolute paths,
// Save As's proposal).
class WorkKeeper {
public:
    WorkKeeper(CQuarnEditDoc& document, CMainDlg& form, Profile& profile, RecoveryStore& recovery, Clock& clock,
               UserDialogs& dialogs, const FrameSlot& frame);
    ~WorkKeeper();
    WorkKeeper(const WorkKeeper&) = delete;
    WorkKeeper& operator=(const WorkKeeper&) = delete;

    // Start-up: the recent files from the profile, each once and absolute.
    void LoadRecentFiles();
    // Start-up: offers what a program that was not closed properly left; true when a patch was restored.
    bool OfferRecovery();
    // The user changed the patch: it is modified, and written soon where a crash cannot take it.
    void PatchEdited();
    // The document's modified flag changed.
    void ModifiedChanged();
    // The document's path changed: unsaved changes are kept under the new one at once, so that a restore
    // never puts them back under a file the document no longer names (a plain Save would write over it).
    void PathChanged();
    // Before the patch is replaced or the program ends: offers to save a modified patch. False when the user
    // cancels, or the save failed or was cancelled; then the command that asked stops.
    bool SaveModified();
    // A clean end: the unsaved-changes file goes.
    void Discard();
    // The desktop session ends without room for questions: the unsaved patch is kept for the next start.
    void KeepUnsavedChanges();
    // The program is to end: the save question. True when the user let it end; that holds until the next edit.
    bool AskBeforeEnd();
    bool EndAgreed() const { return m_endAgreed; }
    // Where the edit comes from, which may not be what the form shows (Compare); the form's patch without it.
    void SetEditSource(std::function<PatchRecord()> edit) { m_edit = std::move(edit); }

    // Menu commands.
    void OnFileNew();
    void OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnOpenRecentFile(int index);
    // Opens a patch as File > Open does after its dialog: on success the document takes its path and title
    // and the file heads the recent-file list.
    bool OpenDocumentFile(const std::string& path);
    const std::vector<std::string>& RecentFiles() const { return m_recentFiles; }

private:
    void SaveRecovery();
    // The file a restore came from goes, now that the work is safe without it.
    void ForgetRestoredFile();
    std::string SaveAsInitialPath() const;
    void SetRecentFiles(std::vector<std::string> paths);
    void AddToRecentFiles(const std::string& path);

    CQuarnEditDoc& m_document;
    CMainDlg& m_form;
    Profile& m_profile;
    RecoveryStore& m_recovery;
    UserDialogs& m_dialogs;
    const FrameSlot& m_frame;
    std::vector<std::string> m_recentFiles;
    std::unique_ptr<Timer> m_recoveryTimer;
    std::function<PatchRecord()> m_edit;
    std::optional<RecoveryStore::Abandoned> m_restoredFrom;  // kept until this instance has a copy of its own
    bool m_endAgreed = false;  // the user answered the questions of an end, and changed nothing since
};
