#pragma once

#include "editor/ports/UserDialogs.h"

#include <QString>
#include <QStringList>

class QWidget;

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
    std::optional<std::string> RunCommentDialog(const std::string& text) override;

    // A request's filters as file dialog filters: "Name (*.ext)", the pattern added when the name lacks it.
    static QStringList NameFilters(const std::vector<FileFilter>& filters);

private:
    QWidget* Owner(MessageOwner owner) const;
    std::optional<std::string> AskFileName(const FileDialogRequest& request, bool save);

    QWidget* m_mainWindow = nullptr;
    QWidget* m_form = nullptr;
};
