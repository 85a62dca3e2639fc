// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    const std::int64_t product = std::int64_t{number} * numerator;
    const std::int64_t half = std::llabs(denominator) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t q = (std::llabs(product) + half) / std::llabs(denominator);
    return static_cast<int>(negative ? -q : q);
}

DialogUnits DialogUnits::ForFont(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int letters = metrics.horizontalAdvance(alphabet);
    // Twice the average, plus one, halved: the average rounded to the nearest pixel.
    return DialogUnits{(letters / 26 + 1) / 2, metrics.height()};
}

QFont FormFont() {
    QFont font(QString::fromUtf8(kFormFontFamily.data(), static_cast<qsizetype>(kFormFontFamily.size())),
               kFormFontPointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont DialogFont() {
    // Liberation Sans has the metrics of the form's font, so both kinds of window look alike.
    QFont font;
    font.setFamilies(
        QStringList{QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}
