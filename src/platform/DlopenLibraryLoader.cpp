// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DlopenLibraryLoader.h"

#include <dlfcn.h>

namespace {

class DlopenLibrary : public DynamicLibrary {
public:
    explicit DlopenLibrary(void* handle) : m_handle(handle) {}
    ~DlopenLibrary() override { dlclose(m_handle); }
    DlopenLibrary(const DlopenLibrary&) = delete;
    DlopenLibrary& operator=(const DlopenLibrary&) = delete;

    QuickLoadEntry FindQuickLoadEntry(const std::string& name) override {
        return reinterpret_cast<QuickLoadEntry>(dlsym(m_handle, name.c_str()));
    }

private:
    void* m_handle;
};

}  // namespace

std::unique_ptr<DynamicLibrary> DlopenLibraryLoader::Load(const std::string& fileName) {
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr && !m_programDirectory.empty()) {
        handle = dlopen((m_programDirectory + fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) return nullptr;
    return std::make_unique<DlopenLibrary>(handle);
}
