// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CVariationsWnd.h"

#include "app/CQuarnEditApp.h"
#include "editor/Variations.h"
#include "ui/DialogUnits.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

static_assert(kVariationCount == 8);

CVariationsWnd::CVariationsWnd(CQuarnEditApp& app, QWidget* parent) : QWidget(parent, Qt::Window), m_app(app) {
    setWindowTitle(QStringLiteral("Variations - QuarnEdit"));
    setFont(DialogFont());
    auto* layout = new QVBoxLayout(this);
    m_round = new QLabel(this);
    m_round->setAccessibleName(QStringLiteral("Round"));
    layout->addWidget(m_round);

    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        auto* button = new QPushButton(QString::number(i + 1), this);
        button->setCheckable(true);
        button->setMinimumSize(56, 40);
        button->setToolTip(QStringLiteral("Audition variation %1 (key %1; Ctrl: a second choice)").arg(i + 1));
        grid->addWidget(button, static_cast<int>(i / 4), static_cast<int>(i % 4));
        // The click's own toggle is undone: the buttons show the session's choice.
        connect(button, &QPushButton::clicked, this,
                [this, i] { Choose(i, (QApplication::keyboardModifiers() & Qt::ControlModifier) != 0); });
        connect(new QShortcut(QKeySequence(Qt::Key_1 + static_cast<int>(i)), this), &QShortcut::activated, this,
                [this, i] { Choose(i, false); });
        connect(new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + static_cast<int>(i))), this), &QShortcut::activated,
                this, [this, i] { Choose(i, true); });
        m_buttons[i] = button;
    }
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    m_breed = new QPushButton(QStringLiteral("&Breed"), this);
    m_back = new QPushButton(QStringLiteral("B&ack"), this);
    m_keep = new QPushButton(QStringLiteral("&Keep"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    buttons->addWidget(m_breed);
    buttons->addWidget(m_back);
    buttons->addStretch();
    buttons->addWidget(m_keep);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_breed, &QPushButton::clicked, this, [this] {
        if (VariationSession* v = m_app.Sound().Variations()) v->Breed();
    });
    connect(m_back, &QPushButton::clicked, this, [this] {
        if (VariationSession* v = m_app.Sound().Variations()) v->Back();
    });
    connect(m_keep, &QPushButton::clicked, this, [this] { m_app.Sound().EndVariations(true); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

    if (VariationSession* v = m_app.Sound().Variations()) v->SetObserver([this] { Update(); });
    Update();
    m_buttons[0]->setFocus();
}

CVariationsWnd::~CVariationsWnd() {
    // Gone without closing (its parent went first): the variations, still open, no longer tell it anything.
    if (VariationSession* v = m_app.Sound().Variations(); v != nullptr && !m_ended) v->SetObserver({});
}

void CVariationsWnd::Choose(std::size_t index, bool second) {
    VariationSession* v = m_app.Sound().Variations();
    if (v == nullptr) return;
    if (second) {
        v->AuditionSecond(index);
    } else {
        v->Audition(index);
    }
    Update();
}

void CVariationsWnd::Update() {
    const VariationSession* v = m_app.Sound().Variations();
    const std::optional<std::size_t> chosen = v != nullptr ? v->Chosen() : std::nullopt;
    const std::optional<std::size_t> second = v != nullptr ? v->Second() : std::nullopt;
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        QPushButton* button = m_buttons[i];
        const bool isChosen = chosen == i, isSecond = second == i;
        button->setChecked(isChosen || isSecond);
        button->setText(isSecond ? QStringLiteral("%1 +").arg(i + 1) : QString::number(i + 1));
        button->setAccessibleName(QStringLiteral("Variation %1").arg(i + 1));
        // Until one is picked, Breed and Keep are out of the Tab order: the buttons before them say why.
        button->setAccessibleDescription(isChosen   ? QStringLiteral("chosen")
                                         : isSecond ? QStringLiteral("second choice")
                                         : !chosen  ? QStringLiteral("Breed and Keep wait for a pick")
                                                    : QString());
    }
    QString round = QStringLiteral("Round %1").arg(v != nullptr ? v->RoundNumber() : 1);
    if (chosen) round += QStringLiteral(": variation %1").arg(*chosen + 1);
    if (second) round += QStringLiteral(" and %1").arg(*second + 1);
    m_round->setText(round);
    m_breed->setEnabled(chosen.has_value());
    m_keep->setEnabled(chosen.has_value());
    const QString first = chosen ? QString() : QStringLiteral("pick a variation first");
    m_breed->setAccessibleDescription(first);
    m_keep->setAccessibleDescription(first);
    m_back->setEnabled(v != nullptr && v->RoundNumber() > 1);
}

void CVariationsWnd::CloseEnded() {
    m_ended = true;
    close();
}

void CVariationsWnd::closeEvent(QCloseEvent* event) {
    if (!m_ended) {
        m_ended = true;
        if (VariationSession* v = m_app.Sound().Variations()) v->SetObserver({});
        m_app.Sound().EndVariations(false);
    }
    event->accept();
}
