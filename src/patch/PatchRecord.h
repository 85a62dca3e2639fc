#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The stored form of a patch: a fixed image of the editor form. All integers are 32-bit signed
// little-endian, whatever the machine.
constexpr std::size_t kRecordSize = 2760;

// A text field holds the text and its terminating zero.
struct TextField {
    std::size_t offset;
    std::size_t size;
};
constexpr TextField kPatchNameField{0, 256};
constexpr TextField kAuthorField{256, 256};
constexpr TextField kCommentField{512, 2048};

constexpr std::size_t kRecordSlotsOffset = 2560;       // the 27 form value slots, in slot order
constexpr std::size_t kRecordSelectionsOffset = 2668;  // the selected index of 21 lists
constexpr std::size_t kRecordSwitchBitsOffset = 2752;
constexpr std::size_t kRecordFilterBitsOffset = 2756;

constexpr std::size_t kRecordSelectionCount = 21;
// The list whose selection each entry of `selections` holds, in entry order.
extern const std::array<int, kRecordSelectionCount> kRecordSelectionLists;
// The entry that holds a list's selection; the list must be one of kRecordSelectionLists.
std::size_t SelectionEntry(int listId);

std::int32_t ReadInt32LE(std::span<const std::uint8_t> bytes, std::size_t offset);
void WriteInt32LE(std::span<std::uint8_t> bytes, std::size_t offset, std::int32_t value);

// Stores as much of the text as fits before the terminating zero, never splitting a UTF-8 character,
// and zeroes the rest of the field.
void EncodeText(std::span<std::uint8_t> record, TextField field, std::string_view text);
// The text up to its zero byte, or up to the field's end when there is none.
std::string DecodeText(std::span<const std::uint8_t> record, TextField field);
