// The form's side of the patch record and of the MIDI file export.
#include "editor/CMainDlg.h"

#include "app/CQuarnEditApp.h"
#include "app/UserDialogs.h"
#include "util/WholeFile.h"
#include "editor/FixedLists.h"
#include "midi/MidiSink.h"
#include "patch/PatchRecord.h"

static_assert(CMainDlg::GetPatchBodySize() == static_cast<std::int32_t>(kRecordSize));

namespace {

std::int32_t StoredSelection(std::span<const std::uint8_t> record, int listId) {
    return ReadInt32LE(record, kRecordSelectionsOffset + 4 * SelectionEntry(listId));
}

// A source list always has a choice: one that is not among its entries reads as the slider's own value.
std::int32_t StoredSourceChoice(std::span<const std::uint8_t> record, int listId) {
    const std::int32_t s = StoredSelection(record, listId);
    return s >= 0 && s < kSourceListEntryCount ? s : 0;
}

void SetChecksFromBits(FormState& form, std::span<const BitBox> boxes, std::int32_t bits) {
    for (const BitBox& box : boxes) form.SetCheck(box.box, (bits & box.mask) != 0);
}

}  // namespace

void CMainDlg::WritePatchBody(std::span<std::uint8_t> record) {
    UpdateData(true);
    EncodeText(record, kPatchNameField, m_patchName);
    EncodeText(record, kAuthorField, m_author);
    EncodeText(record, kCommentField, m_comment);
    for (int slot = 0; slot < kSlotCount; ++slot)
        WriteInt32LE(record, kRecordSlotsOffset + 4 * static_cast<std::size_t>(slot), Slot(slot));
    for (std::size_t entry = 0; entry < kRecordSelectionCount; ++entry)
        WriteInt32LE(record, kRecordSelectionsOffset + 4 * entry, m_form.GetCurSel(kRecordSelectionLists[entry]));
    WriteInt32LE(record, kRecordSwitchBitsOffset, m_switchBits);
    WriteInt32LE(record, kRecordFilterBitsOffset, m_filterBits);
}

bool CMainDlg::ReadPatchBody(std::int32_t version, std::span<const std::uint8_t> record) {
    if (version != GetPatchVersion() || record.size() < kRecordSize) return false;
    // Without their entries and ranges the lists and sliders could not hold what the record says.
    if (m_initialised == 0) InitControls();

    // Everything the handlers send while the form fills goes to the null sink.
    m_app.m_mute = 1;

    m_patchName = DecodeText(record, kPatchNameField);
    m_form.SetText(ctl::PatchName, m_patchName);
    m_author = DecodeText(record, kAuthorField);
    m_form.SetText(ctl::Author, m_author);
    m_comment = DecodeText(record, kCommentField);

    for (int slot = 0; slot < kSlotCount; ++slot)
        Slot(slot) = ReadInt32LE(record, kRecordSlotsOffset + 4 * static_cast<std::size_t>(slot));
    UpdateData(false);

    // The stored selection, not slot 0, decides the channel.
    m_form.SetCurSel(ctl::MidiChannel, StoredSelection(record, ctl::MidiChannel));
    OnMidiChannelChanged();

    const Oscillator& dco1 = kOscillators[0];
    const Oscillator& dco2 = kOscillators[1];
    m_form.SetCurSel(dco1.wave, StoredSelection(record, dco1.wave));
    OnWaveChanged(dco1);
    m_form.SetCurSel(dco1.dist, StoredSelection(record, dco1.dist));
    OnDistChanged(dco1);
    m_form.SetCurSel(dco2.wave, StoredSelection(record, dco2.wave));
    OnWaveChanged(dco2);
    m_form.SetCurSel(dco2.dist, StoredSelection(record, dco2.dist));
    OnDistChanged(dco2);
    for (const Oscillator& osc : kOscillators) {
        m_form.SetCurSel(osc.modeList, StoredSelection(record, osc.modeList));
        OnRow3ModeChanged(osc);
    }

    const auto restoreSourceRow = [&](const ModulatedParam& row) {
        RefreshModParam(row);
        m_form.SetCurSel(row.sourceList, StoredSourceChoice(record, row.sourceList));
        OnModSourceChanged(row);
    };
    for (int list : kSourceListOrder) restoreSourceRow(*FindRow(kModulatedParams, &ModulatedParam::sourceList, list));

    g_updatingValueBox = 1;
    for (const PlainSlider& row : kPlainSliders) OnPlainSlider(row);
    g_updatingValueBox = 0;

    m_switchBits = ReadInt32LE(record, kRecordSwitchBitsOffset);
    m_filterBits = ReadInt32LE(record, kRecordFilterBitsOffset);
    SetChecksFromBits(m_form, kSwitchBoxes, m_switchBits);
    SetChecksFromBits(m_form, kFilterBoxes, m_filterBits);

    // Both cutoff rows are live until the filter type says otherwise.
    SetFilterMode(3);
    restoreSourceRow(Cutoff1Row());
    restoreSourceRow(Cutoff2Row());

    m_form.SetCurSel(ctl::FilterType, StoredSelection(record, ctl::FilterType));
    OnFilterTypeChanged();

    // The filter type may have turned a row off and on again: its list shows the stored choice once more.
    switch (m_filterMode) {
        case 1:
        case 2: restoreSourceRow(Cutoff1Row()); break;
        case 3:
            restoreSourceRow(Cutoff1Row());
            restoreSourceRow(Cutoff2Row());
            break;
        default: break;
    }

    m_app.m_mute = 0;
    TransmitAll(true);
    return true;
}

void CMainDlg::OnExportMidiFile() {
    const FileDialogRequest request{
        "mid", {{"Standard MIDI files (*.mid)", "*.mid"}, {"All Files (*.*)", "*.*"}}, true};
    const std::optional<std::string> path = m_dialogs.AskSaveFileName(request);
    if (!path) return;

    // Both sinks are port sinks; only the real one ever records anything.
    const auto activePort = [this] { return dynamic_cast<MidiPortSink*>(m_app.GetActiveSink()); };
    if (activePort() == nullptr) return;
    activePort()->StartRecording();
    TransmitAll(false);
    activePort()->StopRecording();
    const FileWriteResult result = activePort()->WriteMidiFile(*path);
    if (result != FileWriteResult::Ok)
        m_dialogs.ShowMessage({FileWriteMessage(result), "", MessageButtons::Ok, MessageIcon::None, MessageOwner::None});
}
