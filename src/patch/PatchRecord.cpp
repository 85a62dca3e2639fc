// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/PatchRecord.h"

#include "util/LegacyText.h"

#include <algorithm>

std::int32_t ReadInt32LE(std::span<const std::uint8_t> bytes, std::size_t offset) {
    const auto b = bytes.subspan(offset, 4);
    return static_cast<std::int32_t>(std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
                                     std::uint32_t{b[3]} << 24);
}

void WriteInt32LE(std::span<std::uint8_t> bytes, std::size_t offset, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    const auto b = bytes.subspan(offset, 4);
    for (std::size_t i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Where to cut a text to at most `limit` bytes. A UTF-8 text is cut before the character the limit would
// split; in any other text (the original platform's code page) every byte is a character of its own.
std::size_t CutLength(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    if (!IsValidUtf8(text)) return limit;
    std::size_t cut = limit;
    while (cut > 0 && IsContinuationByte(text[cut])) --cut;
    return cut;
}

template <std::size_t N>
void WriteInts(std::span<std::uint8_t> out, std::size_t offset, const std::array<std::int32_t, N>& values) {
    for (std::size_t i = 0; i < N; ++i) WriteInt32LE(out, offset + 4 * i, values[i]);
}

template <std::size_t N>
void ReadInts(std::span<const std::uint8_t> in, std::size_t offset, std::array<std::int32_t, N>& values) {
    for (std::size_t i = 0; i < N; ++i) values[i] = ReadInt32LE(in, offset + 4 * i);
}

}  // namespace

void EncodeText(std::span<std::uint8_t> record, TextField field, std::string_view text) {
    const auto out = record.subspan(field.offset, field.size);
    const std::size_t n = CutLength(text, field.size - 1);
    std::copy_n(text.begin(), n, out.begin());
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), std::uint8_t{0});
}

std::string DecodeText(std::span<const std::uint8_t> record, TextField field) {
    const auto in = record.subspan(field.offset, field.size);
    const auto end = std::find(in.begin(), in.end(), std::uint8_t{0});
    return std::string(in.begin(), end);
}

void EncodePatchRecord(const PatchRecord& record, std::span<std::uint8_t> out) {
    EncodeText(out, kPatchNameField, record.patchName);
    EncodeText(out, kAuthorField, record.author);
    EncodeText(out, kCommentField, record.comment);
    WriteInts(out, kRecordValuesOffset, record.valueSlots);
    WriteInts(out, kRecordSelectionsOffset, record.selections);
    WriteInt32LE(out, kRecordSwitchBitsOffset, record.switchBits);
    WriteInt32LE(out, kRecordFilterBitsOffset, record.filterBits);
}

PatchRecord DecodePatchRecord(std::span<const std::uint8_t> in) {
    PatchRecord record;
    record.patchName = DecodeText(in, kPatchNameField);
    record.author = DecodeText(in, kAuthorField);
    record.comment = DecodeText(in, kCommentField);
    ReadInts(in, kRecordValuesOffset, record.valueSlots);
    ReadInts(in, kRecordSelectionsOffset, record.selections);
    record.switchBits = ReadInt32LE(in, kRecordSwitchBitsOffset);
    record.filterBits = ReadInt32LE(in, kRecordFilterBitsOffset);
    return record;
}
