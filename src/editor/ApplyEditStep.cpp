// SPDX-License-Identifier: GPL-3.0-or-later
// Applying an undo or redo step to the form, in the order that keeps the instrument in step with the form.
#include "editor/ApplyEditStep.h"

#include "editor/CMainDlg.h"
#include "editor/ControlTable.h"

namespace {

// Moves the form's numbers to a target, one field at a time, each through its control's handler.
class StepTarget {
public:
    StepTarget(CMainDlg& dlg, const EditFields& target) : m_dlg(dlg), m_form(dlg.form()), m_target(target) {}

    // Whether the field is already where the step puts it.
    bool Reached(std::size_t field) const { return m_dlg.CaptureFields()[field] == m_target[field]; }
    static std::size_t ListField(int list) { return kRecordValueCount + StoredSelectionEntry(list); }

    // A control already where the step puts it is left alone: an earlier handler of the step moved it there.
    // Returns whether it moved.
    bool Apply(std::size_t field) {
        if (Reached(field)) return false;
        const std::int32_t value = m_target[field];
        if (field < kRecordValueCount) {
            const int control = kSlotControls[field];
            if (m_form.Get(control).kind == ControlKind::List) {
                m_form.SetCurSel(control, value);
                m_dlg.OnSelChange(control);
            } else {
                m_form.SetPos(control, value);
                m_dlg.OnScrollSlider(control);
            }
        } else if (field < kSwitchBitsField) {
            const int list = kStoredSelectionLists[field - kRecordValueCount];
            m_form.SetCurSel(list, value);
            m_dlg.OnSelChange(list);
        } else {
            ApplyBoxes(field == kSwitchBitsField, value);
        }
        return true;
    }
    bool ApplyList(int list) { return Apply(ListField(list)); }

    // Wave and Dist. go together: both take their entries, then the Wave's handler sends the one value they make
    // (a Dist. sent on its own would name a waveform where the Wave may name a modulation source).
    void ApplyOscillator(const Oscillator& osc) {
        const std::size_t wave = ListField(osc.wave), dist = ListField(osc.dist);
        if (Reached(wave) && Reached(dist)) return;
        m_form.SetCurSel(osc.wave, m_target[wave]);
        m_form.SetCurSel(osc.dist, m_target[dist]);
        m_dlg.OnWaveChanged(osc);
    }

    // A slider with a source list: the slider, then the list beside it (the slider's handler resets the list).
    bool ApplyRow(const ModulatedParam& row) {
        const bool slider = Apply(static_cast<std::size_t>(row.slot));
        const bool list = ApplyList(row.sourceList);
        return slider || list;
    }

private:
    // The boxes whose bits differ; the routing code follows the filter type, put back as a selection.
    void ApplyBoxes(bool switches, std::int32_t value) {
        const std::int32_t current = switches ? m_dlg.m_switchBits : m_dlg.m_filterBits;
        for (const BitBox& box :
             switches ? std::span<const BitBox>(kSwitchBoxes) : std::span<const BitBox>(kFilterBoxes)) {
            if ((current & box.mask) == (value & box.mask)) continue;
            m_form.SetCheck(box.box, (value & box.mask) != 0);
            m_dlg.OnClicked(box.box);
        }
    }

    CMainDlg& m_dlg;
    FormState& m_form;
    const EditFields& m_target;
};

void ApplyPart(StepTarget& to, CMainDlg& dlg, PatchPart part) {
    switch (part) {
        case PatchPart::Oscillators:
            for (const Oscillator& osc : kOscillators) to.ApplyOscillator(osc);
            break;
        case PatchPart::Row3Modes:
            for (const Oscillator& osc : kOscillators) to.ApplyList(osc.modeList);
            break;
        case PatchPart::SourceRows:
            for (int list : kSourceListOrder)
                to.ApplyRow(*FindRow(kModulatedParams, &ModulatedParam::sourceList, list));
            break;
        case PatchPart::PlainSliders:
            for (const PlainSlider& row : kPlainSliders) to.Apply(static_cast<std::size_t>(row.slot));
            break;
        case PatchPart::FilterType: to.ApplyList(ctl::FilterType); break;
        case PatchPart::CutoffRows:
            if (dlg.m_filterMode < 0 || dlg.m_filterMode >= static_cast<int>(kCutoffOrderByMode.size())) break;
            // A row the filter type turns off runs its handlers all the same, which send nothing; it then goes
            // out as a whole-patch transmission sends it.
            for (const ModulatedParam* row : kCutoffOrderByMode[static_cast<std::size_t>(dlg.m_filterMode)])
                if (to.ApplyRow(*row) && !dlg.SendConditionHolds(row->condition)) dlg.SendCutoffRow(*row);
            break;
    }
}

}  // namespace

void ApplyEditStep(CMainDlg& dlg, const EditHistory::StepView& step, bool before) {
    // The step's numbers, and every other number as it is now: a handler that moves another control on the
    // way (a slider resets its source list) has that control put back too.
    EditFields target = dlg.CaptureFields();
    for (const EditHistory::FieldChange& change : step.fields)
        target[change.field] = before ? change.before : change.after;

    StepTarget to(dlg, target);
    to.Apply(0);
    to.ApplyList(ctl::MidiChannel);
    for (std::size_t field : {kSwitchBitsField, kFilterBitsField}) to.Apply(field);
    for (PatchPart part : kPatchOrder) ApplyPart(to, dlg, part);

    if (step.text != nullptr) dlg.RestoreText(step.text->text, before ? step.text->before : step.text->after);
}
