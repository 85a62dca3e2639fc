// SPDX-License-Identifier: GPL-3.0-or-later
#include "util/WholeFile.h"

#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

const char* FileWriteMessage(FileWriteResult result) {
    switch (result) {
        case FileWriteResult::Ok: return "";
        case FileWriteResult::OpenFailed: return "Couldn't open output file";
        case FileWriteResult::WriteFailed: return "Couldn't write to output file";
    }
    return "";
}

namespace {

std::string TempName(const fs::path& target) {
    static std::random_device random;
    constexpr const char* kHex = "0123456789abcdef";
    std::string tag;
    for (std::uint32_t r = random(), i = 0; i < 8; ++i, r >>= 4) tag += kHex[r & 0xF];
    // Hidden and clearly not the user's file, should a crash leave it behind.
    return "." + target.filename().string() + "." + tag + ".tmp";
}

}  // namespace

WholeFileWriter::~WholeFileWriter() { Discard(); }

void WholeFileWriter::Discard() {
    if (m_file != nullptr) std::fclose(m_file);
    m_file = nullptr;
    if (!m_temp.empty()) {
        std::error_code ec;
        fs::remove(m_temp, ec);
        m_temp.clear();
    }
}

FileWriteResult WholeFileWriter::Open(const std::string& path) {
    Discard();
    std::error_code ec;
    fs::path target(path);
    const fs::file_status status = fs::status(target, ec);
    if (target.empty() || fs::is_directory(status)) return FileWriteResult::OpenFailed;

    if (fs::exists(status)) {
        if (!fs::is_regular_file(status)) {
            m_file = std::fopen(path.c_str(), "wb");
            return m_file != nullptr ? FileWriteResult::Ok : FileWriteResult::OpenFailed;
        }
        // A file the user may not write stays refused, although replacing it would succeed.
        std::FILE* probe = std::fopen(path.c_str(), "r+b");
        if (probe == nullptr) return FileWriteResult::OpenFailed;
        std::fclose(probe);
        // Replace what a symbolic link points to, not the link.
        if (fs::path real = fs::canonical(target, ec); !ec) target = real;
    }

    const fs::path directory = target.parent_path();
    for (int attempt = 0; attempt < 16 && m_file == nullptr; ++attempt) {
        const fs::path temp = directory / TempName(target);
        errno = 0;
        m_file = std::fopen(temp.c_str(), "wbx");
        if (m_file != nullptr) {
            m_temp = temp.string();
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (m_file == nullptr) return FileWriteResult::OpenFailed;
    if (fs::exists(status)) fs::permissions(m_temp, status.permissions(), ec);  // keeps the file's mode
    m_target = target.string();
    return FileWriteResult::Ok;
}

FileWriteResult WholeFileWriter::Commit(std::span<const std::uint8_t> bytes) {
    if (m_file == nullptr) return FileWriteResult::WriteFailed;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size();
    ok = std::fflush(m_file) == 0 && ok;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    if (ok && !m_temp.empty()) {
        std::error_code ec;
        fs::rename(m_temp, m_target, ec);
        if (!ec) m_temp.clear();
        ok = !ec;
    }
    if (!ok) {
        Discard();
        return FileWriteResult::WriteFailed;
    }
    return FileWriteResult::Ok;
}
