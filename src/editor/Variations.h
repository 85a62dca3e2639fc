// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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
// chosen. An audition sends one whole, giving way to the next audition as the library's does; the document's
// form, history and modified flag see nothing of it until Keep. The same seed makes the same rounds.
class VariationSession {
public:
    using Round = std::array<PatchRecord, kVariationCount>;

    // `host`: where auditions go (the application's active sink at the moment).
    VariationSession(CMainDlg& form, FormHost& host, const MutationSettings& settings, std::uint32_t seed);
    // Without Keep, the patch goes back to the synthesizer if anything was auditioned.
    ~VariationSession();
    VariationSession(const VariationSession&) = delete;
    VariationSession& operator=(const VariationSession&) = delete;

    const Round& Variations() const { return m_rounds.back().variations; }
    // 1 for the first round.
    std::size_t RoundNumber() const { return m_rounds.size(); }
    std::optional<std::size_t> Chosen() const { return m_rounds.back().chosen; }
    std::optional<std::size_t> Second() const { return m_rounds.back().second; }

    // Chooses one (0..7) and sends it whole; the second choice goes.
    void Audition(std::size_t index);
    // Chooses a second one beside the first (or the first, when none is chosen yet) and sends it whole;
    // choosing the first again takes the second away.
    void AuditionSecond(std::size_t index);
    // Eight new variations around the chosen one, or between the two chosen; false when none is chosen.
    bool Breed();
    // Back to the round before, with its choices; false in the first round.
    bool Back();
    // The chosen one's sound becomes the patch (the texts and Midi Ch. stay): one undo step, sent whole; false
    // when none is chosen.
    bool Keep();
    // Ends without keeping: the synthesizer gets the form's patch back if anything was auditioned.
    void Close();
    bool Done() const { return m_done; }

    void SetObserver(std::function<void()> observer) { m_observer = std::move(observer); }

private:
    class ScratchHost;
    struct RoundState {
        Round variations;
        std::optional<std::size_t> chosen;
        std::optional<std::size_t> second;
    };
    // A mutation of `record` as Mutate makes one, on the scratch form, sending nothing.
    PatchRecord Mutated(const PatchRecord& record);
    void Send(std::size_t index);
    void Changed();

    CMainDlg& m_form;
    std::unique_ptr<ScratchHost> m_scratchHost;
    std::unique_ptr<CMainDlg> m_scratch;  // makes the mutations and sends the auditions
    MutationSettings m_settings;
    std::mt19937 m_random;
    std::vector<RoundState> m_rounds;
    std::function<void()> m_observer;
    bool m_done = false;
};
