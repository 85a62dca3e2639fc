// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CCommentDlg.h"

#include "ui/DialogUnits.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>

#include <algorithm>

namespace {
bool HasRoom(const TextRoom& room) { return room.bytes != std::numeric_limits<std::size_t>::max(); }
}  // namespace

CCommentDlg::CCommentDlg(const TextRoom& room, QWidget* parent) : QDialog(parent), m_room(room) {
    setWindowTitle(QStringLiteral("Comment"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogUnits du = kSmallDialogUnits;

    // Created in template order, which is the order the tab key visits: OK, Cancel, the text.
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(76, 168, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CCommentDlg::accept);

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(du.Rect(206, 168, 50, 14));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_edit = new QTextEdit(this);
    m_edit->setObjectName(QString::number(kEditId));
    m_edit->setAcceptRichText(false);
    m_edit->setAccessibleName(QStringLiteral("Comment"));
    // Lines run on to the right as typed; the vertical bar stays, greyed, when there is nothing to scroll.
    m_edit->setLineWrapMode(QTextEdit::NoWrap);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_edit->setTabChangesFocus(true);
    m_edit->setGeometry(du.Rect(1, 1, 329, 163));
    connect(m_edit, &QTextEdit::textChanged, this, &CCommentDlg::LimitInput);

    // Between the buttons: how many bytes the comment may still take.
    m_roomLine = new QLabel(this);
    m_roomLine->setGeometry(du.Rect(128, 171, 76, 8));
    m_roomLine->setAlignment(Qt::AlignCenter);
    ShowRoom();

    setFixedSize(du.X(332), du.Y(185));
    // Opened, the dialog is for typing: the text has the focus.
    m_edit->setFocus();
}

void CCommentDlg::SetText(const std::string& text) {
    m_text = text;
    // A longer text than the limit may come in; it is refused only when the user confirms it.
    m_lastLength = static_cast<int>(ToQString(text).size());
    {
        const QSignalBlocker blocker(m_edit);
        m_edit->setPlainText(ToQString(text));
    }
    m_textAsSet = TypedText();
    ShowRoom();
}

QString CCommentDlg::TypedText() const {
    // The plain text would turn no-break spaces into spaces and line separators into line breaks; the raw
    // text keeps them and has only the paragraphs to turn back into lines.
    QString text = m_edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

std::size_t CCommentDlg::StoredSize(const QString& text) const {
    return StoredCommentSize(FromQString(text), m_room.encoding);
}

void CCommentDlg::ShowRoom() {
    if (!HasRoom(m_room)) return;
    const std::size_t used = StoredSize(TypedText());
    const qlonglong left = used >= m_room.bytes ? 0 : static_cast<qlonglong>(m_room.bytes - used);
    m_roomLine->setText(left == 1 ? QStringLiteral("1 byte left") : QStringLiteral("%1 bytes left").arg(left));
    // A screen reader says it with the text it is about.
    m_edit->setAccessibleDescription(m_roomLine->text());
}

void CCommentDlg::LimitInput() {
    if (m_limiting) return;
    m_limiting = true;
    const QString text = TypedText();
    const int length = static_cast<int>(text.size());
    const bool tooLong = length > kMaxChars || StoredSize(text) > m_room.bytes;
    if (tooLong && length > m_lastLength) {
        // Take back what was just typed or pasted beyond the limit, just before the cursor, a character at a
        // time (a line break is two bytes once stored, a letter up to four).
        QTextCursor cursor = m_edit->textCursor();
        int takeBack = length - m_lastLength;
        while (takeBack > 0 && cursor.position() > 0) {
            const QString now = TypedText();
            if (now.size() <= kMaxChars && StoredSize(now) <= m_room.bytes) break;
            const int end = cursor.position();
            cursor.deletePreviousChar();
            takeBack -= end - cursor.position();
        }
        m_edit->setTextCursor(cursor);
        QApplication::beep();
    }
    m_lastLength = static_cast<int>(TypedText().size());
    ShowRoom();
    m_limiting = false;
}

void CCommentDlg::accept() {
    const QString text = TypedText();
    if (text.size() > kMaxChars) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("QuarnEdit"),
                        QStringLiteral("Please enter no more than %1 characters.").arg(kMaxChars), QMessageBox::Ok,
                        this);
        box.exec();
        m_edit->setFocus();
        return;
    }
    // A text left as it came keeps every character, even one the editor cannot hold as it was.
    if (text != m_textAsSet) m_text = FromQString(text);
    QDialog::accept();
}
