// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EnvelopeShape.h"

#include "editor/ControlTable.h"
#include "editor/FixedLists.h"
#include "editor/FormState.h"
#include "editor/ParameterMap.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr std::array kSections{
    EnvelopeControls{"ENV1", EnvelopeMode::Loop, ctl::Env1Attack, ctl::Env1Level, ctl::Env1Decay, ctl::Env1Sustain,
                     ctl::Env1Release, ctl::Env1Offset, ctl::Env1OffsetSource, ctl::Env1Loop},
    EnvelopeControls{"ENV2", EnvelopeMode::FreeRun, ctl::Env2Attack, ctl::Env2Level, ctl::Env2Decay, ctl::Env2Sustain,
                     ctl::Env2Release, ctl::Env2Offset, ctl::Env2OffsetSource, ctl::Env2FreeRun},
};

constexpr double kTop = 255.0;
// The most loop rounds drawn while the key is held: a faster loop is drawn at this many, as a blur of more
// would tell nothing more.
constexpr int kMostRounds = 16;

double Fraction(int position) { return std::clamp(position, 0, 255) / kTop; }

// Where the straight line from `a` to `b` is at `time` (between them).
EnvelopePoint At(EnvelopePoint a, EnvelopePoint b, double time) {
    if (b.time <= a.time) return {time, b.level};
    return {time, a.level + (b.level - a.level) * (time - a.time) / (b.time - a.time)};
}

std::string Percent(int position) {
    return std::to_string(static_cast<int>(std::lround(Fraction(position) * 100.0))) + " %";
}

std::string LevelText(int position) { return position >= 255 ? "full level" : Percent(position); }

// A time slider's position in words, on the slider's own scale: the real times are not known.
std::string_view Speed(int position) {
    if (position <= 0) return "instant";
    if (position <= 40) return "fast";
    if (position <= 120) return "medium";
    if (position <= 200) return "slow";
    return "very slow";
}

}  // namespace

std::span<const EnvelopeControls> EnvelopeSections() { return kSections; }

bool ShowsInEnvelope(const EnvelopeControls& s, int id) {
    return id == s.attack || id == s.level || id == s.decay || id == s.sustain || id == s.release || id == s.offset ||
           id == s.offsetSource || id == s.levelToRelease;
}

EnvelopeValues ReadEnvelope(const FormState& form, const EnvelopeControls& s) {
    EnvelopeValues v;
    v.attack = form.GetPos(s.attack);
    v.level = form.GetPos(s.level);
    v.decay = form.GetPos(s.decay);
    v.sustain = form.GetPos(s.sustain);
    v.release = form.GetPos(s.release);
    v.offset = form.GetPos(s.offset);
    v.levelToRelease = form.IsChecked(s.levelToRelease);
    // Entry 0 (or none) is the slider's fixed value; entries 1..16 the sources.
    const int entry = form.GetCurSel(s.offsetSource);
    v.offsetSource = entry >= 1 && entry <= static_cast<int>(g_modSourceNames.size()) ? SourceOfEntry(entry) : -1;
    return v;
}

EnvelopeShape ShapeOf(const EnvelopeValues& v, EnvelopeMode mode) {
    EnvelopeShape shape;
    shape.baselineFollows = v.offsetSource >= 0;
    shape.baseline = shape.baselineFollows ? 0.0 : Fraction(v.offset);
    const double attack = Fraction(v.attack) * kEnvelopeSegment;
    const double decay = Fraction(v.decay) * kEnvelopeSegment;
    const double release = Fraction(v.release) * kEnvelopeSegment;
    const double level = Fraction(v.level);
    const double sustain = Fraction(v.sustain);
    const EnvelopePoint decayed{attack + decay, sustain};
    shape.line = {{0.0, shape.baseline}, {attack, level}, decayed};

    if (!v.levelToRelease) {
        shape.tail = {decayed, {shape.keyUp, sustain}, {shape.keyUp + release, shape.baseline}};
    } else if (mode == EnvelopeMode::FreeRun) {
        shape.freeRunFrom = decayed;
        shape.tail = {decayed, {decayed.time + release, shape.baseline}};
    } else {
        shape.loop = EnvelopeShape::Loop{decayed.time, attack};
        // Each round rises to the level in the attack's time and decays again in the decay's, until the key.
        const double room = shape.keyUp - decayed.time;
        double up = attack;
        double down = decay;
        if (up + down < room / kMostRounds) {
            const double round = room / kMostRounds;
            const double upShare = up + down > 0.0 ? up / (up + down) : 0.5;
            up = round * upShare;
            down = round - up;
        }
        shape.repeat.push_back(decayed);
        EnvelopePoint last = decayed;
        // Each step takes time (a round has at least room / kMostRounds), so the rounds end at the key.
        for (bool rising = true; last.time < shape.keyUp; rising = !rising) {
            EnvelopePoint next =
                rising ? EnvelopePoint{last.time + up, level} : EnvelopePoint{last.time + down, sustain};
            if (next.time >= shape.keyUp) next = At(last, next, shape.keyUp);
            shape.repeat.push_back(next);
            last = next;
        }
        shape.tail = {last, {shape.keyUp + release, shape.baseline}};
    }
    return shape;
}

std::string DescribeEnvelope(std::string_view name, const EnvelopeValues& v, EnvelopeMode mode) {
    const bool follows = v.offsetSource >= 0 && v.offsetSource < static_cast<int>(g_modSourceNames.size());
    std::string hold = "held while the key is down";
    if (v.levelToRelease && mode == EnvelopeMode::Loop)
        hold = "back up to " + LevelText(v.level) + " and down again while the key is down";
    else if (v.levelToRelease)
        hold = "on to the release without waiting for the key";
    std::string text(name);
    text += ": ";
    text += Speed(v.attack);
    text += " attack to " + LevelText(v.level) + ", decay to " + LevelText(v.sustain) + ", " + hold + ", ";
    text += Speed(v.release);
    text += " release to " + (follows ? std::string("the offset") : LevelText(v.offset)) + "; ";
    text += Speed(v.decay);
    text += " decay, offset ";
    text += follows ? "follows " + std::string(g_modSourceNames[static_cast<std::size_t>(v.offsetSource)])
                    : LevelText(v.offset);
    text += ".";
    return text;
}
