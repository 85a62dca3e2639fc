// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CEnvelopeWnd.h"

#include "editor/FixedLists.h"

#include <QCloseEvent>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The shortest time between two refreshes: a frame of a 60 Hz screen.
constexpr qint64 kFrameMs = 16;

// Room around the plot, in the widget's own (device-independent) pixels; the text rows come on top of it.
constexpr qreal kMargin = 10;

// `width` in the widget's pixels, `scale` its device pixels per pixel.
QPen Pen(const QColor& color, qreal width, qreal scale, Qt::PenStyle style = Qt::SolidLine) {
    // Cosmetic, in whole device pixels: a thin line is one pixel at 1x and two at 1.5x and 2x, never a pixel and
    // a half blurred over two.
    QPen pen(color, std::max<qreal>(1, std::round(width * scale)), style, Qt::RoundCap, Qt::RoundJoin);
    pen.setCosmetic(true);
    return pen;
}

QColor Faded(QColor color, int alpha) {
    color.setAlpha(alpha);
    return color;
}

QString ModeLabel(const EnvelopeControls& section, bool on) {
    const QString mode = section.mode == EnvelopeMode::Loop ? QStringLiteral("Loop") : QStringLiteral("Free run");
    return mode + (on ? QStringLiteral(" [Level => release]: on") : QStringLiteral(" [Level => release]: off"));
}

}  // namespace

EnvelopeView::EnvelopeView(FormState& form, const EnvelopeControls& section, QWidget* parent)
    : QWidget(parent), m_form(form), m_section(section) {
    // A picture a keyboard user reaches with Tab, so that a screen reader says its words.
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QString::fromUtf8(section.name.data(), static_cast<qsizetype>(section.name.size())) +
                      QStringLiteral(" envelope"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_form.AddWatcher(this);
    Refresh();
}

EnvelopeView::~EnvelopeView() { m_form.RemoveWatcher(this); }

QSize EnvelopeView::sizeHint() const { return {460, 200}; }
QSize EnvelopeView::minimumSizeHint() const { return {240, 120}; }

void EnvelopeView::ControlStateChanged(int id) {
    // The cost an edit pays for the picture: a comparison, and at most one timer started per refresh. A refresh
    // comes once the event loop runs, but no sooner than a frame after the one before: a knob that sends hundreds
    // of changes a second is drawn at the screen's pace, not at the knob's.
    if (m_pending || !ShowsInEnvelope(m_section, id)) return;
    m_pending = true;
    const qint64 since = m_lastRefresh.isValid() ? m_lastRefresh.elapsed() : kFrameMs;
    QTimer::singleShot(static_cast<int>(std::max<qint64>(0, kFrameMs - since)), this, &EnvelopeView::Refresh);
}

void EnvelopeView::Refresh() {
    m_pending = false;
    m_lastRefresh.start();
    ++m_refreshes;
    const EnvelopeValues values = ReadEnvelope(m_form, m_section);
    if (values == m_values && m_refreshes > 1) return;
    m_values = values;
    m_shape = ShapeOf(values, m_section.mode);
    const QString words = QString::fromStdString(DescribeEnvelope(m_section.name, values, m_section.mode));
    // Qt tells screen readers that the description changed.
    if (words != accessibleDescription()) setAccessibleDescription(words);
    setToolTip(words);
    // Drawn at the next paint, once however many refreshes come before it.
    update();
}

void EnvelopeView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) update();
    QWidget::changeEvent(event);
}

