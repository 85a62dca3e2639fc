#pragma once

#include <string>
#include <string_view>

// Texts in patch files are 8-bit: this program writes UTF-8, files from the original platform hold
// Windows-1252. A text that is valid UTF-8 comes back unchanged; any other is read as Windows-1252 and
// returned as UTF-8. The five bytes that code page leaves undefined become the control characters of
// the same number, so no byte is ever lost.
std::string DecodeLegacyText(std::string_view bytes);

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
