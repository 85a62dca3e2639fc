#include "ui/CCommentDlg.h"

#include "ui/DialogUnits.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>

#include <algorithm>

CCommentDlg::CCommentDlg(QWidget* parent) : QDialog(parent) {
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

    setFixedSize(du.X(332), du.Y(185));
    // Opened, the dialog is for typing: the text has the focus.
    m_edit->setFocus();
}

void CCommentDlg::SetText(const std::string& text) {
    m_text = text;
    // A longer text than the limit may come in; it is refused only when the user confirms it.
    m_lastLength = static_cast<int>(ToQString(text).size());
    const QSignalBlocker blocker(m_edit);
    m_edit->setPlainText(ToQString(text));
}

void CCommentDlg::LimitInput() {
    const int length = static_cast<int>(m_edit->toPlainText().size());
    if (length > kMaxChars && length > m_lastLength) {
        // Take back what was just typed or pasted beyond the limit, just before the cursor.
        const int excess = std::min(length - kMaxChars, length - m_lastLength);
        QTextCursor cursor = m_edit->textCursor();
        const int end = cursor.position();
        cursor.setPosition(std::max(0, end - excess));
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        m_edit->setTextCursor(cursor);
        QApplication::beep();
    }
    m_lastLength = static_cast<int>(m_edit->toPlainText().size());
}

void CCommentDlg::accept() {
    const QString text = m_edit->toPlainText();
    if (text.size() > kMaxChars) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("QuarnEdit"),
                        QStringLiteral("Please enter no more than %1 characters.").arg(kMaxChars), QMessageBox::Ok,
                        this);
        box.exec();
        m_edit->setFocus();
        return;
    }
    m_text = FromQString(text);
    QDialog::accept();
}
