// SPDX-License-Identifier: GPL-3.0-or-later
// QuarnEdit's entry point: the window, or one of the window-less commands for scripting.
#include "app/AppInfo.h"
#include "app/BatchCommands.h"
#include "app/ports/Profile.h"
#include "main/Program.h"
#include "platform/BoundedCall.h"
#include "platform/CommandLine.h"
#include "ui/QtUserDialogs.h"
#include "ui/RunGui.h"

#include <QApplication>
#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace {

int ListDevices(Program& program) {
    const int count = program.ports.Count();
    if (count == 0) std::cerr << "no MIDI output devices\n";
    for (int i = 0; i < count; ++i) std::cout << i << '\t' << program.app.Devices().DeviceName(i) << '\n';
    // The input devices after, marked as such.
    for (int i = 0, inputs = program.inputs.Count(); i < inputs; ++i)
        std::cout << "input " << i << '\t' << program.inputs.Name(i).value_or("(unknown device)") << '\n';
    return 0;
}

// JACK calls that did not answer run on in threads of their own. The exit tears down the libraries they are
// inside of: after a short wait for them, the process ends without that (everything of ours is gone by then).
int Finish(int code) {
    if (BackgroundCall::AllFinishedWithin(std::chrono::milliseconds(200))) return code;
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(code);
}

int Run(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const CommandLineOptions options = ParseCommandLine(args);
    using Mode = CommandLineOptions::Mode;

    switch (options.mode) {
        case Mode::Gui: {
            QApplication qt(argc, argv);
            ConfigureGuiApplication();
            QtUserDialogs dialogs;
            Program program(dialogs);
            // A session manager, when one started us: it names the session before any device opens.
            if (const char* url = std::getenv("NSM_URL"); url != nullptr && url[0] != '\0')
                program.JoinSession(url, std::filesystem::path(args[0]).filename().string());
            program.FollowDeviceChanges();
            program.ReadInput();
            program.SessionRunning();
            return RunGui(program.app, dialogs, options.file, LibraryWindowSetup(program));
        }
        case Mode::Help: std::cout << options.text; return 0;
        case Mode::Version: std::cout << kAppVersionLine << '\n'; return 0;
        case Mode::Error: std::cerr << "quarnedit: " << options.text << "\nTry 'quarnedit --help'.\n"; return 2;
        default: break;
    }

    // The window-less commands still need Qt's idea of the user's directories for the profile.
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    switch (options.mode) {
        case Mode::ListDevices: {
            ConsoleDialogs dialogs(std::cerr, MessageAnswer::No);
            Program program(dialogs);
            return ListDevices(program);
        }
        case Mode::ExportMidi: {
            ConsoleDialogs dialogs = ExportMidiFileDialogs(std::cerr, options.output);
            Program program(dialogs);
            return ExportMidiFileCommand(program.app, dialogs, options.input);
        }
        case Mode::Transmit: {
            ConsoleDialogs dialogs = TransmitDialogs(std::cerr);
            Program program(dialogs);
            int device = options.device.value_or(-1);
            if (options.deviceName) {
                device = program.app.Devices().FindDevice(*options.deviceName);
                if (device < 0) {
                    std::cerr << "no MIDI output device is called " << *options.deviceName << '\n';
                    return 2;
                }
            } else if (!options.device) {
                device = program.app.Devices().StoredDevice();
            }
            return TransmitCommand(program.app, options.input, device, std::cerr);
        }
        default: return 2;
    }
}

}  // namespace

int main(int argc, char** argv) { return Finish(Run(argc, argv)); }
