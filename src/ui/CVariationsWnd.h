// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <array>

class CQuarnEditApp;
class QLabel;
class QPushButton;

// The variations window: eight numbered buttons, each auditioning its variation (keys 1 to 8; Ctrl chooses a
// second one for a Breed between two), Breed, Back, Keep. It says its keys, the amount and sections the rounds
// are made with, and which variation plays. Not modal; closing it (Escape) keeps nothing.
class CVariationsWnd : public QWidget {
public:
    explicit CVariationsWnd(CQuarnEditApp& app, QWidget* parent = nullptr);
    ~CVariationsWnd() override;

    QPushButton* Variation(std::size_t index) const { return m_buttons.at(index); }
    QPushButton* BreedButton() const { return m_breed; }
    QPushButton* BackButton() const { return m_back; }
    QPushButton* KeepButton() const { return m_keep; }
    QLabel* Round() const { return m_round; }
    // Which variation the form shows and the synthesizer plays.
    QLabel* Playing() const { return m_playing; }
    // The keys, and the amount and sections in use.
    QLabel* Keys() const { return m_keys; }
    QLabel* Settings() const { return m_settings; }
    // Closes without ending again: the variations already ended.
    void CloseEnded();
    // Shows what the variations hold now.
    void Update();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Choose(std::size_t index, bool second);

    CQuarnEditApp& m_app;
    std::array<QPushButton*, 8> m_buttons{};
    QLabel* m_round = nullptr;
    QLabel* m_playing = nullptr;
    QLabel* m_keys = nullptr;
    QLabel* m_settings = nullptr;
    QPushButton* m_breed = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_keep = nullptr;
    bool m_ended = false;
};
