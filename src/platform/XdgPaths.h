// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The user's folders by the XDG base directory rules: a variable that is unset, empty or not an absolute
// path falls back to its default under $HOME. Empty when neither gives a place.
std::string XdgCacheHome();   // $XDG_CACHE_HOME, default ~/.cache
std::string XdgDataHome();    // $XDG_DATA_HOME, default ~/.local/share
std::string XdgConfigHome();  // $XDG_CONFIG_HOME (as Qt takes it, relative too), default ~/.config

// The profile, where QSettingsProfile keeps it: $XDG_CONFIG_HOME/QuarnEdit/QuarnEdit.INI. Here too, so that
// the quick-load library finds the library's folders without the MIDI adapters.
std::string ProfilePath();

// The user's patch folder: $XDG_DATA_HOME/QuarnEdit/patches.
std::string UserPatchFolder();
// The library's index: $XDG_CACHE_HOME/QuarnEdit/library.sqlite.
std::string LibraryIndexPath();
