// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Sound design: Compare, Mutate and Randomize, Morph and Variations, the test note, All Notes Off.

#include "editor/Mutation.h"
#include "editor/ports/UserDialogs.h"
#include "patch/PatchRecord.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>

// How long Play Test Note lets its note sound.
constexpr std::chrono::milliseconds kTestNoteLength{500};

class Clock;
class MorphSession;
class VariationSession;
class CMainDlg;
class CQuarnEditDoc;
class FormHost;
class FrameSlot;
class Profile;
class Timer;

// The tools for shaping a sound on the instrument: Compare (the original against the edit, each sent whole),
// Mutate and Randomize, the test note, and All Notes Off.
class SoundDesign {
public:
    SoundDesign(CMainDlg& form, CQuarnEditDoc& document, FormHost& host, Profile& profile, Clock& clock,
                const FrameSlot& frame);
    ~SoundDesign();
    SoundDesign(const SoundDesign&) = delete;
    SoundDesign& operator=(const SoundDesign&) = delete;

    // Between the patch being edited and the patch as last loaded or saved, each sent whole.
    void OnEditCompare();
    // Back to the edit, if the original is shown.
    void EndCompare();
    bool IsComparing() const { return m_comparing; }
    // The edit: what the form holds, or while Compare shows the original, the edit put aside.
    PatchRecord Edit() const;
    void OnEditMutate();
    // Edit > Morph...: a morph from the patch to one chosen in its window (raised when one is open). The B of the
    // morph before, since the program started, is chosen again: at A's end of the slider it changes nothing.
    void OnEditMorph();
    // The open morph, or null. `MorphSession::SetPosition` is what a learned controller moves.
    MorphSession* Morph() { return m_morph.get(); }
    bool IsMorphing() const { return m_morph != nullptr; }
    // Moves the open morph to `position` (0..1000, clamped), as its slider does: what a hardware controller
    // learned to the morph calls, with its value scaled. False when no morph is open (or it has no B yet).
    bool SetMorphPosition(int position);
    // Ends the morph: its blend kept as the patch, or cancelled (A back). The window closes.
    void EndMorph(bool keep);
    // Edit > Variations...: eight variations of the patch by the Mutate settings (raised when open).
    void OnEditVariations();
    VariationSession* Variations() { return m_variations.get(); }
    bool HasVariations() const { return m_variations != nullptr; }
    // Ends the variations: the chosen one kept (when there is one), or the patch sent back. The window closes.
    void EndVariations(bool keep);
    // A command on the patch is coming: an open morph is cancelled, open variations end without keeping; ones set
    // aside for a command end too.
    void EndSessions();

    // A command that may change the patch runs with the morph and the variations set aside: the form and the
    // synthesizer hold the patch meanwhile (so a save question saves the patch, and a command works on it). When
    // the command leaves the patch as it found it (it was cancelled), they come back where they were; else they
    // end and their windows close. Nested, the outermost decides; EndSessions meanwhile ends them for good.
    class Aside {
    public:
        explicit Aside(SoundDesign& sound);
        ~Aside();
        Aside(const Aside&) = delete;
        Aside& operator=(const Aside&) = delete;

    private:
        SoundDesign& m_sound;
    };

    // The random source of Mutate and Variations; a fixed seed makes them repeat.
    void SetRandomSeed(std::uint32_t seed) { m_random.seed(seed); }

    void OnTestNoteSettings();
    void OnPlayTestNote();
    // Starts the test note, or ends the one that is held.
    void OnHoldTestNote();
    // Ends the note that sounds, if any.
    void StopTestNote();
    bool IsHoldingTestNote() const { return m_holdingNote; }
    void OnAllNotesOff();

private:
    TestNoteSettings ReadTestNote();
    void StartTestNote();
    // The morph's B, to offer again.
    void RememberB(const MorphSession& morph);
    void StepAside();
    void ComeBack();
    // Their windows close, the menu follows.
    void Closed(bool morph, bool variations);

    CMainDlg& m_form;
    CQuarnEditDoc& m_document;
    FormHost& m_host;
    Profile& m_profile;
    const FrameSlot& m_frame;
    std::unique_ptr<Timer> m_noteTimer;
    std::optional<int> m_soundingNote;
    bool m_holdingNote = false;
    bool m_comparing = false;
    PatchRecord m_editedPatch;  // the edit, put aside while the original is shown
    MutationSettings m_mutation;
    std::mt19937 m_random{std::random_device{}()};
    std::unique_ptr<MorphSession> m_morph;
    std::unique_ptr<VariationSession> m_variations;
    // Set aside for a command: the patch they left, and how many loads the document had seen then.
    struct SetAside {
        std::unique_ptr<MorphSession> morph;
        std::unique_ptr<VariationSession> variations;
        PatchRecord patch;
        std::uint64_t loads = 0;
    };
    SetAside m_aside;
    struct PatchB {
        PatchRecord record;
        std::string name;
        std::string path;
    };
    std::optional<PatchB> m_lastB;
    int m_asideDepth = 0;
};
