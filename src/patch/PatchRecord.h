// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The stored form of a patch: a fixed 2,760-byte image. All integers are 32-bit signed little-endian,
// whatever the machine. The record knows its layout and nothing of the form it is an image of.
constexpr std::size_t kRecordSize = 2760;

// A text field holds the text and its terminating zero.
struct TextField {
    std::size_t offset;
    std::size_t size;
};
constexpr TextField kPatchNameField{0, 256};
constexpr TextField kAuthorField{256, 256};
constexpr TextField kCommentField{512, 2048};

constexpr std::size_t kRecordValueCount = 27;      // the form's value slots, in slot order
constexpr std::size_t kRecordSelectionCount = 21;  // selected list entries (-1: none)
constexpr std::size_t kRecordValuesOffset = 2560;
constexpr std::size_t kRecordSelectionsOffset = 2668;
constexpr std::size_t kRecordSwitchBitsOffset = 2752;
constexpr std::size_t kRecordFilterBitsOffset = 2756;
static_assert(kRecordValuesOffset + 4 * kRecordValueCount == kRecordSelectionsOffset);
static_assert(kRecordSelectionsOffset + 4 * kRecordSelectionCount == kRecordSwitchBitsOffset);
static_assert(kRecordFilterBitsOffset + 4 == kRecordSize);

// A record's fields. Texts are the stored bytes, without their terminator.
struct PatchRecord {
    std::string patchName;
    std::string author;
    std::string comment;
    std::array<std::int32_t, kRecordValueCount> valueSlots{};
    std::array<std::int32_t, kRecordSelectionCount> selections{};
    std::int32_t switchBits = 0;
    std::int32_t filterBits = 0;

    bool operator==(const PatchRecord&) const = default;
};

// Fills `out` (kRecordSize bytes). Texts too long for their field are cut (a UTF-8 text never inside a
// character) so the terminator always fits; the bytes after a terminator are zero.
void EncodePatchRecord(const PatchRecord& record, std::span<std::uint8_t> out);
// `in` holds kRecordSize bytes. A text without a terminator ends at its field's end.
PatchRecord DecodePatchRecord(std::span<const std::uint8_t> in);

std::int32_t ReadInt32LE(std::span<const std::uint8_t> bytes, std::size_t offset);
void WriteInt32LE(std::span<std::uint8_t> bytes, std::size_t offset, std::int32_t value);

// Stores as much of the text as fits before the terminating zero, never splitting the character of a
// UTF-8 text (a text that is not UTF-8 is the code page's, a character a byte), and zeroes the rest.
void EncodeText(std::span<std::uint8_t> record, TextField field, std::string_view text);
// The text up to its zero byte, or up to the field's end when there is none.
std::string DecodeText(std::span<const std::uint8_t> record, TextField field);
