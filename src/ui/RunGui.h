// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/CLibraryWnd.h"

#include <optional>
#include <string>

class CQuarnEditApp;
class QtUserDialogs;

// The Qt application's name, version, icon and desktop entry; call once the QApplication exists.
void ConfigureGuiApplication();

// Builds the main window around the application object, starts the program up and runs it until the main
// window closes. `fileToOpen` is a patch named on the command line; `library` is where the patch library
// window finds its folders and index. Returns the process's exit code.
int RunGui(CQuarnEditApp& app, QtUserDialogs& dialogs, const std::optional<std::string>& fileToOpen,
           LibrarySetup library = {});
