// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/BatchCommands.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "editor/CMainDlg.h"
#include "midi/MidiSink.h"

#include <ostream>

MessageAnswer ConsoleDialogs::ShowMessage(const MessageRequest& request) {
    if (request.buttons == MessageButtons::YesNo) return m_questionAnswer;
    m_failed = true;
    m_err << request.text << '\n';
    return MessageAnswer::Ok;
}

std::optional<std::string> ConsoleDialogs::AskSaveFileName(const FileDialogRequest&) {
    if (m_savePath.empty()) return std::nullopt;
    return m_savePath;
}

// The export answers the load's transmit question No: it touches no MIDI device.
ConsoleDialogs ExportMidiFileDialogs(std::ostream& err, const std::string& midiPath) {
    return ConsoleDialogs(err, MessageAnswer::No, midiPath);
}

// The load ends with the transmission: its question is answered Yes.
ConsoleDialogs TransmitDialogs(std::ostream& err) { return ConsoleDialogs(err, MessageAnswer::Yes); }

int ExportMidiFileCommand(CQuarnEditApp& app, const ConsoleDialogs& dialogs, const std::string& patchPath) {
    app.CreatePortSink();
    app.form().OnInitialUpdate();
    if (!app.document().OnOpenDocument(patchPath)) return 1;
    app.form().OnExportMidiFile();
    return dialogs.failed() ? 1 : 0;
}

int TransmitCommand(CQuarnEditApp& app, const std::string& patchPath, int device, std::ostream& err) {
    MidiPortSink& port = app.CreatePortSink();
    if (!port.OpenDevice(device)) {
        err << app.Devices().DeviceName(device) << " could not be opened\n";
        return 2;
    }
    app.m_midiOutDevice = device;
    app.form().OnInitialUpdate();
    if (!app.document().OnOpenDocument(patchPath)) return 1;
    // Closing waits for the device to take what is queued; whatever it could not take is reported, so a
    // script never believes a half-sent patch arrived.
    const std::size_t sent = port.SentSinceOpen();
    const std::size_t lost = port.CloseDevice();
    if (lost == 0) return 0;
    err << UndeliveredText(lost, sent) << '\n';
    return 3;
}
