// SPDX-License-Identifier: GPL-3.0-or-later
#include "util/LegacyText.h"

#include <array>
#include <cstdint>
#include <optional>

namespace {

// Windows-1252 from 0x80 to 0x9F; the rest of the upper half is Latin-1, the same numbers in Unicode.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The character that starts at `i`, moving `i` past it; nothing when the bytes there are no well-formed
// UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
std::optional<char32_t> NextCodePoint(std::string_view bytes, std::size_t& i) {
    const auto b = static_cast<std::uint8_t>(bytes[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    std::size_t length = 0;
    char32_t min = 0;
    char32_t c = 0;
    if ((b & 0xE0) == 0xC0) {
        length = 2, min = 0x80, c = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, min = 0x800, c = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, c = b & 0x07;
    } else {
        return std::nullopt;
    }
    if (bytes.size() - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto cont = static_cast<std::uint8_t>(bytes[i + k]);
        if ((cont & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (cont & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    i += length;
    return c;
}

// The code page's byte for a character, or nothing when it has none.
std::optional<std::uint8_t> LegacyByte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint8_t>(c);
    for (std::size_t k = 0; k < kHighControls.size(); ++k)
        if (kHighControls[k] == c) return static_cast<std::uint8_t>(0x80 + k);
    return std::nullopt;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Most texts are ASCII: those bytes are passed over without decoding (the library checks every text
        // of its index this way on each load).
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        if (!NextCodePoint(bytes, i)) return false;
    }
    return true;
}

std::string DecodeLegacyText(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto b = static_cast<std::uint8_t>(ch);
        if (b < 0x80) {
            out += ch;
        } else if (b < 0xA0) {
            AppendUtf8(out, kHighControls[b - 0x80]);
        } else {
            AppendUtf8(out, b);
        }
    }
    return out;
}

std::optional<std::string> EncodeLegacyText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::optional<char32_t> c = NextCodePoint(utf8, i);
        if (!c) return std::nullopt;
        const std::optional<std::uint8_t> b = LegacyByte(*c);
        if (!b) return std::nullopt;
        out += static_cast<char>(*b);
    }
    return out;
}
