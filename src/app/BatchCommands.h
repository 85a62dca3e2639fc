// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ports/UserDialogs.h"

#include <iosfwd>
#include <string>

class CQuarnEditApp;

// Dialogs for runs without a window: messages go to an error stream, questions get a fixed answer,
// the save dialog answers with a path given beforehand.
class ConsoleDialogs : public UserDialogs {
public:
    ConsoleDialogs(std::ostream& err, MessageAnswer questionAnswer, std::string savePath = {})
        : m_err(err), m_questionAnswer(questionAnswer), m_savePath(std::move(savePath)) {}

    MessageAnswer ShowMessage(const MessageRequest& request) override;
    std::optional<std::string> AskSaveFileName(const FileDialogRequest&) override;
    std::optional<std::string> AskOpenFileName(const FileDialogRequest&) override { return std::nullopt; }
    void ShowAbout() override {}
    std::optional<int> RunDeviceDialog(const std::vector<std::string>&, int) override { return std::nullopt; }
    std::optional<std::string> RunCommentDialog(const std::string&, const TextRoom&) override { return std::nullopt; }
    std::optional<TestNoteSettings> RunTestNoteDialog(const TestNoteSettings&) override { return std::nullopt; }
    std::optional<MutationRequest> RunMutateDialog(const MutationSettings&) override { return std::nullopt; }

    // Whether any message other than a question was shown: every such message reports a failure.
    bool failed() const { return m_failed; }

private:
    std::ostream& m_err;
    MessageAnswer m_questionAnswer;
    std::string m_savePath;
    bool m_failed = false;
};

// The dialogs each window-less command runs with.
ConsoleDialogs ExportMidiFileDialogs(std::ostream& err, const std::string& midiPath);
ConsoleDialogs TransmitDialogs(std::ostream& err);

// Writes the MIDI file that File > Export MIDI file writes after opening `patchPath`. `app` runs with
// ExportMidiFileDialogs. Exit code.
int ExportMidiFileCommand(CQuarnEditApp& app, const ConsoleDialogs& dialogs, const std::string& patchPath);

// Opens device `device`, loads `patchPath` and sends the whole patch with its pauses. `app` runs with
// TransmitDialogs. Exit code.
int TransmitCommand(CQuarnEditApp& app, const std::string& patchPath, int device, std::ostream& err);
