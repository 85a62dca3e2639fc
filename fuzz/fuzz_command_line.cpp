// SPDX-License-Identifier: GPL-3.0-or-later
// Parses arbitrary command lines: the input split on '\0' gives the arguments after the program's name.
// Whatever they are, an error says what is wrong, an export or a transmission names its patch, and a
// device index is never negative.
#include "platform/CommandLine.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_command_line: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args{"quarnedit"};
    if (size > 0) {
        std::string current;
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] == '\0') {
                args.push_back(std::move(current));
                current.clear();
            } else {
                current.push_back(static_cast<char>(data[i]));
            }
        }
        args.push_back(std::move(current));
    }

    const CommandLineOptions options = ParseCommandLine(args);
    using Mode = CommandLineOptions::Mode;
    if (options.mode == Mode::Error) Require(!options.text.empty(), "error without a text");
    if (options.mode == Mode::Help) Require(!options.text.empty(), "help without a text");
    if (options.mode == Mode::ExportMidi || options.mode == Mode::Transmit)
        Require(!options.input.empty(), "export or transmit without a patch");
    if (options.device) Require(*options.device >= 0, "negative device");
    if (options.device)
        Require(options.mode == Mode::Transmit || options.mode == Mode::Error, "device kept without a transmission");
    return 0;
}
