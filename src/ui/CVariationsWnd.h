// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <array>

class CQuarnEditApp;
class QLabel;
class QPushButton;

// The variations window: eight numbered buttons, each auditioning its variation (keys 1 to 8; Ctrl chooses a
// second one for a Breed between two), Breed, Back, Keep. Not modal; closing it (Escape) keeps nothing.
class CVariationsWnd : public QWidget {
public:
    explicit CVariationsWnd(CQuarnEditApp& app, QWidget* parent = nullptr);
    ~CVariationsWnd() override;

    QPushButton* Variation(std::size_t index) const { return m_buttons.at(index); }
    QPushButton* BreedButton() const { return m_breed; }
    QPushButton* BackButton() const { return m_back; }
    QPushButton* KeepButton() const { return m_keep; }
    QLabel* Round() const { return m_round; }
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
    QPushButton* m_breed = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_keep = nullptr;
    bool m_ended = false;
};
