// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CMidiMonitorWnd.h"

#include "app/MidiMonitor.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

CMidiMonitorWnd::CMidiMonitorWnd(MidiMonitor& monitor, QWidget* parent)
    : QWidget(parent, Qt::Window), m_monitor(monitor) {
    setWindowTitle(QStringLiteral("MIDI Monitor - QuarnEdit"));
    auto* layout = new QVBoxLayout(this);
    m_lines = new QPlainTextEdit(this);
    m_lines->setReadOnly(true);
    // A long line (a knob's, with what it moved) wraps rather than hiding its end behind a scroll bar.
    m_lines->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_lines->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_lines->setMaximumBlockCount(static_cast<int>(MidiMonitor::kCapacity));
    m_lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_lines->setAccessibleName(QStringLiteral("Messages sent"));
    // Tab goes on to the buttons: the lines are only read.
    m_lines->setTabChangesFocus(true);
    layout->addWidget(m_lines);

    auto* buttons = new QHBoxLayout;
    auto* clear = new QPushButton(QStringLiteral("C&lear"), this);
    m_pause = new QPushButton(QStringLiteral("&Pause"), this);
    m_pause->setCheckable(true);
    auto* copy = new QPushButton(QStringLiteral("&Copy"), this);
    buttons->addWidget(clear);
    buttons->addWidget(m_pause);
    buttons->addWidget(copy);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(clear, &QPushButton::clicked, this, [this] {
        m_monitor.Clear();
        m_lines->clear();
    });
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) { m_monitor.SetPaused(paused); });
    connect(copy, &QPushButton::clicked, this, [this] {
        // The selection, or every line kept.
        const QString selected =
            m_lines->textCursor().selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        QApplication::clipboard()->setText(selected.isEmpty() ? ToQString(m_monitor.Text()) : selected);
    });

    // Left from the keyboard as a dialog is.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &CMidiMonitorWnd::Update);
    m_timer->start(50);
    // Wide enough for a knob's line in most cases: 84 columns of the fixed font, and the frame of the lines.
    resize(m_lines->fontMetrics().horizontalAdvance(QString(84, QLatin1Char('0'))) + 64, 420);
    m_lines->setFocus();
}

void CMidiMonitorWnd::Update() {
    const std::vector<MidiMonitor::Entry> entries = m_monitor.TakeNew();
    if (entries.empty()) return;
    QScrollBar* bar = m_lines->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    QString text;
    for (const MidiMonitor::Entry& entry : entries) {
        if (!text.isEmpty()) text += QLatin1Char('\n');
        text += ToQString(m_monitor.Line(entry));
    }
    m_lines->appendPlainText(text);
    // The newest stays in sight unless the user scrolled back to read.
    if (atBottom) bar->setValue(bar->maximum());
}
