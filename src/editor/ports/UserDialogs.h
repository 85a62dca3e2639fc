#pragma once

#include <optional>
#include <string>
#include <vector>

// How the program talks to the user. The real implementation shows modal dialogs; tests script the answers.
enum class MessageButtons { Ok, YesNo, YesNoCancel };
enum class MessageIcon { None, Information, Warning };
enum class MessageAnswer { Ok, Yes, No, Cancel };
enum class MessageOwner { None, MainWindow, Form };

struct MessageRequest {
    std::string text;
    std::string caption;  // empty: the platform's default caption
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    MessageOwner owner = MessageOwner::None;
};

struct FileFilter {
    std::string name;     // "Standard MIDI files (*.mid)"
    std::string pattern;  // "*.mid"
};

struct FileDialogRequest {
    std::string defaultExtension;  // without the dot
    std::vector<FileFilter> filters;
    bool confirmOverwrite = true;
    // Where the dialog starts: a folder, or a folder and a file name; empty: the platform's choice.
    std::string initialPath;
};

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    virtual MessageAnswer ShowMessage(const MessageRequest& request) = 0;
    // The chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> AskSaveFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> AskOpenFileName(const FileDialogRequest& request) = 0;
    virtual void ShowAbout() = 0;
    // The MIDI Options dialog: the device names in index order, `current` preselected (nothing when it lies
    // beyond the list). The chosen index on OK (`current` when nothing is selected), nothing on Cancel.
    virtual std::optional<int> RunDeviceDialog(const std::vector<std::string>& names, int current) = 0;
    // The Comment dialog, opened on `text`: the edited text on OK, nothing on Cancel.
    virtual std::optional<std::string> RunCommentDialog(const std::string& text) = 0;
};
