// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/Mutation.h"
#include "patch/PatchText.h"

#include <cstddef>
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

// The note the test-note commands play.
struct TestNoteSettings {
    int note = 60;       // 0..127, 60 is middle C
    int velocity = 100;  // 1..127
    bool operator==(const TestNoteSettings&) const = default;
};

// What the Mutate dialog asks for: a mutation of the settings' amount, or Randomize (the same at 100 %).
struct MutationRequest {
    MutationSettings settings;
    bool randomize = false;
};

// One controller binding as the Controllers dialog lists it.
struct ControllerRow {
    int controller = 0;  // 0-127
    int channel = 1;     // 1-16, as the user counts them
    std::string control;
    bool fine = false;  // a 14-bit pair: controller and controller + 32
    bool operator==(const ControllerRow&) const = default;
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
    // Devices came or went while the MIDI Options dialog may be open: it shows `names` instead, keeping the
    // user's selection by name; the index RunDeviceDialog returns is then one of `names`.
    virtual void DeviceListChanged(const std::vector<std::string>& /*names*/) {}
    // The input device dialog, as the output's: "None" first, then the devices. A platform without one
    // answers Cancel.
    virtual std::optional<int> RunInputDeviceDialog(const std::vector<std::string>& /*names*/, int /*current*/) {
        return std::nullopt;
    }
    virtual void InputDeviceListChanged(const std::vector<std::string>& /*names*/) {}
    // The Comment dialog, opened on `text`: the edited text on OK, nothing on Cancel. It takes no more than
    // `room` holds once stored (StoredCommentSize), and says how much is left.
    virtual std::optional<std::string> RunCommentDialog(const std::string& text, const TextRoom& room) = 0;
    // The test note's pitch and velocity: the new ones on OK, nothing on Cancel.
    virtual std::optional<TestNoteSettings> RunTestNoteDialog(const TestNoteSettings& current) = 0;
    // The Mutate dialog: what to do, or nothing on Cancel.
    virtual std::optional<MutationRequest> RunMutateDialog(const MutationSettings& current) = 0;
    // The Controllers dialog: the rows the user removed (indexes into `rows`) on OK, nothing on Cancel.
    virtual std::optional<std::vector<std::size_t>> RunControllersDialog(const std::vector<ControllerRow>& /*rows*/) {
        return std::nullopt;
    }
};
