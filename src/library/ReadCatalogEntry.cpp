// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ReadCatalogEntry.h"

#include "patch/PatchFile.h"
#include "patch/PatchRecord.h"
#include "util/LegacyText.h"

#include <algorithm>
#include <limits>

std::size_t CatalogReadSize() { return kPatchFileSize; }

std::string CatalogOpenFailedReason() { return PatchFileMessage(PatchFileError::OpenFailed); }

std::uint64_t ContentHash(std::span<const std::uint8_t> bytes) {
    // FNV-1a: the record is small and this runs once per file read; zero is kept for "no patch".
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (const std::uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001B3ull;
    }
    return h == 0 ? 1 : h;
}

PatchParams ParamsOfRecord(std::span<const std::uint8_t> record) {
    PatchParams params{};
    if (record.size() < kRecordSize) return params;
    auto clamp = [](std::int32_t v) {
        return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, std::numeric_limits<std::int16_t>::min(),
                                                                  std::numeric_limits<std::int16_t>::max()));
    };
    std::size_t i = 0;
    for (std::size_t k = 0; k < kRecordValueCount; ++k)
        params[i++] = clamp(ReadInt32LE(record, kRecordValuesOffset + 4 * k));
    for (std::size_t k = 0; k < kRecordSelectionCount; ++k)
        params[i++] = clamp(ReadInt32LE(record, kRecordSelectionsOffset + 4 * k));
    params[i++] = static_cast<std::int16_t>(ReadInt32LE(record, kRecordSwitchBitsOffset) & 0xFFFF);
    params[i++] = static_cast<std::int16_t>(ReadInt32LE(record, kRecordFilterBitsOffset) & 0xFFFF);
    return params;
}

void ReadCatalogEntry(std::span<const std::uint8_t> head, CatalogEntry& entry) {
    const DecodedPatchFile file = DecodePatchFile(head, kPatchVersion);
    entry.valid = file.error == PatchFileError::None;
    entry.reason = PatchFileMessage(file.error);
    entry.patchName.clear();
    entry.author.clear();
    entry.comment.clear();
    entry.content = 0;
    entry.params = {};
    if (!entry.valid) return;
    entry.patchName = DecodeLegacyText(DecodeText(file.record, kPatchNameField));
    entry.author = DecodeLegacyText(DecodeText(file.record, kAuthorField));
    entry.comment = DecodeLegacyText(DecodeText(file.record, kCommentField));
    entry.content = ContentHash(file.record);
    entry.params = ParamsOfRecord(file.record);
}
