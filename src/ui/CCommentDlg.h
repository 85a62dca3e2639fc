// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "patch/PatchText.h"

#include <QDialog>

#include <cstddef>
#include <limits>
#include <string>

class QLabel;
class QTextEdit;

// The Comment dialog: a multi-line plain text of at most kMaxChars characters, and at most the room its field
// has once stored, which it shows as the user types.
class CCommentDlg : public QDialog {
public:
    static constexpr int kMaxChars = 2048;
    static constexpr int kEditId = 1099;

    // Without a room only the character limit holds.
    explicit CCommentDlg(const TextRoom& room = {std::numeric_limits<std::size_t>::max(), TextEncoding::Utf8},
                         QWidget* parent = nullptr);

    void SetText(const std::string& text);
    std::string GetText() const { return m_text; }
    QTextEdit* Editor() const { return m_edit; }
    // "1,234 bytes left"; empty without a room.
    QLabel* RoomLine() const { return m_roomLine; }

    // Keeps the dialog open, after a warning, while the text is too long.
    void accept() override;

private:
    // The text as typed, every character as it is: no-break spaces and line separators stay themselves.
    QString TypedText() const;
    std::size_t StoredSize(const QString& text) const;
    void LimitInput();
    void ShowRoom();

    TextRoom m_room;
    QTextEdit* m_edit = nullptr;
    QLabel* m_roomLine = nullptr;
    std::string m_text;
    QString m_textAsSet;  // what the editor held right after SetText
    int m_lastLength = 0;
    bool m_limiting = false;
};
