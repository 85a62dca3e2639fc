#include "app/CQuarnEditDoc.h"

#include "app/UserDialogs.h"
#include "util/WholeFile.h"
#include "editor/CMainDlg.h"
#include "patch/PatchFile.h"

#include <filesystem>
#include <vector>

static_assert(CMainDlg::GetPatchBodySize() == static_cast<std::int32_t>(kRecordSize));

namespace {

void Report(UserDialogs& dialogs, const char* text) {
    dialogs.ShowMessage({text, "", MessageButtons::Ok, MessageIcon::None, MessageOwner::None});
}

}  // namespace

bool CQuarnEditDoc::OnNewDocument() {
    ClearPathName();
    if (g_mainDlg != nullptr) g_mainDlg->OpenDefaultPatch();
    return true;
}

std::string CQuarnEditDoc::GetTitle() const {
    const std::string name = std::filesystem::path(m_pathName).filename().string();
    return name.empty() ? std::string("Untitled") : name;
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
    if (error == PatchFileError::None) return true;
    bytes = {};
    Report(m_dialogs, PatchFileMessage(error));
    return false;
}

bool CQuarnEditDoc::OnSaveDocument(const std::string& path) {
    FileWriteResult result;
    {
        WholeFileWriter file;
        result = file.Open(path);
        if (result == FileWriteResult::Ok) {
            std::vector<std::uint8_t> bytes(kPatchFileSize);
            WritePatchFileHeader(bytes, CMainDlg::GetPatchVersion());
            m_form.WritePatchBody(std::span(bytes).subspan(kPatchHeaderSize, kRecordSize));
            result = file.Commit(bytes);
        }
    }
    if (result == FileWriteResult::Ok) return true;
    Report(m_dialogs, FileWriteMessage(result));
    return false;
}
