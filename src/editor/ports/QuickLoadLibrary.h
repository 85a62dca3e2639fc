// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The quick-load library and its one entry point, by name.
constexpr const char* kQuickLoadLibraryName = "Selvane.DLL";
constexpr const char* kQuickLoadEntryName = "RunQuickLoadMenuA";
// The buffer the entry point answers in: "." on entry, then an empty text or a zero-terminated path.
constexpr std::size_t kQuickLoadBufferSize = 261;
// Where the menu opens, from the top-left corner of the form's client area, in pixels.
constexpr int kQuickLoadMenuX = 440;
constexpr int kQuickLoadMenuY = 15;

// The quick-load library's one entry point: fills the 261-byte buffer with the path of a patch to load,
// or leaves it empty.
using QuickLoadEntry = int (*)(char* buffer, std::uintptr_t ownerWindow, std::int32_t x, std::int32_t y);

// A loaded dynamic library; destroying it releases the library.
class DynamicLibrary {
public:
    virtual ~DynamicLibrary() = default;
    virtual QuickLoadEntry FindQuickLoadEntry(const std::string& name) = 0;
};

class LibraryLoader {
public:
    virtual ~LibraryLoader() = default;
    // Null when the library cannot be loaded.
    virtual std::unique_ptr<DynamicLibrary> Load(const std::string& fileName) = 0;
};
