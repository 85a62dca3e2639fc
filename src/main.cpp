// QuarnEdit's entry point: the window, or one of the window-less commands for scripting.
#include "app/BatchCommands.h"
#include "app/CQuarnEditApp.h"
#include "platform/CommandLine.h"
#include "platform/QSettingsProfile.h"
#include "platform/RtMidiPorts.h"
#include "platform/SleepPause.h"
#include "ui/RunGui.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>

namespace {

constexpr const char* kVersionLine = "QuarnEdit Version 1.1 beta 6";

int ListDevices() {
    RtMidiPorts ports;
    const int count = ports.Count();
    for (int i = 0; i < count; ++i) std::cout << i << '\t' << DeviceDisplayName(ports, i) << '\n';
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const CommandLineOptions options = ParseCommandLine(args);
    using Mode = CommandLineOptions::Mode;

    switch (options.mode) {
        case Mode::Gui: return RunGui(argc, argv, options.file);
        case Mode::Help: std::cout << options.text; return 0;
        case Mode::Version: std::cout << kVersionLine << '\n'; return 0;
        case Mode::Error:
            std::cerr << "quarnedit: " << options.text << "\nTry 'quarnedit --help'.\n";
            return 2;
        default: break;
    }

    // The window-less commands still need Qt's idea of the user's directories for the profile.
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("QuarnEdit"));
    switch (options.mode) {
        case Mode::ListDevices: return ListDevices();
        case Mode::ExportMidi: return ExportMidiFileCommand(options.input, options.output, std::cerr);
        case Mode::Transmit: {
            QSettingsProfile profile;
            const int device =
                options.device.value_or(profile.GetProfileInt(kProfileSection, kProfileDeviceKey, 0));
            RtMidiPorts ports;
            SleepPause pause;
            return TransmitCommand(options.input, device, ports, pause, std::cerr);
        }
        default: return 2;
    }
}
