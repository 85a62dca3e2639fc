// SPDX-License-Identifier: GPL-3.0-or-later
// The form's three texts: the name, author and comment handlers, which keep a text's stored bytes and code page
// until the user changes what is shown.
#include "editor/CMainDlg.h"

#include "editor/ControlTable.h"
#include "editor/ports/FormHost.h"
#include "editor/ports/UserDialogs.h"

#include <array>

void CMainDlg::TakeShownText(EditText text, std::string& stored, const std::string& shown) {
    if (shown != ShownText(stored)) stored = StoredText(shown, EncodingOf(text));
}

void CMainDlg::OnPatchNameChanged() { TakeShownText(EditText::PatchName, m_patchName, m_form.GetText(ctl::PatchName)); }

void CMainDlg::OnAuthorChanged() { TakeShownText(EditText::Author, m_author, m_form.GetText(ctl::Author)); }

void CMainDlg::OnComment() {
    const std::string shown = ShownComment(m_comment);
    const TextRoom room = RoomFor(EditText::Comment);
    const std::optional<std::string> text = m_host.Dialogs().RunCommentDialog(shown, room);
    // OK on a comment left as it was keeps its bytes, line breaks and all.
    if (!text || *text == shown) return;
    // The dialog stops at the room there is; what it let through beyond is not saved cut without a word.
    const std::string fitted = FitEdit(shown, *text, room, true);
    UserTextEdit(ctl::Comment, Gesture::Single, [&] { m_comment = StoredComment(fitted, room.encoding); });
}

TextRoom CMainDlg::RoomFor(EditText text) const {
    static constexpr std::array<TextField, kEditTextCount> kFields{kPatchNameField, kAuthorField, kCommentField};
    return {RoomOf(kFields[static_cast<std::size_t>(text)]), EncodingOf(text)};
}

void CMainDlg::RestoreText(EditText text, const std::string& stored) {
    switch (text) {
        case EditText::PatchName:
            m_patchName = stored;
            m_form.ShowText(ctl::PatchName, ShownText(stored));
            break;
        case EditText::Author:
            m_author = stored;
            m_form.ShowText(ctl::Author, ShownText(stored));
            break;
        case EditText::Comment: m_comment = stored; break;
    }
}
