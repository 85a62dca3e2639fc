// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "patch/PatchRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How a patch's text is stored. This program writes UTF-8; files of the original platform hold Windows-1252.
enum class TextEncoding : std::uint8_t { Utf8, Windows1252 };

// The encoding each text of a record came in: name, author, comment. A text that is not valid UTF-8 is the
// code page's. A plain ASCII text fits both and goes with its record: the code page when another text of
// the record is in it, so that a file of the original platform stays one after an edit.
std::array<TextEncoding, 3> RecordTextEncodings(const PatchRecord& record);

// A stored text as the user sees it, in UTF-8.
std::string ShownText(std::string_view stored);
// The bytes to store for a text the user gave in UTF-8: in the code page when the text came in it, every
// character fits and the bytes read back as the same text; else the UTF-8 itself.
std::string StoredText(std::string_view shown, TextEncoding encoding);

// The comment's line breaks are stored as "\r\n", as the original platform's text control writes them,
// and shown as "\n". A lone "\r" is a line break too.
std::string ShownComment(std::string_view stored);
std::string StoredComment(std::string_view shown, TextEncoding encoding);

// Room for a text in its record field, in stored bytes (the terminator takes the last one), and the encoding
// the text is stored in there.
struct TextRoom {
    std::size_t bytes = 0;
    TextEncoding encoding = TextEncoding::Utf8;
};
constexpr std::size_t RoomOf(TextField field) { return field.size - 1; }

// How many bytes a text the user gave takes once stored.
std::size_t StoredTextSize(std::string_view shown, TextEncoding encoding);
std::size_t StoredCommentSize(std::string_view shown, TextEncoding encoding);

// `edited` is `shown` after one edit by the user. When it does not fit `room` once stored, only as much of
// what the edit put in is kept as fits, in whole characters, and the rest of the text stays as it was; the
// text is cut at its end only when even that does not fit. Texts are UTF-8.
std::string FitEdit(std::string_view shown, std::string_view edited, TextRoom room, bool comment);
