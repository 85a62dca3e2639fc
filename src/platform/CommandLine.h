// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

// What the command line asks for. File names keep the exact bytes they were given.
struct CommandLineOptions {
    enum class Mode { Gui, Help, Version, ListDevices, ExportMidi, Transmit, Error };
    Mode mode = Mode::Gui;
    std::optional<std::string> file;        // the patch to open in the window
    std::string input;                      // --export-midi / --transmit patch
    std::string output;                     // --export-midi MIDI file
    std::optional<int> device;              // --device, an index
    std::optional<std::string> deviceName;  // --device, a name
    std::string text;                       // the help text, or what is wrong
};

// `args` are the raw arguments, program name first.
CommandLineOptions ParseCommandLine(const std::vector<std::string>& args);
