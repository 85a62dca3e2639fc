// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/NoticeBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

NoticeBar::NoticeBar(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    // The tooltip colours: a note beside the work, set apart from the form without alarming.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::ToolTipBase));
    colours.setColor(QPalette::WindowText, colours.color(QPalette::ToolTipText));
    setPalette(colours);
    setAccessibleName(QStringLiteral("Notice"));

    m_text = new QLabel(this);
    m_text->setWordWrap(true);
    // Read with the keyboard as well: Tab reaches the text (a screen reader reads it there), then Close.
    m_text->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    m_text->setFocusPolicy(Qt::TabFocus);
    m_close = new QToolButton(this);
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setAutoRaise(true);
    m_close->setFocusPolicy(Qt::TabFocus);
    m_close->setAccessibleName(QStringLiteral("Close notice"));
    m_close->setToolTip(QStringLiteral("Close notice"));
    connect(m_close, &QToolButton::clicked, this, &QWidget::hide);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 3, 3, 3);
    row->addWidget(m_text, 1);
    row->addWidget(m_close, 0, Qt::AlignTop);
    hide();
}

void NoticeBar::ShowNotice(const QString& text) {
    m_text->setText(text);
    m_text->setAccessibleName(text);
    show();
}

QString NoticeBar::Text() const { return isVisible() ? m_text->text() : QString(); }
