// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

enum class FileWriteResult { Ok, OpenFailed, WriteFailed };

// What the user is told when a file could not be written.
const char* FileWriteMessage(FileWriteResult result);

// Writes a whole file so that a failure at any step leaves the file that was there before byte for byte:
// the new content goes into a temporary file in the same directory, which takes the file's name only once
// it is complete and closed. Devices and pipes have nothing to protect and are written straight through.
class WholeFileWriter {
public:
    WholeFileWriter() = default;
    ~WholeFileWriter();  // an unfinished temporary file is removed
    WholeFileWriter(const WholeFileWriter&) = delete;
    WholeFileWriter& operator=(const WholeFileWriter&) = delete;

    // OpenFailed when the file cannot be created or written where the user asked.
    FileWriteResult Open(const std::string& path);
    // Writes everything, closes, and puts the file in place. Only after a successful Open.
    FileWriteResult Commit(std::span<const std::uint8_t> bytes);

private:
    void Discard();

    std::FILE* m_file = nullptr;
    std::string m_target;
    std::string m_temp;  // empty when writing straight through
};
