// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/PatchFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

const char* PatchFileMessage(PatchFileError error) {
    switch (error) {
        case PatchFileError::None: return "";
        case PatchFileError::OpenFailed: return "Couldn't open input file";
        case PatchFileError::ReadFailed: return "Couldn't read from input file";
        case PatchFileError::NotAPatch: return "Not a QuarnEdit Patch";
        case PatchFileError::UnknownVersion: return "Unknown Patch Version";
        case PatchFileError::UnknownLayout: return "Unknown Error";
    }
    return "";
}

DecodedPatchFile DecodePatchFile(std::span<const std::uint8_t> bytes, std::int32_t newestVersion) {
    DecodedPatchFile out;
    if (bytes.size() < kPatchFileSize) {
        out.error = PatchFileError::ReadFailed;
        return out;
    }
    if (!std::equal(kPatchMagic.begin(), kPatchMagic.end(), bytes.begin())) {
        out.error = PatchFileError::NotAPatch;
        return out;
    }
    out.version = ReadInt32LE(bytes, kPatchVersionOffset);
    if (out.version > newestVersion) {
        out.error = PatchFileError::UnknownVersion;
        return out;
    }
    out.record = bytes.subspan(kPatchHeaderSize, kRecordSize);
    return out;
}

PatchFileError ReadPatchFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return PatchFileError::OpenFailed;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return PatchFileError::OpenFailed;
    bytes.resize(kPatchFileSize);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return PatchFileError::None;
}

std::vector<std::uint8_t> EncodePatchFile(std::int32_t version,
                                          const std::function<void(std::span<std::uint8_t>)>& fillRecord) {
    std::vector<std::uint8_t> bytes(kPatchFileSize);
    std::copy(kPatchMagic.begin(), kPatchMagic.end(), bytes.begin());
    WriteInt32LE(bytes, kPatchVersionOffset, version);
    fillRecord(std::span(bytes).subspan(kPatchHeaderSize, kRecordSize));
    return bytes;
}

FileWriteResult WritePatchFile(const std::string& path, std::int32_t version,
                               const std::function<void(std::span<std::uint8_t>)>& fillRecord) {
    WholeFileWriter file;
    if (const FileWriteResult opened = file.Open(path); opened != FileWriteResult::Ok) return opened;
    return file.Commit(EncodePatchFile(version, fillRecord));
}
