// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace {

QPixmap PaintIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on the 64-unit grid of the SVG.
    p.scale(size / 64.0, size / 64.0);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0x4a, 0x6f));
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 10, 10);

    QPen groove(QColor(0xd9, 0xe2, 0xec), 4);
    groove.setCapStyle(Qt::RoundCap);
    p.setPen(groove);
    for (int y : {20, 32, 44}) p.drawLine(QPointF(14, y), QPointF(50, y));

    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(0xf2, 0xa5, 0x41));
    for (auto [x, y] : {std::pair{24, 20}, std::pair{40, 32}, std::pair{30, 44}}) p.drawEllipse(QPointF(x, y), 6, 6);
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(PaintIcon(size));
    return icon;
}
