#pragma once

#include "patch/PatchRecord.h"

#include <array>
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
