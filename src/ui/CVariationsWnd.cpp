// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CVariationsWnd.h"

#include "app/CQuarnEditApp.h"
#include "editor/Mutation.h"
#include "editor/Variations.h"
#include "ui/DialogUnits.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStringList>
#include <QVBoxLayout>

static_assert(kVariationCount == 8);

namespace {

// "Amount 10 %, all sections" or "Amount 25 %, sections DCO1, Filter": how the rounds are made.
QString SettingsText(const MutationSettings& settings) {
    QStringList names;
    for (std::size_t i = 0; i < kMutationSections.size(); ++i)
        if (settings.sections[i]) names << QString::fromUtf8(kMutationSections[i].data(), kMutationSections[i].size());
    const QString sections = names.size() == static_cast<qsizetype>(kMutationSections.size())
                                 ? QStringLiteral("all sections")
                                 : QStringLiteral("sections ") + names.join(QStringLiteral(", "));
    return QStringLiteral("Amount %1 %, %2 (as Mutate... sets them)").arg(settings.amountPercent).arg(sections);
}

}  // namespace

CVariationsWnd::CVariationsWnd(CQuarnEditApp& app, QWidget* parent) : QWidget(parent, Qt::Window), m_app(app) {
    setWindowTitle(QStringLiteral("Variations - QuarnEdit"));
    setFont(DialogFont());
    auto* layout = new QVBoxLayout(this);
    m_round = new QLabel(this);
    m_round->setAccessibleName(QStringLiteral("Round"));
    layout->addWidget(m_round);
    m_playing = new QLabel(this);
    m_playing->setAccessibleName(QStringLiteral("Playing"));
    layout->addWidget(m_playing);

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

    m_keys = new QLabel(QStringLiteral("Keys 1 to 8 play a variation; Ctrl+1 to 8 picks a second one to breed "
                                       "between the two."),
                        this);
    m_keys->setWordWrap(true);
    m_keys->setAccessibleName(QStringLiteral("Keys"));
    layout->addWidget(m_keys);
    m_settings = new QLabel(this);
    m_settings->setWordWrap(true);
    m_settings->setAccessibleName(QStringLiteral("Made with"));
    layout->addWidget(m_settings);

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
    const std::size_t roundNumber = v != nullptr ? v->RoundNumber() : 1;
    // Round 0: nothing heard yet.
    const VariationSession::Heard heard =
        v != nullptr ? v->HeardNow().value_or(VariationSession::Heard{}) : VariationSession::Heard{};
    const bool anyHeard = heard.round != 0;
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        QPushButton* button = m_buttons[i];
        const bool isChosen = chosen == i, isSecond = second == i;
        const bool playing = heard.round == roundNumber && heard.index == i;
        button->setChecked(isChosen || isSecond);
        // The two picks differ in words and in type, not in colour alone: the first bold, the second italic.
        QString text = QString::number(i + 1);
        if (playing) text = QStringLiteral("\u25B6 ") + text;
        if (isChosen) text += QStringLiteral("\nfirst");
        if (isSecond) text += QStringLiteral("\nsecond");
        button->setText(text);
        QFont font = this->font();
        font.setBold(isChosen);
        font.setItalic(isSecond);
        button->setFont(font);
        button->setAccessibleName(QStringLiteral("Variation %1").arg(i + 1));
        // Until one is picked, Breed and Keep are out of the Tab order: the buttons before them say why.
        QStringList about;
        if (isChosen) about << QStringLiteral("first pick");
        if (isSecond) about << QStringLiteral("second pick");
        if (playing) about << QStringLiteral("playing");
        if (!chosen && !anyHeard) about << QStringLiteral("Breed and Keep wait for a pick");
        button->setAccessibleDescription(about.join(QStringLiteral(", ")));
    }
    QString round = QStringLiteral("Round %1").arg(roundNumber);
    if (chosen) round += QStringLiteral(": variation %1").arg(*chosen + 1);
    if (second) round += QStringLiteral(" and %1").arg(*second + 1);
    m_round->setText(round);
    QString playing = QStringLiteral("Playing: the patch (press a number)");
    if (heard.round == roundNumber) {
        playing = QStringLiteral("Playing: variation %1").arg(heard.index + 1);
    } else if (anyHeard) {
        playing = QStringLiteral("Playing: variation %1 of round %2").arg(heard.index + 1).arg(heard.round);
    }
    m_playing->setText(playing);
    if (v != nullptr) m_settings->setText(SettingsText(v->Settings()));
    m_breed->setEnabled(chosen.has_value());
    // Keep keeps what plays, which may be a pick of the round before.
    m_keep->setEnabled(anyHeard);
    const QString first = QStringLiteral("pick a variation first");
    m_breed->setAccessibleDescription(chosen ? QString() : first);
    m_keep->setAccessibleDescription(anyHeard ? playing : first);
    m_back->setEnabled(v != nullptr && roundNumber > 1);
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
