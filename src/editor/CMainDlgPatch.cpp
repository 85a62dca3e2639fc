// SPDX-License-Identifier: GPL-3.0-or-later
// The form's side of the patch record (a load walks the patch order) and of the MIDI file export.
#include "editor/CMainDlg.h"

#include "editor/FixedLists.h"
#include "editor/ports/FormHost.h"
#include "editor/ports/UserDialogs.h"
#include "midi/MidiSink.h"
#include "patch/PatchFile.h"
#include "patch/PatchRecord.h"
#include "util/ScopedFlag.h"
#include "util/WholeFile.h"

namespace {

std::int32_t StoredSelection(const PatchRecord& record, int listId) {
    return record.selections[StoredSelectionEntry(listId)];
}

// A source list always has a choice: one that is not among its entries reads as the slider's own value.
std::int32_t StoredSourceChoice(const PatchRecord& record, int listId) {
    const std::int32_t s = StoredSelection(record, listId);
    return s >= 0 && s < kSourceListEntryCount ? s : kFixedValueEntry;
}

void SetChecksFromBits(FormState& form, std::span<const BitBox> boxes, std::int32_t bits) {
    for (const BitBox& box : boxes) form.SetCheck(box.box, (bits & box.mask) != 0);
}

}  // namespace

std::int32_t CMainDlg::GetPatchVersion() { return kPatchVersion; }
std::int32_t CMainDlg::GetPatchBodySize() { return static_cast<std::int32_t>(kRecordSize); }

PatchRecord CMainDlg::CaptureRecord() {
    UpdateData(true);
    PatchRecord record;
    record.patchName = m_patchName;
    record.author = m_author;
    record.comment = m_comment;
    for (int slot = 0; slot < kSlotCount; ++slot) record.valueSlots[static_cast<std::size_t>(slot)] = Slot(slot);
    for (std::size_t entry = 0; entry < kRecordSelectionCount; ++entry)
        record.selections[entry] = m_form.GetCurSel(kStoredSelectionLists[entry]);
    record.switchBits = m_switchBits;
    record.filterBits = m_filterBits;
    return record;
}

void CMainDlg::WritePatchBody(std::span<std::uint8_t> record) { EncodePatchRecord(CaptureRecord(), record); }

void CMainDlg::RestoreSourceRow(const ModulatedParam& row, const PatchRecord& record) {
    RefreshModParam(row);
    m_form.SetCurSel(row.sourceList, StoredSourceChoice(record, row.sourceList));
    OnModSourceChanged(row);
}

bool CMainDlg::ReadPatchBody(std::int32_t version, std::span<const std::uint8_t> bytes) {
    if (version != GetPatchVersion() || bytes.size() < kRecordSize) return false;
    // A new patch starts a history of its own.
    m_history.Clear();
    m_dragControl = kNoId;
    FillFromRecord(DecodePatchRecord(bytes));
    TransmitAll(true);
    return true;
}

void CMainDlg::FillFromRecord(const PatchRecord& record) {
    // Without their entries and ranges the lists and sliders could not hold what the record says.
    if (m_initialised == 0) InitControls();
    // Everything the handlers send while the form fills goes to the null sink.
    const ScopedMute mute(m_host);

    // The boxes show the texts decoded; their change handlers find them as stored and keep the bytes.
    m_textEncodings = RecordTextEncodings(record);
    m_patchName = record.patchName;
    m_form.SetText(ctl::PatchName, ShownText(m_patchName));
    m_author = record.author;
    m_form.SetText(ctl::Author, ShownText(m_author));
    m_comment = record.comment;

    for (int slot = 0; slot < kSlotCount; ++slot) Slot(slot) = record.valueSlots[static_cast<std::size_t>(slot)];
    UpdateData(false);

    // The stored selection, not slot 0, decides the channel.
    m_form.SetCurSel(ctl::MidiChannel, StoredSelection(record, ctl::MidiChannel));
    OnMidiChannelChanged();

    for (PatchPart part : kPatchOrder) FillPart(part, record);
}

void CMainDlg::FillPart(PatchPart part, const PatchRecord& record) {
    switch (part) {
        case PatchPart::Oscillators:
            for (const Oscillator& osc : kOscillators) {
                m_form.SetCurSel(osc.wave, StoredSelection(record, osc.wave));
                OnWaveChanged(osc);
                m_form.SetCurSel(osc.dist, StoredSelection(record, osc.dist));
                OnDistChanged(osc);
            }
            break;
        case PatchPart::Row3Modes:
            for (const Oscillator& osc : kOscillators) {
                m_form.SetCurSel(osc.modeList, StoredSelection(record, osc.modeList));
                OnRow3ModeChanged(osc);
            }
            break;
        case PatchPart::SourceRows:
            for (int list : kSourceListOrder)
                RestoreSourceRow(*FindRow(kModulatedParams, &ModulatedParam::sourceList, list), record);
            break;
        case PatchPart::PlainSliders: {
            const ScopedFlag updating(g_updatingValueBox);
            for (const PlainSlider& row : kPlainSliders) OnPlainSlider(row);
            break;
        }
        case PatchPart::FilterType:
            // The words, without their boxes' handlers.
            m_switchBits = record.switchBits;
            m_filterBits = record.filterBits;
            SetChecksFromBits(m_form, kSwitchBoxes, m_switchBits);
            SetChecksFromBits(m_form, kFilterBoxes, m_filterBits);
            // Both cutoff rows are live until the filter type says otherwise.
            SetFilterMode(3);
            RestoreSourceRow(Cutoff1Row(), record);
            RestoreSourceRow(Cutoff2Row(), record);
            m_form.SetCurSel(ctl::FilterType, StoredSelection(record, ctl::FilterType));
            OnFilterTypeChanged();
            break;
        case PatchPart::CutoffRows:
            // The filter type may have turned a row off and on again: its list shows the stored choice once more.
            if (m_filterMode < 0 || m_filterMode >= static_cast<int>(kCutoffOrderByMode.size())) break;
            for (const ModulatedParam* row : kCutoffOrderByMode[static_cast<std::size_t>(m_filterMode)])
                if (SendConditionHolds(row->condition)) RestoreSourceRow(*row, record);
            break;
    }
}

void CMainDlg::OnExportMidiFile() {
    const FileDialogRequest request{
        "mid", {{"Standard MIDI files (*.mid)", "*.mid"}, {"All Files (*.*)", "*.*"}}, true, {}};
    const std::optional<std::string> path = m_host.Dialogs().AskSaveFileName(request);
    if (!path) return;

    // Both sinks are port sinks; only the real one ever records anything.
    const auto activePort = [this] { return dynamic_cast<MidiPortSink*>(m_host.GetActiveSink()); };
    if (activePort() == nullptr) return;
    activePort()->StartRecording();
    TransmitAll(false);
    activePort()->StopRecording();
    const FileWriteResult result = activePort()->WriteMidiFile(*path);
    if (result != FileWriteResult::Ok) {
        m_host.Dialogs().ShowMessage(
            {FileWriteMessage(result), "", MessageButtons::Ok, MessageIcon::None, MessageOwner::None});
    }
}