void EnvelopeView::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // The palette's colours, so that a dark desktop gets a dark picture with light lines.
    const QPalette& pal = palette();
    const QColor base = pal.color(QPalette::Base);
    const QColor text = pal.color(QPalette::Text);
    const QColor line = pal.color(QPalette::Highlight);
    const QColor grid = Faded(text, 48);
    const QColor muted = Faded(text, 160);
    const qreal scale = devicePixelRatioF();

    const QRectF whole = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.fillRect(rect(), base);
    p.setPen(Pen(hasFocus() ? line : pal.color(QPalette::Mid), hasFocus() ? 2 : 1, scale));
    p.drawRect(whole);

    // The heading: the section, and what its box is set to.
    QFont heading = font();
    heading.setBold(true);
    const QFontMetricsF headingMetrics(heading);
    const QFontMetricsF metrics(font());
    p.setFont(heading);
    p.setPen(text);
    const QString name = QString::fromUtf8(m_section.name.data(), static_cast<qsizetype>(m_section.name.size()));
    p.drawText(QPointF(kMargin, kMargin + headingMetrics.ascent()), name);
    p.setFont(font());
    p.setPen(muted);
    p.drawText(QPointF(kMargin + headingMetrics.horizontalAdvance(name) + metrics.averageCharWidth() * 2,
                       kMargin + headingMetrics.ascent()),
               ModeLabel(m_section, m_values.levelToRelease));

    // The plot: time left to right over the whole span, level bottom to top. Room above for the loop's arrow.
    const qreal top = kMargin + headingMetrics.height() + metrics.height() + 8;
    const qreal bottom = height() - kMargin - metrics.height() - 4;
    const QRectF plot(kMargin + 2, top, width() - 2 * kMargin - 4, std::max<qreal>(bottom - top, 10));
    const auto x = [&](double time) { return plot.left() + time / kEnvelopeSpan * plot.width(); };
    const auto y = [&](double level) { return plot.bottom() - level * plot.height(); };
    const auto at = [&](const EnvelopePoint& point) { return QPointF(x(point.time), y(point.level)); };

    p.setPen(Pen(grid, 1, scale));
    for (const double level : {0.0, 0.5, 1.0})
        p.drawLine(QPointF(plot.left(), y(level)), QPointF(plot.right(), y(level)));

    // The key: pressed at the left, released at the dashed line.
    p.setPen(Pen(muted, 1, scale, Qt::DashLine));
    p.drawLine(QPointF(x(m_shape.keyUp), plot.top()), QPointF(x(m_shape.keyUp), plot.bottom()));
    p.setPen(muted);
    const QString keyUp = QStringLiteral("key up");
    p.drawText(QPointF(x(m_shape.keyUp) - metrics.horizontalAdvance(keyUp) / 2, plot.bottom() + metrics.ascent() + 3),
               keyUp);

    // Where the offset puts the start and the end; dashed, with its source, when it follows one.
    if (m_shape.baselineFollows || m_shape.baseline > 0) {
        p.setPen(Pen(muted, 1, scale, m_shape.baselineFollows ? Qt::DashLine : Qt::DotLine));
        p.drawLine(QPointF(plot.left(), y(m_shape.baseline)), QPointF(plot.right(), y(m_shape.baseline)));
        QString label = QStringLiteral("offset");
        if (m_shape.baselineFollows && m_values.offsetSource >= 0 &&
            m_values.offsetSource < static_cast<int>(g_modSourceNames.size())) {
            const std::string_view source = g_modSourceNames[static_cast<std::size_t>(m_values.offsetSource)];
            label +=
                QStringLiteral(" follows ") + QString::fromUtf8(source.data(), static_cast<qsizetype>(source.size()));
        }
        p.setPen(muted);
        p.drawText(QPointF(plot.right() - metrics.horizontalAdvance(label), y(m_shape.baseline) - 3), label);
    }

    // The shape, its area lightly filled down to 0.
    QPainterPath path(at(m_shape.line.front()));
    for (const auto* run : {&m_shape.line, &m_shape.repeat, &m_shape.tail})
        for (const EnvelopePoint& point : *run) path.lineTo(at(point));
    QPainterPath area = path;
    area.lineTo(x(m_shape.tail.back().time), y(0));
    area.lineTo(x(0), y(0));
    area.closeSubpath();
    p.fillPath(area, Faded(line, 56));

    const auto polyline = [&](const std::vector<EnvelopePoint>& run) {
        QPolygonF points;
        points.reserve(static_cast<qsizetype>(run.size()));
        for (const EnvelopePoint& point : run) points << at(point);
        p.drawPolyline(points);
    };
    p.setPen(Pen(line, 2, scale));
    polyline(m_shape.line);
    polyline(m_shape.tail);
    p.setPen(Pen(line, 2, scale, Qt::DashLine));
    polyline(m_shape.repeat);

    // Loop: an arrow over the rounds, from the end of the decay back to where it rises to the level again.
    if (m_shape.loop) {
        const QPointF from(x(m_shape.loop->from), y(1.0) - 4);
        const QPointF to(x(m_shape.loop->to), y(1.0) - 4);
        const qreal lift = metrics.height() * 0.7;
        QPainterPath arrow(from);
        arrow.cubicTo(from - QPointF(0, lift), to - QPointF(0, lift), to);
        p.setPen(Pen(text, 1.5, scale));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow);
        const qreal head = 5;
        p.drawLine(to, to + QPointF(-head * 0.7, -head));
        p.drawLine(to, to + QPointF(head * 0.7, -head));
        p.setPen(text);
        p.drawText(QPointF(std::max(from.x(), to.x()) + 6, from.y() - lift / 2), QStringLiteral("loop"));
    }
    // Free run: a mark where it goes on to the release without waiting for the key.
    if (m_shape.freeRunFrom) {
        const QPointF mark = at(*m_shape.freeRunFrom);
        const qreal r = 4.5;
        QPolygonF diamond;
        diamond << mark + QPointF(0, -r) << mark + QPointF(r, 0) << mark + QPointF(0, r) << mark + QPointF(-r, 0);
        p.setPen(Pen(text, 1, scale));
        p.setBrush(text);
        p.drawPolygon(diamond);
        p.setBrush(Qt::NoBrush);
        p.drawText(QPointF(mark.x() + r + 3, mark.y() - r - 2), QStringLiteral("free run"));
    }

    // The segments named below the axis where each is wide enough for its letter.
    p.setPen(muted);
    const auto nameSpan = [&](double from, double to, const QString& letter) {
        const qreal width = x(to) - x(from);
        if (width < metrics.horizontalAdvance(letter) + 2) return;
        p.drawText(
            QPointF((x(from) + x(to) - metrics.horizontalAdvance(letter)) / 2, plot.bottom() + metrics.ascent() + 3),
            letter);
    };
    const double attackEnd = m_shape.line[1].time;
    const double decayEnd = m_shape.line[2].time;
    nameSpan(0, attackEnd, QStringLiteral("A"));
    nameSpan(attackEnd, decayEnd, QStringLiteral("D"));
    if (!m_shape.freeRunFrom) {
        nameSpan(decayEnd, m_shape.keyUp - metrics.horizontalAdvance(keyUp) / 2 / plot.width() * kEnvelopeSpan,
                 m_shape.loop ? QStringLiteral("loop") : QStringLiteral("S"));
        nameSpan(m_shape.keyUp + metrics.horizontalAdvance(keyUp) / 2 / plot.width() * kEnvelopeSpan,
                 m_shape.tail.back().time, QStringLiteral("R"));
    } else {
        nameSpan(decayEnd, m_shape.tail.back().time, QStringLiteral("R"));
    }
}

CEnvelopeWnd::CEnvelopeWnd(FormState& form, QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Envelopes - QuarnEdit"));
    auto* layout = new QVBoxLayout(this);
    m_env1 = new EnvelopeView(form, EnvelopeSections()[0], this);
    m_env2 = new EnvelopeView(form, EnvelopeSections()[1], this);
    layout->addWidget(m_env1);
    layout->addWidget(m_env2);
    // Left from the keyboard as a dialog is.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    m_env1->setFocus();
}

void CEnvelopeWnd::CloseQuietly() {
    m_closed = nullptr;
    close();
}

void CEnvelopeWnd::closeEvent(QCloseEvent* event) {
    event->accept();
    if (auto handler = std::exchange(m_closed, nullptr)) handler();
}
