// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessible>
#include <QString>

// The character, word, sentence or line of `shown` at `offset` (step 0), or the one before or after it (step -1
// or 1), for a text of one line, as screen readers ask for them; its span in `*start` and `*end`, or -1 and an
// empty text where there is none. Offset -1 is the end. At the end of the text the last unit is the one at the
// offset, except a character. (Qt's own answer for the word or sentence at the end never comes.)
QString TextUnit(const QString& shown, int offset, QAccessible::TextBoundaryType type, int step, int* start, int* end);
