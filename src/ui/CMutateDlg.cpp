// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CMutateDlg.h"

#include "ui/Accessibility.h"
#include "ui/DialogUnits.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>

CMutateDlg::CMutateDlg(const MutationSettings& current, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Mutate"));
    setFont(DialogFont());
    auto* layout = new QVBoxLayout(this);

    auto* form = new QFormLayout;
    m_amount = new QSpinBox(this);
    m_amount->setRange(1, 100);
    m_amount->setSuffix(QStringLiteral(" %"));
    m_amount->setValue(current.amountPercent);
    form->addRow(QStringLiteral("&Amount:"), m_amount);
    layout->addLayout(form);

    auto* sections = new QGroupBox(QStringLiteral("Sections"), this);
    auto* grid = new QGridLayout(sections);
    for (std::size_t i = 0; i < kMutationSections.size(); ++i) {
        const std::string_view name = kMutationSections[i];
        m_sections[i] = new QCheckBox(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())), sections);
        m_sections[i]->setChecked(current.sections[i]);
        grid->addWidget(m_sections[i], static_cast<int>(i % 3), static_cast<int>(i / 3));
    }
    layout->addWidget(sections);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* mutate = buttons->addButton(QStringLiteral("&Mutate"), QDialogButtonBox::AcceptRole);
    mutate->setDefault(true);
    m_randomizeButton = buttons->addButton(QStringLiteral("&Randomize"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(mutate, &QPushButton::clicked, this, [this] {
        m_randomize = false;
        accept();
    });
    connect(m_randomizeButton, &QPushButton::clicked, this, [this] {
        m_randomize = true;
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    NameBuddies(this);
    m_amount->setFocus();
}

MutationRequest CMutateDlg::Request() const {
    MutationRequest request;
    request.settings.amountPercent = m_amount->value();
    for (std::size_t i = 0; i < m_sections.size(); ++i) request.settings.sections[i] = m_sections[i]->isChecked();
    request.randomize = m_randomize;
    return request;
}
