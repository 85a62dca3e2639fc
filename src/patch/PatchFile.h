// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "patch/PatchRecord.h"
#include "util/WholeFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A patch file: the magic "QNP", the version (int32 little-endian) and one record.
constexpr std::string_view kPatchMagic = "QNP";
constexpr std::size_t kPatchVersionOffset = 3;
constexpr std::size_t kPatchHeaderSize = 7;
constexpr std::size_t kPatchFileSize = kPatchHeaderSize + kRecordSize;
// The layout this program writes and reads.
constexpr std::int32_t kPatchVersion = 0;

enum class PatchFileError { None, OpenFailed, ReadFailed, NotAPatch, UnknownVersion, UnknownLayout };

// What the user is told.
const char* PatchFileMessage(PatchFileError error);

struct DecodedPatchFile {
    PatchFileError error = PatchFileError::None;
    std::int32_t version = 0;
    std::span<const std::uint8_t> record;  // kRecordSize bytes when there is no error
};

// Checks a file's bytes: too short, not a patch, or newer than `newestVersion` (compared as signed
// numbers; older and negative versions are accepted). Bytes after a whole file are ignored.
DecodedPatchFile DecodePatchFile(std::span<const std::uint8_t> bytes, std::int32_t newestVersion);

// Reads the first kPatchFileSize bytes of a file (fewer when it is shorter); OpenFailed or None.
PatchFileError ReadPatchFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes);

// A whole patch file's bytes: the header, then the record that `fillRecord` writes into its kRecordSize bytes.
std::vector<std::uint8_t> EncodePatchFile(std::int32_t version,
                                          const std::function<void(std::span<std::uint8_t>)>& fillRecord);

// Writes a whole patch file in one piece, as every save does: the header, then the record that
// `fillRecord` writes into its kRecordSize bytes. The file that was there survives any failure.
FileWriteResult WritePatchFile(const std::string& path, std::int32_t version,
                               const std::function<void(std::span<std::uint8_t>)>& fillRecord);
