// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Texts in patch files are 8-bit: this program writes UTF-8, files from the original platform hold
// Windows-1252. A text that is valid UTF-8 comes back unchanged; any other is read as Windows-1252 and
// returned as UTF-8. The five bytes that code page leaves undefined become the control characters of
// the same number, so no byte is ever lost.
std::string DecodeLegacyText(std::string_view bytes);

// The way back to the code page: the Windows-1252 bytes of a UTF-8 text, or nothing when the text is not
// valid UTF-8 or holds a character the code page lacks. The control characters U+0081, U+008D, U+008F,
// U+0090 and U+009D become the five undefined bytes again, so any bytes that are not valid UTF-8 come
// back unchanged from DecodeLegacyText and this.
std::optional<std::string> EncodeLegacyText(std::string_view utf8);

// Appends a character of the Basic Multilingual Plane (below U+10000) to `out` as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
