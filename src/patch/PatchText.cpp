// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/PatchText.h"

#include "util/LegacyText.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Every line break, whichever way it is written, as `lineBreak`.
std::string WithLineBreaks(std::string_view text, std::string_view lineBreak) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += lineBreak;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The character boundary at or before `at`.
std::size_t CharStart(std::string_view text, std::size_t at) {
    while (at > 0 && at < text.size() && IsContinuation(text[at])) --at;
    return at;
}

// The largest character boundary `n` of `text` for which `fits(n)` holds, or 0; `fits` turns false once, and
// stays false, as `n` grows.
template <typename Fits>
std::size_t LongestFitting(std::string_view text, Fits&& fits) {
    std::vector<std::size_t> ends;
    for (std::size_t i = 1; i <= text.size(); ++i)
        if (i == text.size() || !IsContinuation(text[i])) ends.push_back(i);
    const auto first = std::partition_point(ends.begin(), ends.end(), fits);
    return first == ends.begin() ? 0 : *(first - 1);
}

}  // namespace

std::array<TextEncoding, 3> RecordTextEncodings(const PatchRecord& record) {
    const std::array<const std::string*, 3> texts{&record.patchName, &record.author, &record.comment};
    const bool legacyRecord =
        std::any_of(texts.begin(), texts.end(), [](const std::string* t) { return !IsValidUtf8(*t); });
    std::array<TextEncoding, 3> encodings{};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string& t = *texts[i];
        const bool legacy = !IsValidUtf8(t) || (legacyRecord && IsAscii(t));
        encodings[i] = legacy ? TextEncoding::Windows1252 : TextEncoding::Utf8;
    }
    return encodings;
}

std::string ShownText(std::string_view stored) { return DecodeLegacyText(stored); }

std::string StoredText(std::string_view shown, TextEncoding encoding) {
    if (encoding == TextEncoding::Windows1252) {
        // Bytes of the code page that happen to be valid UTF-8 would be read back as another text.
        const std::optional<std::string> legacy = EncodeLegacyText(shown);
        if (legacy && DecodeLegacyText(*legacy) == shown) return *legacy;
    }
    return std::string(shown);
}

std::string ShownComment(std::string_view stored) { return WithLineBreaks(ShownText(stored), "\n"); }

std::string StoredComment(std::string_view shown, TextEncoding encoding) {
    return StoredText(WithLineBreaks(shown, "\r\n"), encoding);
}

std::size_t StoredTextSize(std::string_view shown, TextEncoding encoding) { return StoredText(shown, encoding).size(); }

std::size_t StoredCommentSize(std::string_view shown, TextEncoding encoding) {
    return StoredComment(shown, encoding).size();
}

std::string FitEdit(std::string_view shown, std::string_view edited, TextRoom room, bool comment) {
    const auto size = [&](std::string_view text) {
        return comment ? StoredCommentSize(text, room.encoding) : StoredTextSize(text, room.encoding);
    };
    if (size(edited) <= room.bytes) return std::string(edited);

    // What the edit put in: the part of `edited` between what it kept at the start and at the end.
    std::size_t head = 0;
    while (head < shown.size() && head < edited.size() && shown[head] == edited[head]) ++head;
    head = CharStart(edited, head);
    std::size_t tail = 0;
    while (tail < shown.size() - head && tail < edited.size() - head &&
           shown[shown.size() - 1 - tail] == edited[edited.size() - 1 - tail])
        ++tail;
    while (tail > 0 && IsContinuation(edited[edited.size() - tail])) --tail;
    const std::string_view before = edited.substr(0, head);
    const std::string_view inserted = edited.substr(head, edited.size() - head - tail);
    const std::string_view after = edited.substr(edited.size() - tail);

    const auto with = [&](std::size_t n) { return std::string(before).append(inserted.substr(0, n)).append(after); };
    if (size(with(0)) <= room.bytes)
        return with(LongestFitting(inserted, [&](std::size_t n) { return size(with(n)) <= room.bytes; }));
    const std::string kept = with(0);
    return kept.substr(0, LongestFitting(kept, [&](std::size_t n) { return size(kept.substr(0, n)) <= room.bytes; }));
}
