// SPDX-License-Identifier: GPL-3.0-or-later
// Rounds of variations made by mutation, auditioned through a form of their own.
#include "editor/Variations.h"

#include "editor/CMainDlg.h"
#include "editor/ControlTable.h"
#include "editor/Morph.h"
#include "editor/ports/FormHost.h"
#include "midi/MidiSink.h"

// The scratch form's host: quiet while it mutates, else it sends where the application sends now (so the
// application's mute and null sink apply). Its own mute for filling leaves the application's alone.
class VariationSession::ScratchHost : public FormHost {
public:
    explicit ScratchHost(FormHost& app) : m_app(app) {}
    MidiSink* GetActiveSink() override { return m_muted || quiet ? &m_null : m_app.GetActiveSink(); }
    void SetMute(bool muted) override { m_muted = muted; }
    UserDialogs& Dialogs() override { return m_app.Dialogs(); }
    bool quiet = false;

private:
    FormHost& m_app;
    NullSink m_null;
    bool m_muted = false;
};

VariationSession::VariationSession(CMainDlg& form, FormHost& host, const MutationSettings& settings, std::uint32_t seed)
    : m_form(form),
      m_scratchHost(std::make_unique<ScratchHost>(host)),
      m_scratch(std::make_unique<CMainDlg>(*m_scratchHost)),
      m_settings(settings),
      m_random(seed) {
    const PatchRecord patch = m_form.CaptureRecord();
    RoundState first;
    for (PatchRecord& v : first.variations) v = Mutated(patch);
    m_rounds.push_back(std::move(first));
}

VariationSession::~VariationSession() { Close(); }

PatchRecord VariationSession::Mutated(const PatchRecord& record) {
    m_scratchHost->quiet = true;
    m_scratch->FillFromRecord(record);
    MutatePatch(*m_scratch, m_settings, m_random, false);
    m_scratchHost->quiet = false;
    return m_scratch->CaptureRecord();
}

void VariationSession::Send(std::size_t index) {
    m_scratch->FillFromRecord(Variations()[index]);
    m_scratch->TransmitAll(false, CMainDlg::Superseded::ByNext);
}

void VariationSession::Changed() {
    if (m_observer) m_observer();
}

void VariationSession::Audition(std::size_t index) {
    if (m_done || index >= kVariationCount) return;
    m_rounds.back().chosen = index;
    m_rounds.back().second.reset();
    Send(index);
    Changed();
}

void VariationSession::AuditionSecond(std::size_t index) {
    if (m_done || index >= kVariationCount) return;
    RoundState& round = m_rounds.back();
    if (!round.chosen) return Audition(index);
    if (*round.chosen == index) {
        round.second.reset();
    } else {
        round.second = index;
    }
    Send(index);
    Changed();
}

bool VariationSession::Breed() {
    const RoundState& round = m_rounds.back();
    if (m_done || !round.chosen) return false;
    const PatchRecord parent = round.variations[*round.chosen];
    const std::optional<PatchRecord> other =
        round.second ? std::optional<PatchRecord>(round.variations[*round.second]) : std::nullopt;
    RoundState next;
    std::uniform_int_distribution<int> where(0, kMorphEnd);
    for (PatchRecord& v : next.variations) v = Mutated(other ? BlendPatches(parent, *other, where(m_random)) : parent);
    m_rounds.push_back(std::move(next));
    Changed();
    return true;
}

bool VariationSession::Back() {
    if (m_done || m_rounds.size() < 2) return false;
    m_rounds.pop_back();
    Changed();
    return true;
}

bool VariationSession::Keep() {
    if (m_done || !Chosen()) return false;
    m_done = true;
    // The sound is the variation's; the texts and the channel stay as the form has them now.
    PatchRecord chosen = Variations()[*Chosen()];
    const PatchRecord now = m_form.CaptureRecord();
    chosen.patchName = now.patchName;
    chosen.author = now.author;
    chosen.comment = now.comment;
    chosen.valueSlots[0] = now.valueSlots[0];
    const std::size_t channel = StoredSelectionEntry(ctl::MidiChannel);
    chosen.selections[channel] = now.selections[channel];
    const EditFields before = m_form.CaptureFields();
    m_form.FillFromRecord(chosen);
    m_form.RecordProgramEdit(CMainDlg::kVariationsStep, before, m_form.CaptureFields());
    // Whole and never given way: the synthesizer ends on the patch, whatever was auditioned.
    m_form.TransmitAll(false);
    return true;
}

void VariationSession::Close() {
    if (m_done) return;
    m_done = true;
    // What the auditions left at the synthesizer gives way to what differs from the form.
    m_form.SendWhatDiffers();
}
