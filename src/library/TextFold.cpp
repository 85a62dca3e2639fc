// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/TextFold.h"

#include "util/LegacyText.h"

#include <cstdint>

namespace {

char32_t Fold(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : c + 32;  // Latin-1 capitals, not the multiplication sign
    if (c >= 0x100 && c <= 0x137) return c | 1;    // Latin Extended-A: capital even, small odd
    if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
    if (c >= 0x14A && c <= 0x177) return c | 1;
    if (c == 0x178) return 0xFF;
    if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;  // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 32;                // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

// Length of the UTF-8 sequence that starts with `b`, 1 for a byte that starts none.
std::size_t SequenceLength(std::uint8_t b) {
    if (b >= 0xF0 && b <= 0xF4) return 4;
    if (b >= 0xE0) return b <= 0xEF ? 3 : 1;
    if (b >= 0xC2) return 2;
    return 1;
}

}  // namespace

std::string FoldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendFoldCase(out, text);
    return out;
}

void AppendFoldCase(std::string& out, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
            ++i;
            continue;
        }
        // Only two-byte characters fold here (all the alphabets above lie below U+0800); the rest is copied.
        const std::size_t length = SequenceLength(b);
        if (length == 2 && i + 1 < text.size() && (static_cast<std::uint8_t>(text[i + 1]) & 0xC0) == 0x80) {
            const char32_t c = (char32_t{b} & 0x1F) << 6 | (static_cast<std::uint8_t>(text[i + 1]) & 0x3F);
            AppendUtf8(out, Fold(c));
            i += 2;
            continue;
        }
        const std::size_t n = std::min(length, text.size() - i);
        out.append(text.substr(i, n));
        i += n;
    }
}

std::string_view FirstCharacters(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < text.size(); ++n) {
        std::size_t length = SequenceLength(static_cast<std::uint8_t>(text[i]));
        std::size_t k = 1;
        while (k < length && i + k < text.size() && (static_cast<std::uint8_t>(text[i + k]) & 0xC0) == 0x80) ++k;
        i += k;
    }
    return text.substr(0, i);
}

int NaturalCompare(std::string_view a, std::string_view b) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && digit(a[ei])) ++ei;
            while (ej < b.size() && digit(b[ej])) ++ej;
            std::size_t si = i, sj = j;  // without leading zeros
            while (si + 1 < ei && a[si] == '0') ++si;
            while (sj + 1 < ej && b[sj] == '0') ++sj;
            if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
            if (const int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj)); c != 0) return c;
            // Equal values: fewer leading zeros first, so that the order is total.
            if (ei - i != ej - j) return ei - i < ej - j ? -1 : 1;
            i = ei, j = ej;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i, ++j;
    }
    if (i == a.size() && j == b.size()) return 0;
    return i == a.size() ? -1 : 1;
}
