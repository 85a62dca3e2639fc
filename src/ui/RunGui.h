#pragma once

#include <optional>
#include <string>

// Builds the application with its window and platform services, starts it up and runs it until the main
// window closes. `fileToOpen` is a patch named on the command line. Returns the process's exit code.
int RunGui(int argc, char** argv, std::optional<std::string> fileToOpen);
