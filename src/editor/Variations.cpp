// SPDX-License-Identifier: GPL-3.0-or-later
// Rounds of variations made by mutation on a form of their own, auditioned on the document's form.
#include "editor/Variations.h"

#include "editor/CMainDlg.h"
#include "editor/Morph.h"
#include "editor/ports/FormHost.h"
#include "midi/MidiSink.h"

// The scratch form's host: it mutates and never sends.
class VariationSession::ScratchHost : public FormHost {
public:
    explicit ScratchHost(FormHost& app) : m_app(app) {}
    MidiSink* GetActiveSink() override { return &m_null; }
    void SetMute(bool) override {}
    UserDialogs& Dialogs() override { return m_app.Dialogs(); }

private:
    FormHost& m_app;
    NullSink m_null;
};

VariationSession::VariationSession(CMainDlg& form, FormHost& host, const MutationSettings& settings, std::uint32_t seed)
    : m_form(form),
      m_patch(form.CaptureRecord()),
      m_patchFields(form.CaptureFields()),
      m_scratchHost(std::make_unique<ScratchHost>(host)),
      m_scratch(std::make_unique<CMainDlg>(*m_scratchHost)),
      m_settings(settings),
      m_random(seed) {
    RoundState first;
    for (PatchRecord& v : first.variations) v = Mutated(m_patch);
    m_rounds.push_back(std::move(first));
    m_form.SetReadOnly(true);
}

VariationSession::~VariationSession() { Close(); }

PatchRecord VariationSession::Mutated(const PatchRecord& record) {
    m_scratch->FillFromRecord(record);
    MutatePatch(*m_scratch, m_settings, m_random, false);
    return m_scratch->CaptureRecord();
}

std::optional<VariationSession::Heard> VariationSession::HeardNow() const {
    // A round after the first began by Breed from a round that had one chosen, so heard: the latest round that
    // sent one is the one that sent last.
    for (std::size_t r = m_rounds.size(); r-- > 0;)
        if (m_rounds[r].heard) return Heard{r + 1, *m_rounds[r].heard};
    return std::nullopt;
}

void VariationSession::Play(std::size_t index) {
    m_rounds.back().heard = index;
    m_form.FillFromRecord(SoundIn(Variations()[index], m_patch));
    m_form.TransmitAll(false, CMainDlg::Superseded::ByNext);
}

void VariationSession::Changed() {
    if (m_observer) m_observer();
}

void VariationSession::Audition(std::size_t index) {
    if (m_done || index >= kVariationCount) return;
    m_rounds.back().chosen = index;
    m_rounds.back().second.reset();
    Play(index);
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
    Play(index);
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
    // The round before had one chosen (Breed needs it), so one heard: it sounds again.
    if (const std::optional<std::size_t> heard = m_rounds.back().heard) Play(*heard);
    Changed();
    return true;
}

bool VariationSession::Keep() {
    if (m_done || !HeardNow()) return false;
    m_done = true;
    // The form shows what was heard, with the patch's texts and channel: that is what stays.
    m_form.SetReadOnly(false);
    m_form.RecordProgramEdit(CMainDlg::kVariationsStep, m_patchFields, m_form.CaptureFields());
    // Whole and never given way: the synthesizer ends on the patch, whatever audition is still on its way.
    m_form.TransmitAll(false);
    return true;
}

void VariationSession::Close() {
    if (m_done) return;
    m_done = true;
    m_form.FillFromRecord(m_patch);
    m_form.SetReadOnly(false);
    // What the auditions left at the synthesizer gives way to what differs from the patch.
    m_form.SendWhatDiffers();
}

void VariationSession::Reopen() {
    if (!m_done) return;
    m_done = false;
    m_form.SetReadOnly(true);
    if (const std::optional<Heard> heard = HeardNow()) {
        m_form.FillFromRecord(SoundIn(m_rounds[heard->round - 1].variations[heard->index], m_patch));
        m_form.SendWhatDiffers();
    }
    Changed();
}
