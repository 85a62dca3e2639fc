// SPDX-License-Identifier: GPL-3.0-or-later
// The morph: a blend of two patches by position, shown on the form and streamed to the synthesizer.
#include "editor/Morph.h"

#include "editor/CMainDlg.h"
#include "editor/ControlTable.h"
#include "editor/FixedLists.h"
#include "editor/ParameterMap.h"
#include "midi/MidiSink.h"
#include "patch/PatchFile.h"
#include "patch/PatchText.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

bool FollowsSource(const PatchRecord& record, int sourceList) {
    const std::int32_t s = record.selections[StoredSelectionEntry(sourceList)];
    return s > kFixedValueEntry && s < kSourceListEntryCount;
}

}  // namespace

std::string MorphPositionText(int position) {
    // Tenths of a percent: the scale's 1000 steps, each shown.
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %% B", position / 10.0);
    return text;
}

std::int32_t BlendValue(std::int32_t a, std::int32_t b, int position) {
    const std::int64_t scaled = (std::int64_t{b} - a) * std::clamp(position, 0, kMorphEnd);
    const std::int64_t half = kMorphEnd / 2;
    // Integer division truncates toward zero: adding half the divisor away from zero rounds halves away from A.
    const std::int64_t step = (scaled >= 0 ? scaled + half : scaled - half) / kMorphEnd;
    return static_cast<std::int32_t>(a + step);
}

PatchRecord SoundIn(const PatchRecord& sound, const PatchRecord& patch) {
    PatchRecord out = sound;
    out.patchName = patch.patchName;
    out.author = patch.author;
    out.comment = patch.comment;
    // The channel lives twice in a record: the form slot and the list's stored selection.
    out.valueSlots[0] = patch.valueSlots[0];
    const std::size_t channel = StoredSelectionEntry(ctl::MidiChannel);
    out.selections[channel] = patch.selections[channel];
    return out;
}

PatchRecord BlendPatches(const PatchRecord& a, const PatchRecord& b, int position) {
    position = std::clamp(position, 0, kMorphEnd);
    PatchRecord blend = SoundIn(position < kMorphMiddle ? a : b, a);
    for (std::size_t slot = 1; slot < kRecordValueCount; ++slot) {
        const ModulatedParam* row = FindRow(kModulatedParams, &ModulatedParam::slot, static_cast<int>(slot));
        if (row != nullptr && (FollowsSource(a, row->sourceList) || FollowsSource(b, row->sourceList))) continue;
        blend.valueSlots[slot] = BlendValue(a.valueSlots[slot], b.valueSlots[slot], position);
    }
    return blend;
}

MorphSession::MorphSession(CMainDlg& form) : m_form(form), m_a(form.CaptureRecord()), m_aFields(form.CaptureFields()) {
    m_form.SetReadOnly(true);
}

MorphSession::~MorphSession() {
    if (!m_done) Cancel();
}

std::optional<std::string> MorphSession::LoadPatchB(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    PatchFileError error = ReadPatchFileBytes(path, bytes);
    DecodedPatchFile file;
    if (error == PatchFileError::None) {
        file = DecodePatchFile(bytes, CMainDlg::GetPatchVersion());
        error = file.error;
    }
    // Open tells a short file first, as it must; choosing B, a file that does not even begin as a patch (a text,
    // a picture) is told as Open tells one that is no patch.
    if (error == PatchFileError::ReadFailed && bytes.size() >= kPatchMagic.size() &&
        !std::equal(kPatchMagic.begin(), kPatchMagic.end(), bytes.begin()))
        error = PatchFileError::NotAPatch;
    if (error != PatchFileError::None)
        return "Patch B could not be read from " + path + ": " + PatchFileMessage(error) + ".";
    const PatchRecord record = DecodePatchRecord(file.record);
    SetPatchB(record, ShownText(record.patchName), path);
    return std::nullopt;
}

void MorphSession::SetPatchB(const PatchRecord& b, std::string name, std::string path) {
    if (m_done) return;
    m_b = b;
    m_bName = std::move(name);
    m_bPath = std::move(path);
    // The blend at the position the slider stands at, now with this B.
    ShowAndSend();
    if (m_observer) m_observer();
}

void MorphSession::SetPosition(int position) {
    position = std::clamp(position, 0, kMorphEnd);
    if (m_done || !m_b || position == m_position) return;
    m_position = position;
    ShowAndSend();
    if (m_observer) m_observer();
}

void MorphSession::ShowAndSend() {
    m_form.FillFromRecord(m_b && !m_done ? BlendPatches(m_a, *m_b, m_position) : m_a);
    // As a stream: a sweep faster than the device keeps only the latest value of each parameter queued. What is
    // sent is what differs from what the device holds, so a device that came back meanwhile gets it all.
    const StreamScope stream(*m_form.HostSink());
    m_form.SendWhatDiffers();
}

void MorphSession::Finish() {
    m_done = true;
    m_form.SetReadOnly(false);
}

void MorphSession::Keep() {
    if (m_done) return;
    Finish();
    m_form.RecordProgramEdit(CMainDlg::kMorphStep, m_aFields, m_form.CaptureFields());
}

void MorphSession::Cancel() {
    if (m_done) return;
    m_done = true;
    ShowAndSend();
    Finish();
}

void MorphSession::Reopen() {
    if (!m_done) return;
    m_done = false;
    m_form.SetReadOnly(true);
    ShowAndSend();
    if (m_observer) m_observer();
}
