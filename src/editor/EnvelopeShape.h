// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An envelope of the form (ENV1 or ENV2) as a shape over time and in words, from the form's own controls.
// The synthesizer's real times are unknown, so times are proportional: each of attack, decay and release takes
// up to one unit of time at the top of its slider, and the key is released at a fixed time, after the longest
// attack and decay. Levels run from 0 (slider at 0) to 1 (slider at the top).

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class FormState;

// What the section's "[Level => release]" box does when checked, as the row's label calls it.
enum class EnvelopeMode {
    Loop,     // ENV1: while the key is held, the envelope goes back up to the level and decays again
    FreeRun,  // ENV2: the envelope goes on from the decay to the release without waiting for the key
};

// The controls of one envelope section of the form.
struct EnvelopeControls {
    std::string_view name;  // "ENV1"
    EnvelopeMode mode;
    int attack, level, decay, sustain, release, offset, offsetSource, levelToRelease;
};

// ENV1 then ENV2.
std::span<const EnvelopeControls> EnvelopeSections();
// Whether a change of control `id` can change the section's picture.
bool ShowsInEnvelope(const EnvelopeControls& section, int id);

// The section's values as the form shows them now.
struct EnvelopeValues {
    int attack = 0, level = 0, decay = 0, sustain = 0, release = 0, offset = 0;  // slider positions 0..255
    bool levelToRelease = false;                                                 // the "[Level => release]" box
    int offsetSource = -1;  // the modulation source the offset follows; -1: the slider's fixed value
    bool operator==(const EnvelopeValues&) const = default;
};
EnvelopeValues ReadEnvelope(const FormState& form, const EnvelopeControls& section);

struct EnvelopePoint {
    double time;   // 0 at the key's press, kEnvelopeSpan at the end of the longest release
    double level;  // 0..1
    bool operator==(const EnvelopePoint&) const = default;
};

// Each time segment's room at the top of its slider, and where the key is released.
constexpr double kEnvelopeSegment = 1.0;
constexpr double kEnvelopeKeyUp = 2.6;
constexpr double kEnvelopeSpan = kEnvelopeKeyUp + kEnvelopeSegment;

struct EnvelopeShape {
    // Three runs of one path, each starting where the one before ends. Drawn solid: the attack and the decay.
    std::vector<EnvelopePoint> line;
    // Drawn dashed, between the decay and the release: the loop going round while the key is held.
    std::vector<EnvelopePoint> repeat;
    // Drawn solid: the hold (when neither loop nor free run) and the release.
    std::vector<EnvelopePoint> tail;
    // The loop's arrow, from the end of the decay back to the level it starts again from.
    struct Loop {
        double from, to;
    };
    std::optional<Loop> loop;
    // Free run: where the envelope leaves for the release without waiting for the key.
    std::optional<EnvelopePoint> freeRunFrom;
    double keyUp = kEnvelopeKeyUp;
    // The level the envelope starts from and returns to; a dashed line when the offset follows a source, as
    // the level is then not known (drawn at 0).
    double baseline = 0;
    bool baselineFollows = false;
};
EnvelopeShape ShapeOf(const EnvelopeValues& values, EnvelopeMode mode);

// "ENV1: fast attack to full level, decay to 80 %, held while the key is down, slow release to 0 %; medium
// decay, offset 0 %." For screen readers, in place of the picture.
std::string DescribeEnvelope(std::string_view name, const EnvelopeValues& values, EnvelopeMode mode);
