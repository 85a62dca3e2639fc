#pragma once

#include <QDialog>

#include <string>

class QTextEdit;

// The Comment dialog: a multi-line plain text of at most kMaxChars characters.
class CCommentDlg : public QDialog {
public:
    static constexpr int kMaxChars = 2048;
    static constexpr int kEditId = 1099;

    explicit CCommentDlg(QWidget* parent = nullptr);

    void SetText(const std::string& text);
    std::string GetText() const { return m_text; }
    QTextEdit* Editor() const { return m_edit; }

    // Keeps the dialog open, after a warning, while the text is too long.
    void accept() override;

private:
    void LimitInput();

    QTextEdit* m_edit = nullptr;
    std::string m_text;
    int m_lastLength = 0;
};
