#include "patch/PatchRecord.h"

#include "editor/ControlTable.h"

#include <algorithm>
#include <stdexcept>

using namespace ctl;

const std::array<int, kRecordSelectionCount> kRecordSelectionLists{
    Dco1AmpSource,    Dco1Dist,       Dco1Row3Source,   Dco1OffsetSource, Dco1PulsewSource, Dco1Wave,
    ArpegSource,      Cutoff1Source,  Dco2AmpSource,    Dco2Dist,         Dco2Row3Source,   Dco2OffsetSource,
    Dco2PulsewSource, Dco2Wave,       Env1OffsetSource, Env2OffsetSource, FilterType,       MidiChannel,
    Cutoff2Source,    Dco1Row3Mode,   Dco2Row3Mode,
};

std::size_t SelectionEntry(int listId) {
    const auto it = std::find(kRecordSelectionLists.begin(), kRecordSelectionLists.end(), listId);
    if (it == kRecordSelectionLists.end()) throw std::out_of_range("no stored selection for list " + std::to_string(listId));
    return static_cast<std::size_t>(it - kRecordSelectionLists.begin());
}

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

// Where to cut a text to at most `limit` bytes: at the limit, or before the character that the limit
// would split when the text is UTF-8 there.
std::size_t CutLength(std::string_view text, std::size_t limit) {
    if (text.size() <= limit || !IsContinuationByte(text[limit])) return std::min(text.size(), limit);
    std::size_t start = limit;
    while (start > 0 && limit - start < 3 && IsContinuationByte(text[start])) --start;
    return static_cast<unsigned char>(text[start]) >= 0xC0 ? start : limit;
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
