// SPDX-License-Identifier: GPL-3.0-or-later
// The tools for shaping a sound on the instrument: Compare, Mutate and Randomize, the test note, All Notes Off.
#include "app/SoundDesign.h"

#include "app/CQuarnEditDoc.h"
#include "app/FrameSlot.h"
#include "app/ports/Clock.h"
#include "app/ports/Profile.h"
#include "editor/CMainDlg.h"
#include "editor/Morph.h"
#include "editor/Variations.h"
#include "editor/ports/FormHost.h"
#include "midi/MidiSink.h"

#include <algorithm>

SoundDesign::SoundDesign(CMainDlg& form, CQuarnEditDoc& document, FormHost& host, Profile& profile, Clock& clock,
                         const FrameSlot& frame)
    : m_form(form), m_document(document), m_host(host), m_profile(profile), m_frame(frame) {
    m_noteTimer = clock.CreateTimer([this] { StopTestNote(); });
}

// An open morph is cancelled and open variations end as they would on closing their windows.
SoundDesign::~SoundDesign() = default;

void SoundDesign::OnEditCompare() {
    if (m_comparing) return EndCompare();
    const std::optional<PatchRecord>& original = m_document.Original();
    if (!original) return;
    m_editedPatch = m_form.CaptureRecord();
    m_form.FillFromRecord(*original);
    m_form.TransmitAll(false, CMainDlg::Superseded::ByNext);
    m_form.SetReadOnly(true);
    m_comparing = true;
    m_frame.Tell([](FrameView& frame) { frame.ComparingChanged(true); });
    m_frame.CommandsChanged();
}

PatchRecord SoundDesign::Edit() const {
    if (m_comparing) return m_editedPatch;
    // While a morph shows its blend or a variation plays, the patch is still the one they began with.
    if (m_morph) return m_morph->PatchA();
    if (m_variations) return m_variations->Patch();
    return m_form.CaptureRecord();
}

void SoundDesign::EndCompare() {
    if (!m_comparing) return;
    m_form.FillFromRecord(m_editedPatch);
    m_form.SendWhatDiffers();
    m_form.SetReadOnly(false);
    m_comparing = false;
    m_frame.Tell([](FrameView& frame) {
        frame.ComparingChanged(false);
        frame.ShowStatus("");
    });
    m_frame.CommandsChanged();
}

void SoundDesign::OnEditMutate() {
    const std::optional<MutationRequest> request = m_host.Dialogs().RunMutateDialog(m_mutation);
    if (!request) return;
    m_mutation = request->settings;
    MutationSettings settings = request->settings;
    if (request->randomize) settings.amountPercent = 100;
    MutatePatch(m_form, settings, m_random, request->randomize);
}

void SoundDesign::OnEditMorph() {
    if (!m_morph) {
        EndVariations(false);
        m_morph = std::make_unique<MorphSession>(m_form);
        if (m_lastB) m_morph->SetPatchB(m_lastB->record, m_lastB->name, m_lastB->path);
        m_frame.CommandsChanged();
    }
    m_frame.Tell([this](FrameView& frame) { frame.ShowMorph(*this); });
}

bool SoundDesign::SetMorphPosition(int position) {
    if (!m_morph || !m_morph->HasPatchB()) return false;
    m_morph->SetPosition(position);
    return true;
}

void SoundDesign::EndMorph(bool keep) {
    // Its window closed while a command had it set aside: it does not come back.
    if (!m_morph && m_aside.morph) {
        RememberB(*m_aside.morph);
        m_aside.morph.reset();
        return Closed(true, false);
    }
    if (!m_morph) return;
    // Out of the way first: the window's close may come back here.
    const std::unique_ptr<MorphSession> morph = std::move(m_morph);
    RememberB(*morph);
    if (keep) {
        morph->Keep();
    } else {
        morph->Cancel();
    }
    Closed(true, false);
}

void SoundDesign::Closed(bool morph, bool variations) {
    m_frame.Tell([morph, variations](FrameView& frame) {
        if (morph) frame.CloseMorph();
        if (variations) frame.CloseVariations();
        frame.ShowStatus("");
    });
    m_frame.CommandsChanged();
}

void SoundDesign::OnEditVariations() {
    if (!m_variations) {
        EndMorph(false);
        m_variations = std::make_unique<VariationSession>(m_form, m_host, m_mutation, m_random());
    }
    m_frame.Tell([this](FrameView& frame) { frame.ShowVariations(*this); });
}

