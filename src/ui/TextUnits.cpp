// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TextUnits.h"

#include <QList>
#include <QTextBoundaryFinder>

#include <algorithm>

// The character, word, sentence or line of `shown` at the offset, or the one before or after it (step -1 or 1),
// for a text of one line. At the end of the text the last unit is the one at the offset, except a character.
QString TextUnit(const QString& shown, int offset, QAccessible::TextBoundaryType type, int step, int* start, int* end) {
    *start = *end = -1;
    const auto size = static_cast<int>(shown.size());
    if (offset == -1) offset = size;
    if (shown.isEmpty() || offset < 0 || offset > size) return {};
    // The units' boundaries, from 0 to the end.
    QList<int> bounds{0};
    if (type == QAccessible::CharBoundary || type == QAccessible::WordBoundary ||
        type == QAccessible::SentenceBoundary) {
        QTextBoundaryFinder finder(type == QAccessible::CharBoundary   ? QTextBoundaryFinder::Grapheme
                                   : type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                       : QTextBoundaryFinder::Sentence,
                                   shown);
        for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary())
            bounds.append(static_cast<int>(at));
    }
    if (bounds.last() != size) bounds.append(size);
    // The unit holding the offset: the last whose start is at or before it.
    auto unit = static_cast<int>(std::upper_bound(bounds.begin(), bounds.end(), offset) - bounds.begin()) - 1;
    if (offset == size) {
        if (type == QAccessible::CharBoundary && step == 0) return {};
        unit = static_cast<int>(bounds.size()) - 2 + (type == QAccessible::CharBoundary ? 1 : 0);
    }
    unit += step;
    if (unit < 0 || unit + 1 >= bounds.size()) return {};
    *start = bounds[unit];
    *end = bounds[unit + 1];
    return shown.mid(*start, *end - *start);
}
