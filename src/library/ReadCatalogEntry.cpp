// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ReadCatalogEntry.h"

#include "patch/PatchFile.h"
#include "patch/PatchRecord.h"
#include "util/LegacyText.h"

std::size_t CatalogReadSize() { return kPatchFileSize; }

std::string CatalogOpenFailedReason() { return PatchFileMessage(PatchFileError::OpenFailed); }

void ReadCatalogEntry(std::span<const std::uint8_t> head, CatalogEntry& entry) {
    const DecodedPatchFile file = DecodePatchFile(head, kPatchVersion);
    entry.valid = file.error == PatchFileError::None;
    entry.reason = PatchFileMessage(file.error);
    entry.patchName.clear();
    entry.author.clear();
    entry.comment.clear();
    if (!entry.valid) return;
    entry.patchName = DecodeLegacyText(DecodeText(file.record, kPatchNameField));
    entry.author = DecodeLegacyText(DecodeText(file.record, kAuthorField));
    entry.comment = DecodeLegacyText(DecodeText(file.record, kCommentField));
}
