#pragma once

#include "editor/ports/FormDocument.h"

#include <functional>
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
    bool OnSaveDocument(const std::string& path);

    // The framework's part: the document's path and title ("Untitled" without a path).
    const std::string& GetPathName() const { return m_pathName; }
    std::string GetTitle() const;
    void SetPathName(const std::string& path);
    void ClearPathName() { SetPathName({}); }
    // Told whenever the title changes, at once, as a window caption follows its document.
    void SetTitleChangedHandler(std::function<void()> handler) { m_titleChanged = std::move(handler); }

private:
    CMainDlg& m_form;
    UserDialogs& m_dialogs;
    std::string m_pathName;
    std::function<void()> m_titleChanged;
};
