// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Patch files for the library tests, written byte by byte, and a temporary folder for them.

#include "TempDir.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace libtest {

namespace fs = std::filesystem;

inline std::vector<std::uint8_t> PatchBytes(std::string_view name, std::string_view author = "",
                                            std::string_view comment = "", std::int32_t version = 0) {
    std::vector<std::uint8_t> b{'Q', 'N', 'P'};
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(version) >> (8 * i)));
    auto text = [&b](std::string_view s, std::size_t size) {
        b.insert(b.end(), s.begin(), s.end());
        b.resize(b.size() + size - s.size(), 0);
    };
    text(name, 256);
    text(author, 256);
    text(comment, 2048);
    b.resize(7 + 2760, 0);
    return b;
}

// Sets value slot `slot` (0..26) or, from 27 on, stored list entry `slot - 27` of a patch file's bytes.
inline void SetParam(std::vector<std::uint8_t>& file, std::size_t slot, std::int32_t value) {
    const std::size_t at = 7 + 2560 + 4 * slot;
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}

inline void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Moves a file's modification time, so that a change is seen whatever the clock's resolution.
inline void Touch(const fs::path& path, int secondsLater) {
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(secondsLater));
}

using ::TempDir;

}  // namespace libtest
