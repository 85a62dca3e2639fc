// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The user's folders, as Qt's QStandardPaths finds them (the XDG base directories: ~/.config, ~/.cache,
// ~/.local/share unless the variables say otherwise). A cache or data variable that is not an absolute path
// is ignored, as the XDG rules say; the configuration folder is taken as Qt takes it, relative too, so that
// the profile is found where QSettingsProfile keeps it. Empty when there is no place at all.

// The profile, where QSettingsProfile keeps it: <config>/QuarnEdit/QuarnEdit.INI. Here too, so that the
// quick-load library finds the library's folders without the MIDI adapters.
std::string ProfilePath();

// The user's patch folder: <data>/QuarnEdit/patches.
std::string UserPatchFolder();
// The library's index: <cache>/QuarnEdit/library.sqlite.
std::string LibraryIndexPath();
