// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/GroupFrame.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>

GroupFrame::GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {
    setFocusPolicy(Qt::NoFocus);
    // Clicks on the frame's empty inside go to the form, as on a drawn frame.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void GroupFrame::SetTitle(const QString& title) {
    m_title = title;
    update();
}

void GroupFrame::paintEvent(QPaintEvent* event) {
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    // A control inside the frame repaints its own rectangle, and Qt hands that to the frame beneath it
    // too; only the edges and the title band are drawn, so a region that misses both has nothing to draw.
    const QRegion drawn = QRegion(rect()) - QRegion(rect().adjusted(2, std::max(top + 2, metrics.height()), -2, -2));
    if (!event->region().intersects(drawn)) return;
    QPainter p(this);
    const int indent = metrics.averageCharWidth();
    const int textWidth = m_title.isEmpty() ? 0 : metrics.horizontalAdvance(m_title) + 4;
    const int gapLeft = indent;
    const int gapRight = indent + textWidth;

    // Two lines, a shadow and a highlight one pixel to the lower right: the etched edge.
    const auto frame = [&](const QColor& colour, int offset) {
        p.setPen(colour);
        const int left = offset;
        const int right = width() - 2 + offset;
        const int y = top + offset;
        const int bottom = height() - 2 + offset;
        if (textWidth > 0) {
            p.drawLine(left, y, gapLeft, y);
            p.drawLine(gapRight, y, right, y);
        } else {
            p.drawLine(left, y, right, y);
        }
        p.drawLine(left, y, left, bottom);
        p.drawLine(left, bottom, right, bottom);
        p.drawLine(right, y, right, bottom);
    };
    frame(palette().color(QPalette::Mid), 0);
    frame(palette().color(QPalette::Light), 1);

    if (textWidth > 0) {
        const QRect textRect(gapLeft, 0, textWidth, metrics.height());
        style()->drawItemText(&p, textRect, Qt::AlignCenter, palette(), isEnabled(), m_title, QPalette::WindowText);
    }
}
