// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/EditHistory.h"
#include "patch/PatchRecord.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

class CMainDlg;

// The morph's scale: 0 is patch A, kMorphEnd patch B; from kMorphMiddle on, what cannot be blended is B's.
constexpr int kMorphEnd = 1000;
constexpr int kMorphMiddle = 500;

// A position as the morph window shows it: "70.3 % B" for 703.
std::string MorphPositionText(int position);

// A slider's value at `position`: a + (b - a) * position / 1000, rounded to the nearest whole number and a half
// away from A, so 0 is exactly A's value, 1000 exactly B's, and a sweep either way passes the same values.
std::int32_t BlendValue(std::int32_t a, std::int32_t b, int position);

// Patch A blended with patch B at `position` (clamped to 0..1000). Every slider moves linearly; every list and
// check box, and a slider whose row follows a modulation source in either patch (with its source list), is A's
// below the middle and B's from the middle (500) on. The texts and the Midi Ch. stay A's: the morph blends the
// sound, the patch stays the document's.
PatchRecord BlendPatches(const PatchRecord& a, const PatchRecord& b, int position);

// `sound` as a patch of `patch`'s: `patch`'s texts and Midi Ch., `sound`'s everything else. What a morph or a
// variation shows on the form and keeps: they change the sound, the patch stays the document's.
PatchRecord SoundIn(const PatchRecord& sound, const PatchRecord& patch);

// A morph on the form: A is the form's patch when it starts, B one chosen later. The form shows the blend at
// every position, read-only; each move sends, as a stream, only the parameters whose message changed since the
// last blend sent. Keep makes the blend the patch as one undo step; Cancel puts A back, on the form and at the
// synthesizer. Either way the synthesizer then holds what the form shows.
class MorphSession {
public:
    explicit MorphSession(CMainDlg& form);
    ~MorphSession();
    MorphSession(const MorphSession&) = delete;
    MorphSession& operator=(const MorphSession&) = delete;

    // Patch B from a patch file, read as File > Open reads one; the message for the user when it cannot be.
    std::optional<std::string> LoadPatchB(const std::string& path);
    void SetPatchB(const PatchRecord& b, std::string name, std::string path = {});
    bool HasPatchB() const { return m_b.has_value(); }
    // B's name as its record stores it, decoded for showing.
    const std::string& PatchBName() const { return m_bName; }
    const std::optional<PatchRecord>& PatchB() const { return m_b; }
    // The file B was read from; empty when it came as a record.
    const std::string& PatchBPath() const { return m_bPath; }
    const PatchRecord& PatchA() const { return m_a; }

    // The one entry point that moves the morph, for the window's slider and for a hardware controller alike:
    // 0..1000 (clamped), nothing before B is chosen. The form shows the blend, the changes are sent, and the
    // observer hears of it.
    void SetPosition(int position);
    int Position() const { return m_position; }
    // Told after the position or B changed, whoever changed it.
    void SetObserver(std::function<void()> observer) { m_observer = std::move(observer); }

    // The blend becomes the patch: one undo step (none when it is A), the document modified.
    void Keep();
    // A back on the form, and at the synthesizer what differs from the last blend sent.
    void Cancel();
    // After a Cancel that a command asked for and then did not need (the patch is still A): the blend where it
    // was, on the form and at the synthesizer, read-only again.
    void Reopen();

private:
    void ShowAndSend();
    void Finish();

    CMainDlg& m_form;
    PatchRecord m_a;
    EditFields m_aFields{};
    std::optional<PatchRecord> m_b;
    std::string m_bName;
    std::string m_bPath;
    int m_position = 0;
    std::function<void()> m_observer;
    bool m_done = false;
};
