// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ControlTable.h"

#include <QFont>
#include <QRect>

// Multiplies and divides with rounding to the nearest integer, halves away from zero.
int MulDiv(int number, int numerator, int denominator);

// Dialog units to pixels, as dialog templates are laid out: a horizontal unit is a quarter of the
// font's average letter width, a vertical unit an eighth of its height. The average is taken over the
// 52 letters A-Z and a-z, not the font's own average character width, so that a template keeps the
// proportions it was drawn with.
struct DialogUnits {
    int baseX = 0;
    int baseY = 0;

    static DialogUnits ForFont(const QFont& font);

    int X(int dlu) const { return MulDiv(dlu, baseX, 4); }
    int Y(int dlu) const { return MulDiv(dlu, baseY, 8); }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    QRect Rect(const DialogRect& r) const { return Rect(r.x, r.y, r.w, r.h); }
};

// The small dialogs (MIDI Options, Comment, About) are laid out in the units of their own template font, an
// 8-point sans serif of 6 x 13 base units, whatever the font that stands in for it here measures.
constexpr DialogUnits kSmallDialogUnits{6, 13};

// The editor form's template font.
QFont FormFont();
// The font of the small dialogs (MIDI Options, Comment, About): a plain sans serif at 8 points.
QFont DialogFont();
