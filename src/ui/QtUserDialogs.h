// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ports/UserDialogs.h"

#include <QFileDialog>
#include <QString>
#include <QStringList>

class CMidiOptionsDlg;
class QWidget;

// The file dialog of the program: a name to save in a folder that does not exist is refused in the dialog.
class SaveFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    void accept() override;
};

// The program's dialogs and message boxes, modal, on top of the window that owns them.
class QtUserDialogs : public UserDialogs {
public:
    void SetMainWindow(QWidget* window) { m_mainWindow = window; }
    void SetForm(QWidget* form) { m_form = form; }

    MessageAnswer ShowMessage(const MessageRequest& request) override;
    std::optional<std::string> AskSaveFileName(const FileDialogRequest& request) override;
    std::optional<std::string> AskOpenFileName(const FileDialogRequest& request) override;
    void ShowAbout() override;
    std::optional<int> RunDeviceDialog(const std::vector<std::string>& names, int current) override;
    void DeviceListChanged(const std::vector<std::string>& names) override;
    std::optional<int> RunInputDeviceDialog(const std::vector<std::string>& names, int current) override;
    void InputDeviceListChanged(const std::vector<std::string>& names) override;
    std::optional<std::string> RunCommentDialog(const std::string& text, const TextRoom& room) override;
    std::optional<TestNoteSettings> RunTestNoteDialog(const TestNoteSettings& current) override;
    std::optional<MutationRequest> RunMutateDialog(const MutationSettings& current) override;
    std::optional<std::vector<std::size_t>> RunControllersDialog(const std::vector<ControllerRow>& rows) override;

    // A request's filters as file dialog filters: "Name (*.ext)", the pattern added when the name lacks it.
    static QStringList NameFilters(const std::vector<FileFilter>& filters);
    // What the user is told when a file's folder does not exist; empty when it does.
    static QString MissingFolderMessage(const QString& file);
    // The file dialog while it is open, for tests.
    SaveFileDialog* OpenFileDialog() const { return m_fileDialog; }

private:
    QWidget* Owner(MessageOwner owner) const;
    std::optional<std::string> AskFileName(const FileDialogRequest& request, bool save);

    QWidget* m_mainWindow = nullptr;
    QWidget* m_form = nullptr;
    SaveFileDialog* m_fileDialog = nullptr;
    CMidiOptionsDlg* m_deviceDialog = nullptr;  // while it is open
    CMidiOptionsDlg* m_inputDialog = nullptr;   // the input device's, while it is open
};
