// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CQuarnEditDoc.h"

#include "editor/CMainDlg.h"
#include "editor/ports/UserDialogs.h"
#include "patch/PatchFile.h"
#include "util/WholeFile.h"

#include <filesystem>
#include <utility>
#include <vector>

namespace {

void Report(UserDialogs& dialogs, const char* text) {
    dialogs.ShowMessage({text, "", MessageButtons::Ok, MessageIcon::None, MessageOwner::None});
}

}  // namespace

bool CQuarnEditDoc::OnNewDocument() {
    ++m_loads;
    ClearPathName();
    m_form.OpenDefaultPatch();
    return true;
}

std::string CQuarnEditDoc::GetTitle() const {
    const std::string name = std::filesystem::path(m_pathName).filename().string();
    return name.empty() ? std::string("Untitled") : name;
}

void CQuarnEditDoc::SetPathName(const std::string& path) {
    m_pathName = path;
    if (m_titleChanged) m_titleChanged();
}

void CQuarnEditDoc::SetModifiedFlag(bool modified) {
    if (m_modified == modified) return;
    m_modified = modified;
    if (m_modifiedChanged) m_modifiedChanged();
}

bool CQuarnEditDoc::OnOpenDocument(const std::string& path) {
    // The file is read and closed, and every check made, before the form changes at all.
    std::vector<std::uint8_t> bytes;
    PatchFileError error = ReadPatchFileBytes(path, bytes);
    DecodedPatchFile file;
    if (error == PatchFileError::None) {
        file = DecodePatchFile(bytes, CMainDlg::GetPatchVersion());
        error = file.error;
    }
    // The program's own version, not the file's: an older file is read with today's layout.
    if (error == PatchFileError::None && !m_form.ReadPatchBody(CMainDlg::GetPatchVersion(), file.record))
        error = PatchFileError::UnknownLayout;
    if (error == PatchFileError::None) {
        ++m_loads;
        m_original = m_form.CaptureRecord();
        SetModifiedFlag(false);
        return true;
    }
    bytes = {};
    Report(m_dialogs, PatchFileMessage(error));
    return false;
}

bool CQuarnEditDoc::OnSaveDocument(const std::string& path, std::string* failure) {
    // The original is what the file holds, so Compare never shows more than a save kept.
    PatchRecord written;
    const FileWriteResult result =
        WritePatchFile(path, CMainDlg::GetPatchVersion(), [this, &written](std::span<std::uint8_t> record) {
            m_form.WritePatchBody(record);
            written = DecodePatchRecord(record);
        });
    if (result == FileWriteResult::Ok) {
        m_original = std::move(written);
        SetModifiedFlag(false);
        return true;
    }
    if (failure != nullptr) {
        *failure = FileWriteMessage(result);
    } else {
        Report(m_dialogs, FileWriteMessage(result));
    }
    return false;
}
