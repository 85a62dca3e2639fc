#pragma once

#include "patch/PatchRecord.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A patch file: the magic "QNP", the version (int32 little-endian) and one record.
constexpr std::size_t kPatchHeaderSize = 7;
constexpr std::size_t kPatchFileSize = kPatchHeaderSize + kRecordSize;

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

// Puts the magic and the version in front of the record's place.
void WritePatchFileHeader(std::span<std::uint8_t> file, std::int32_t version);

// Reads the first kPatchFileSize bytes of a file (fewer when it is shorter); OpenFailed or None.
PatchFileError ReadPatchFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes);
