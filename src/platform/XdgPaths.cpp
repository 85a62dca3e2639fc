#include "platform/XdgPaths.h"

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
std::string XdgDataHome() { return FromEnvironment("XDG_DATA_HOME", ".local/share"); }

std::string UserPatchFolder() {
    const std::string data = XdgDataHome();
    return data.empty() ? std::string() : data + "/QuarnEdit/patches";
}

std::string LibraryIndexPath() {
    const std::string cache = XdgCacheHome();
    return cache.empty() ? std::string() : cache + "/QuarnEdit/library.sqlite";
}