void SoundDesign::EndVariations(bool keep) {
    if (!m_variations && m_aside.variations) {
        m_aside.variations.reset();
        return Closed(false, true);
    }
    if (!m_variations) return;
    const std::unique_ptr<VariationSession> variations = std::move(m_variations);
    if (!keep || !variations->Keep()) variations->Close();
    Closed(false, true);
}

void SoundDesign::EndSessions() {
    EndMorph(false);
    EndVariations(false);
    // Already off the form: they only go, with their windows.
    const bool morph = m_aside.morph != nullptr, variations = m_aside.variations != nullptr;
    if (morph) RememberB(*m_aside.morph);
    m_aside.morph.reset();
    m_aside.variations.reset();
    if (morph || variations) Closed(morph, variations);
}

void SoundDesign::RememberB(const MorphSession& morph) {
    if (morph.PatchB()) m_lastB = PatchB{*morph.PatchB(), morph.PatchBName(), morph.PatchBPath()};
}

SoundDesign::Aside::Aside(SoundDesign& sound) : m_sound(sound) { m_sound.StepAside(); }

SoundDesign::Aside::~Aside() { m_sound.ComeBack(); }

void SoundDesign::StepAside() {
    if (m_asideDepth++ > 0 || (!m_morph && !m_variations)) return;
    // Each puts the patch back on the form and at the synthesizer, as its Cancel or Close does, and stays.
    if (m_morph) m_morph->Cancel();
    if (m_variations) m_variations->Close();
    m_aside.morph = std::move(m_morph);
    m_aside.variations = std::move(m_variations);
    m_aside.patch = m_form.CaptureRecord();
    m_aside.loads = m_document.Loads();
}

void SoundDesign::ComeBack() {
    if (--m_asideDepth > 0 || (!m_aside.morph && !m_aside.variations)) return;
    // The patch as the command found it, and no load in between (one may load the same patch again): a Cancel.
    const bool untouched = m_form.CaptureRecord() == m_aside.patch && m_document.Loads() == m_aside.loads;
    if (!untouched) return EndSessions();
    m_morph = std::move(m_aside.morph);
    m_variations = std::move(m_aside.variations);
    if (m_morph) m_morph->Reopen();
    if (m_variations) m_variations->Reopen();
    m_frame.CommandsChanged();
}

TestNoteSettings SoundDesign::ReadTestNote() {
    TestNoteSettings note;
    note.note = std::clamp(m_profile.GetProfileInt(kProfileSection, kProfileTestNoteKey, note.note), 0, 127);
    note.velocity =
        std::clamp(m_profile.GetProfileInt(kProfileSection, kProfileTestVelocityKey, note.velocity), 1, 127);
    return note;
}

void SoundDesign::OnTestNoteSettings() {
    const TestNoteSettings current = ReadTestNote();
    const std::optional<TestNoteSettings> chosen = m_host.Dialogs().RunTestNoteDialog(current);
    if (!chosen || *chosen == current) return;
    m_profile.WriteProfileInt(kProfileSection, kProfileTestNoteKey, std::clamp(chosen->note, 0, 127));
    m_profile.WriteProfileInt(kProfileSection, kProfileTestVelocityKey, std::clamp(chosen->velocity, 1, 127));
}

void SoundDesign::StartTestNote() {
    // A note still sounding ends first.
    StopTestNote();
    const TestNoteSettings note = ReadTestNote();
    m_host.GetActiveSink()->SendChannelMessage(kNoteOnStatus, static_cast<std::uint8_t>(note.note),
                                               static_cast<std::uint8_t>(note.velocity));
    m_soundingNote = note.note;
}

void SoundDesign::StopTestNote() {
    m_noteTimer->Stop();
    const bool wasHeld = m_holdingNote;
    m_holdingNote = false;
    if (m_soundingNote) {
        m_host.GetActiveSink()->SendChannelMessage(kNoteOffStatus, static_cast<std::uint8_t>(*m_soundingNote), 0x40);
        m_soundingNote.reset();
    }
    if (wasHeld) m_frame.CommandsChanged();
}

void SoundDesign::OnPlayTestNote() {
    StartTestNote();
    m_noteTimer->Start(kTestNoteLength);
}

void SoundDesign::OnHoldTestNote() {
    if (m_holdingNote) return StopTestNote();
    StartTestNote();
    m_holdingNote = true;
    m_frame.CommandsChanged();
}

void SoundDesign::OnAllNotesOff() {
    MidiSink* sink = m_host.GetActiveSink();
    sink->SendDirect(ParamMessage(123, 0));  // all notes off
    sink->SendDirect(ParamMessage(120, 0));  // all sound off
    StopTestNote();
}
