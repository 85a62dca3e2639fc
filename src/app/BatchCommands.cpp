#include "app/BatchCommands.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "editor/CMainDlg.h"
#include "midi/MidiOutPorts.h"

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

namespace {

// Ports that have none: a window-less export touches no MIDI device.
class NoPorts : public MidiOutPorts {
public:
    int Count() override { return 0; }
    std::optional<std::string> Name(int) override { return std::nullopt; }
    bool Open(int) override { return false; }
    std::size_t Close() override { return 0; }
    void Send(std::uint8_t, std::uint8_t, std::uint8_t) override {}
};

class NoPause : public MidiPause {
public:
    void AfterMessage() override {}
};

}  // namespace

int ExportMidiFileCommand(const std::string& patchPath, const std::string& midiPath, std::ostream& err) {
    NoPorts ports;
    NoPause pause;
    ConsoleDialogs dialogs(err, MessageAnswer::No, midiPath);
    CQuarnEditApp app(ports, pause);
    app.CreatePortSink();
    CMainDlg form(app, dialogs);
    CQuarnEditDoc document(form, dialogs);
    form.SetDocument(&document);
    form.OnInitialUpdate();
    if (!document.OnOpenDocument(patchPath)) return 1;
    form.OnExportMidiFile();
    return dialogs.failed() ? 1 : 0;
}

int TransmitCommand(const std::string& patchPath, int device, MidiOutPorts& ports, MidiPause& pause,
                    std::ostream& err) {
    ConsoleDialogs dialogs(err, MessageAnswer::Yes);
    CQuarnEditApp app(ports, pause);
    MidiPortSink& port = app.CreatePortSink();
    if (!port.OpenDevice(device)) {
        err << DeviceDisplayName(ports, device) << " could not be opened\n";
        return 2;
    }
    app.m_midiOutDevice = device;
    CMainDlg form(app, dialogs);
    CQuarnEditDoc document(form, dialogs);
    form.SetDocument(&document);
    form.OnInitialUpdate();
    // The load ends with the transmission; the question is answered Yes.
    return document.OnOpenDocument(patchPath) ? 0 : 1;
}
