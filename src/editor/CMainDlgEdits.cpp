// SPDX-License-Identifier: GPL-3.0-or-later
// The user's actions on the form as edits: each one applied and run through its handler, then recorded in the
// undo history; and Undo and Redo, which put a step back.
#include "editor/CMainDlg.h"

#include "editor/ApplyEditStep.h"
#include "editor/ControlNames.h"
#include "editor/ControlTable.h"
#include "editor/ports/FormHost.h"

// ---- user actions -------------------------------------------------------------------------------
// The widget that raised the action already shows it: the state takes it without redrawing that widget.

template <typename Action>
void CMainDlg::UserEdit(int control, Gesture gesture, bool texts, Action&& action) {
    static const EditTexts kNoTexts;
    if (m_readOnly) {
        m_form.Refresh(control);
        m_host.EditRefused();
        return;
    }
    if (m_byController) gesture = Gesture::Controller;
    const EditFields before = CaptureFields();
    const EditTexts textsBefore = texts ? CaptureTexts() : kNoTexts;
    action();
    const EditFields after = CaptureFields();
    const EditTexts textsAfter = texts ? CaptureTexts() : kNoTexts;
    m_history.Record(control, gesture, m_now(), before, after, textsBefore, textsAfter);
    if (before != after || textsBefore != textsAfter) m_host.PatchEdited();
}

void CMainDlg::UserMovedSlider(int id, int position) {
    UserEdit(id, id == m_dragControl ? Gesture::Drag : Gesture::Press, false, [&] {
        m_form.SetPos(id, position, ChangeOrigin::User);
        OnScrollSlider(id);
    });
}

void CMainDlg::UserSelected(int id, int index) {
    UserEdit(id, Gesture::Press, false, [&] {
        m_form.SetCurSel(id, index, ChangeOrigin::User);
        OnSelChange(id);
    });
}

void CMainDlg::UserClicked(int id) {
    if (m_readOnly) return m_host.EditRefused();
    if (m_form.Get(id).kind != ControlKind::CheckBox) return OnClicked(id);
    UserEdit(id, Gesture::Press, false, [&] {
        m_form.SetCheck(id, !m_form.IsChecked(id), ChangeOrigin::User);
        OnClicked(id);
    });
}

void CMainDlg::UserTextEdit(int control, Gesture gesture, const std::function<void()>& action) {
    UserEdit(control, gesture, true, action);
}

void CMainDlg::UserEdited(int id, std::string text) {
    // A box takes no more than its field stores: what does not fit of the typing is refused, as a length limit
    // would, and the box shows what was taken.
    bool cut = false;
    if (id == ctl::PatchName || id == ctl::Author) {
        std::string fitted = FitEdit(m_form.GetText(id), text,
                                     RoomFor(id == ctl::PatchName ? EditText::PatchName : EditText::Author), false);
        cut = fitted != text;
        text = std::move(fitted);
    }
    UserEdit(id, Gesture::Typing, true, [&] { m_form.SetText(id, std::move(text), ChangeOrigin::User); });
    if (cut) m_form.Refresh(id);
}

void CMainDlg::UserBeganDrag(int id) {
    m_history.EndGesture(id);
    m_dragControl = id;
}

void CMainDlg::UserEndedGesture(int id) {
    m_history.EndGesture(id);
    if (m_dragControl == id) m_dragControl = kNoId;
}

EditFields CMainDlg::CaptureFields() const {
    // Taken around every user action: the tables' ids are the form's own, so no lookup is checked.
    EditFields fields{};
    fields[0] = m_form.Peek(kSlotControls[0]).selection;
    for (std::size_t slot = 1; slot < kRecordValueCount; ++slot)
        fields[slot] = m_form.Peek(kSlotControls[slot]).position;
    for (std::size_t entry = 0; entry < kRecordSelectionCount; ++entry)
        fields[kRecordValueCount + entry] = m_form.Peek(kStoredSelectionLists[entry]).selection;
    fields[kSwitchBitsField] = m_switchBits;
    fields[kFilterBitsField] = m_filterBits;
    return fields;
}

// ---- undo and redo ------------------------------------------------------------------------------

void CMainDlg::Undo() {
    if (!m_history.CanUndo()) return;
    ApplyEditStep(*this, m_history.Undo(), true);
    m_host.PatchEdited();
}

void CMainDlg::Redo() {
    if (!m_history.CanRedo()) return;
    ApplyEditStep(*this, m_history.Redo(), false);
    m_host.PatchEdited();
}

void CMainDlg::RecordProgramEdit(ProgramStep step, const EditFields& before, const EditFields& after) {
    static const EditTexts kNoTexts;
    m_history.Record(step, Gesture::Single, m_now(), before, after, kNoTexts, kNoTexts);
    if (before != after) m_host.PatchEdited();
}

namespace {
std::string StepName(const FormState& form, int control) {
    switch (control) {
        case CMainDlg::kMutateStep: return "Mutate";
        case CMainDlg::kRandomizeStep: return "Randomize";
        case CMainDlg::kMorphStep: return "Morph";
        case CMainDlg::kVariationsStep: return "Variation";
        default: return ControlName(form, control);
    }
}
}  // namespace

std::string CMainDlg::UndoName() const { return m_history.CanUndo() ? StepName(m_form, m_history.UndoControl()) : ""; }
std::string CMainDlg::RedoName() const { return m_history.CanRedo() ? StepName(m_form, m_history.RedoControl()) : ""; }
