// SPDX-License-Identifier: GPL-3.0-or-later
// Asks for a unit of text the way a screen reader may: the first byte picks the unit and the direction, the
// next four the offset (any, also negative or far past the end), the rest is the text in UTF-16, unpaired
// surrogates and all. Whatever is asked, the answer is a span of the text (or none), the unit at an offset
// inside the text holds it, and the units before and after it touch it.
#include "ui/TextUnits.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_text_units: %s\n", what);
    std::abort();
}

constexpr QAccessible::TextBoundaryType kTypes[] = {
    QAccessible::CharBoundary,      QAccessible::WordBoundary, QAccessible::SentenceBoundary,
    QAccessible::ParagraphBoundary, QAccessible::LineBoundary, QAccessible::NoBoundary,
};

// The unit's span, checked to be a span of the text with the unit's text.
QString Checked(const QString& text, int offset, QAccessible::TextBoundaryType type, int step, int* start, int* end) {
    const QString unit = TextUnit(text, offset, type, step, start, end);
    if (*start == -1 || *end == -1) {
        Require(*start == -1 && *end == -1 && unit.isEmpty(), "half a span, or text without one");
        return unit;
    }
    Require(0 <= *start && *start < *end && *end <= text.size(), "span outside the text or empty");
    Require(unit == text.mid(*start, *end - *start), "the unit is not the text of its span");
    return unit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    const QAccessible::TextBoundaryType type = kTypes[(data[0] & 0x0F) % std::size(kTypes)];
    std::int32_t offset = 0;
    std::memcpy(&offset, data + 1, sizeof offset);
    // Mostly offsets in and around the text, now and then any at all.
    if ((data[0] & 0x80) == 0) offset %= 64;
    QString text;
    for (std::size_t i = 5; i + 1 < size; i += 2) text.append(QChar(char16_t(data[i] | (data[i + 1] << 8))));

    int start = 0, end = 0;
    Checked(text, offset, type, 0, &start, &end);
    const int size16 = static_cast<int>(text.size());
    if (offset >= 0 && offset < size16) {
        Require(start <= offset && offset < end, "the unit at an offset does not hold it");
        int beforeStart = 0, beforeEnd = 0, afterStart = 0, afterEnd = 0;
        Checked(text, offset, type, -1, &beforeStart, &beforeEnd);
        Checked(text, offset, type, 1, &afterStart, &afterEnd);
        Require(beforeStart == -1 || beforeEnd == start, "the unit before does not end where this one starts");
        Require(afterStart == -1 || afterStart == end, "the unit after does not start where this one ends");
        Require(beforeStart != -1 || start == 0, "nothing before a unit that does not start the text");
        Require(afterStart != -1 || end == size16, "nothing after a unit that does not end the text");
    }
    return 0;
}
