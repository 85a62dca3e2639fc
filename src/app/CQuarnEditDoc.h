// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ports/FormDocument.h"
#include "patch/PatchRecord.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class CMainDlg;
class UserDialogs;

// The one document. It holds no patch of its own: open and save move a patch between a file and the form.
class CQuarnEditDoc : public FormDocument {
public:
    CQuarnEditDoc(CMainDlg& form, UserDialogs& dialogs) : m_form(form), m_dialogs(dialogs) {}

    // A new document: untitled, then the default patch in the form.
    bool OnNewDocument();
    // Reads the patch file into the form; reports every failure to the user and returns false.
    bool OnOpenDocument(const std::string& path) override;
    // Writes the form's patch to the file; reports every failure to the user and returns false.
    // With `failure`, the reason goes there instead of to the user.
    bool OnSaveDocument(const std::string& path, std::string* failure = nullptr);
    bool SaveModified() override { return !m_saveModified || m_saveModified(); }
    void OnOpenedByForm(const std::string& path) override { SetPathName(path); }
    // Asks whether to save a modified patch, and saves it: the application's part.
    void SetSaveModifiedHandler(std::function<bool()> handler) { m_saveModified = std::move(handler); }

    // The framework's part: the document's path and title ("Untitled" without a path).
    const std::string& GetPathName() const { return m_pathName; }
    std::string GetTitle() const;
    void SetPathName(const std::string& path);
    void ClearPathName() { SetPathName({}); }
    // Told whenever the title changes, at once, as a window caption follows its document.
    void SetTitleChangedHandler(std::function<void()> handler) { m_titleChanged = std::move(handler); }

    // Whether the patch has changed since it was loaded or saved. A successful load or save clears it.
    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified);
    void SetModifiedChangedHandler(std::function<void()> handler) { m_modifiedChanged = std::move(handler); }

    // How many patches were loaded into the form through the document (opened, new), to tell whether a command
    // replaced the patch even by an equal one.
    std::uint64_t Loads() const { return m_loads; }

    // The patch as it was last loaded or saved; none before the first load.
    const std::optional<PatchRecord>& Original() const { return m_original; }

private:
    CMainDlg& m_form;
    UserDialogs& m_dialogs;
    std::string m_pathName;
    std::function<void()> m_titleChanged;
    bool m_modified = false;
    std::function<bool()> m_saveModified;
    std::optional<PatchRecord> m_original;
    std::function<void()> m_modifiedChanged;
    std::uint64_t m_loads = 0;
};
