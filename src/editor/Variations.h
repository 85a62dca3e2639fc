// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/EditHistory.h"
#include "editor/Mutation.h"
#include "patch/PatchRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

class CMainDlg;
class FormHost;

constexpr std::size_t kVariationCount = 8;

// Rounds of variations of the form's patch, for choosing by ear: eight mutations of the patch (the mutation
// settings' amount and sections), then, on Breed, eight mutations of the chosen one, or of blends of the two
// chosen. As the morph does, the session shows on the form what the synthesizer plays: an audition fills the form
// with the variation (the patch's texts and Midi Ch. kept) and sends it whole, giving way to the next audition as
// the library's does; the form takes no edits meanwhile, so a knob cannot change one and not the other. Keep makes
// what is heard the patch, one undo step; closing puts the patch back on the form and at the synthesizer. The
// history and the modified flag see nothing before Keep. The same seed makes the same rounds.
class VariationSession {
public:
    using Round = std::array<PatchRecord, kVariationCount>;
    // The variation the form shows and the synthesizer was sent last: which round (1 for the first) and which one.
    struct Heard {
        std::size_t round = 0;
        std::size_t index = 0;
        friend bool operator==(const Heard&, const Heard&) = default;
    };

    // `host`: the application's, whose dialogs the scratch form that mutates would use.
    VariationSession(CMainDlg& form, FormHost& host, const MutationSettings& settings, std::uint32_t seed);
    // Without Keep, the patch goes back to the form and the synthesizer.
    ~VariationSession();
    VariationSession(const VariationSession&) = delete;
    VariationSession& operator=(const VariationSession&) = delete;

    const Round& Variations() const { return m_rounds.back().variations; }
    // 1 for the first round.
    std::size_t RoundNumber() const { return m_rounds.size(); }
    std::optional<std::size_t> Chosen() const { return m_rounds.back().chosen; }
    std::optional<std::size_t> Second() const { return m_rounds.back().second; }
    // None until the first audition; after Breed, still the one heard in the round before until another is.
    std::optional<Heard> HeardNow() const;
    const MutationSettings& Settings() const { return m_settings; }
    // The patch as it was when the variations began, which the form shows again when they end without Keep.
    const PatchRecord& Patch() const { return m_patch; }

    // Chooses one (0..7), shows it and sends it whole; the second choice goes.
    void Audition(std::size_t index);
    // Chooses a second one beside the first (or the first, when none is chosen yet), shows it and sends it whole;
    // choosing the first again takes the second away.
    void AuditionSecond(std::size_t index);
    // Eight new variations around the chosen one, or between the two chosen; false when none is chosen. What is
    // heard stays until the next audition.
    bool Breed();
    // Back to the round before, with its choices; the one heard last in it is shown and sent again. False in the
    // first round.
    bool Back();
    // What is heard (the form shows it) becomes the patch: one undo step, sent whole; false when nothing was
    // auditioned yet.
    bool Keep();
    // Ends without keeping: the patch back on the form, and at the synthesizer what differs from it.
    void Close();
    // After a Close that a command asked for and then did not need (the form still holds the patch): the variation
    // heard before, on the form and at the synthesizer, read-only again, every round as it was.
    void Reopen();
    bool Done() const { return m_done; }

    void SetObserver(std::function<void()> observer) { m_observer = std::move(observer); }

private:
    class ScratchHost;
    struct RoundState {
        Round variations;
        std::optional<std::size_t> chosen;
        std::optional<std::size_t> second;
        std::optional<std::size_t> heard;  // the last of its variations sent
    };
    // A mutation of `record` as Mutate makes one, on the scratch form, sending nothing.
    PatchRecord Mutated(const PatchRecord& record);
    // The round's variation on the form, sent whole.
    void Play(std::size_t index);
    void Changed();

    CMainDlg& m_form;
    PatchRecord m_patch;
    EditFields m_patchFields{};
    std::unique_ptr<ScratchHost> m_scratchHost;
    std::unique_ptr<CMainDlg> m_scratch;  // makes the mutations
    MutationSettings m_settings;
    std::mt19937 m_random;
    std::vector<RoundState> m_rounds;
    std::function<void()> m_observer;
    bool m_done = false;
};
