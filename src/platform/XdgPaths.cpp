// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/XdgPaths.h"

#include "app/AppInfo.h"

#include <cstdlib>

namespace {

std::string FromEnvironment(const char* variable, const char* fallbackUnderHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return {};
    std::string path = home;
    if (path.back() != '/') path += '/';
    return path + fallbackUnderHome;
}

}  // namespace

std::string XdgCacheHome() { return FromEnvironment("XDG_CACHE_HOME", ".cache"); }
// As Qt reads it for the profile (any value that is set counts), so that both find the same file.
std::string XdgConfigHome() {
    const char* value = std::getenv("XDG_CONFIG_HOME");
    if (value != nullptr && value[0] != '\0') return value;
    return FromEnvironment("XDG_CONFIG_HOME", ".config");
}
std::string XdgDataHome() { return FromEnvironment("XDG_DATA_HOME", ".local/share"); }

std::string ProfilePath() {
    const std::string config = XdgConfigHome();
    const std::string app = kAppTitle;
    return config.empty() ? std::string() : config + "/" + app + "/" + app + ".INI";
}

std::string UserPatchFolder() {
    const std::string data = XdgDataHome();
    return data.empty() ? std::string() : data + "/QuarnEdit/patches";
}

std::string LibraryIndexPath() {
    const std::string cache = XdgCacheHome();
    return cache.empty() ? std::string() : cache + "/QuarnEdit/library.sqlite";
}
