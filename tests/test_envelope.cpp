// SPDX-License-Identifier: GPL-3.0-or-later
// The envelope pictures' shape and words from hand-made values, and the form's values they are read from.
#include "editor/CMainDlg.h"
#include "editor/EnvelopeShape.h"
#include "editor/FormState.h"

#include "EditorRig.h"

#include <gtest/gtest.h>

namespace {

const EnvelopeControls& Env1() { return EnvelopeSections()[0]; }
const EnvelopeControls& Env2() { return EnvelopeSections()[1]; }

EnvelopeValues Values(int attack, int level, int decay, int sustain, int release, int offset = 0) {
    EnvelopeValues v;
    v.attack = attack;
    v.level = level;
    v.decay = decay;
    v.sustain = sustain;
    v.release = release;
    v.offset = offset;
    return v;
}

// All the points of the path in order.
std::vector<EnvelopePoint> Path(const EnvelopeShape& s) {
    std::vector<EnvelopePoint> all = s.line;
    all.insert(all.end(), s.repeat.begin(), s.repeat.end());
    all.insert(all.end(), s.tail.begin(), s.tail.end());
    return all;
}

TEST(EnvelopeShape, SegmentsAreProportionalToTheirSlidersAndTheKeyIsReleasedAtAFixedTime) {
    const EnvelopeShape s = ShapeOf(Values(51, 255, 102, 204, 255, 0), EnvelopeMode::Loop);
    ASSERT_EQ(s.line.size(), 3U);
    EXPECT_DOUBLE_EQ(s.line[0].time, 0.0);
    EXPECT_DOUBLE_EQ(s.line[0].level, 0.0);
    EXPECT_DOUBLE_EQ(s.line[1].time, 0.2);  // 51 of 255
    EXPECT_DOUBLE_EQ(s.line[1].level, 1.0);
    EXPECT_DOUBLE_EQ(s.line[2].time, 0.6);  // and 102 more
    EXPECT_DOUBLE_EQ(s.line[2].level, 0.8);
    EXPECT_TRUE(s.repeat.empty());
    EXPECT_FALSE(s.loop.has_value());
    EXPECT_FALSE(s.freeRunFrom.has_value());
    // Held at the sustain until the key, then the whole release's room.
    ASSERT_EQ(s.tail.size(), 3U);
    EXPECT_EQ(s.tail[0], s.line[2]);
    EXPECT_EQ(s.tail[1], (EnvelopePoint{kEnvelopeKeyUp, 0.8}));
    EXPECT_EQ(s.tail[2], (EnvelopePoint{kEnvelopeSpan, 0.0}));

    // A longer attack moves only what follows it; the key-up stays where it was.
    const EnvelopeShape longer = ShapeOf(Values(102, 255, 102, 204, 255, 0), EnvelopeMode::Loop);
    EXPECT_DOUBLE_EQ(longer.line[2].time - longer.line[1].time, s.line[2].time - s.line[1].time);
    EXPECT_DOUBLE_EQ(longer.keyUp, s.keyUp);
    // An instant attack is a vertical line.
    EXPECT_DOUBLE_EQ(ShapeOf(Values(0, 255, 0, 0, 0), EnvelopeMode::Loop).line[1].time, 0.0);
}

TEST(EnvelopeShape, StartsAndEndsAtTheOffsetOrAtZeroDashedWhenTheOffsetFollowsASource) {
    EnvelopeValues v = Values(10, 200, 10, 100, 10, 51);
    EnvelopeShape s = ShapeOf(v, EnvelopeMode::FreeRun);
    EXPECT_DOUBLE_EQ(s.baseline, 0.2);
    EXPECT_FALSE(s.baselineFollows);
    EXPECT_DOUBLE_EQ(s.line.front().level, 0.2);
    EXPECT_DOUBLE_EQ(s.tail.back().level, 0.2);
    v.offsetSource = 7;
    s = ShapeOf(v, EnvelopeMode::FreeRun);
    EXPECT_TRUE(s.baselineFollows);
    EXPECT_DOUBLE_EQ(s.baseline, 0.0);
    EXPECT_DOUBLE_EQ(s.tail.back().level, 0.0);
}

TEST(EnvelopeShape, FreeRunGoesFromTheDecayStraightToTheRelease) {
    EnvelopeValues v = Values(51, 255, 51, 128, 51);
    v.levelToRelease = true;
    const EnvelopeShape s = ShapeOf(v, EnvelopeMode::FreeRun);
    ASSERT_TRUE(s.freeRunFrom.has_value());
    EXPECT_EQ(*s.freeRunFrom, s.line.back());
    ASSERT_EQ(s.tail.size(), 2U);
    EXPECT_DOUBLE_EQ(s.tail[1].time, 0.6);  // decay's end plus the release, long before the key
    EXPECT_DOUBLE_EQ(s.tail[1].level, 0.0);
    EXPECT_TRUE(s.repeat.empty());
    EXPECT_FALSE(s.loop.has_value());
}

TEST(EnvelopeShape, LoopGoesRoundBetweenLevelAndSustainUntilTheKeyThenReleases) {
    EnvelopeValues v = Values(51, 255, 51, 51, 51);
    v.levelToRelease = true;
    const EnvelopeShape s = ShapeOf(v, EnvelopeMode::Loop);
    ASSERT_TRUE(s.loop.has_value());
    EXPECT_DOUBLE_EQ(s.loop->from, 0.4);
    EXPECT_DOUBLE_EQ(s.loop->to, 0.2);
    ASSERT_GE(s.repeat.size(), 3U);
    EXPECT_EQ(s.repeat.front(), s.line.back());
    // Each round rises to the level in the attack's time and falls back in the decay's.
    EXPECT_NEAR(s.repeat[1].time, 0.6, 1e-12);
    EXPECT_DOUBLE_EQ(s.repeat[1].level, 1.0);
    EXPECT_NEAR(s.repeat[2].time, 0.8, 1e-12);
    EXPECT_DOUBLE_EQ(s.repeat[2].level, 0.2);
    // It ends at the key, where the release takes over from wherever the round was.
    EXPECT_DOUBLE_EQ(s.repeat.back().time, kEnvelopeKeyUp);
    EXPECT_EQ(s.tail.front(), s.repeat.back());
    EXPECT_EQ(s.tail.back(), (EnvelopePoint{kEnvelopeKeyUp + 0.2, 0.0}));
    const std::vector<EnvelopePoint> path = Path(s);
    for (std::size_t i = 1; i < path.size(); ++i) EXPECT_GE(path[i].time, path[i - 1].time) << i;
}

TEST(EnvelopeShape, AnInstantLoopIsDrawnAsABoundedNumberOfRounds) {
    EnvelopeValues v = Values(0, 255, 0, 0, 0);
    v.levelToRelease = true;
    const EnvelopeShape s = ShapeOf(v, EnvelopeMode::Loop);
    // Sixteen rounds of two steps, the first point being the decay's end: a path that ends.
    EXPECT_LE(s.repeat.size(), 2U * 16U + 2U);
    EXPECT_DOUBLE_EQ(s.repeat.back().time, kEnvelopeKeyUp);
}

TEST(EnvelopeWords, SayTheShapeAsTheSlidersSetIt) {
    EXPECT_EQ(DescribeEnvelope("ENV1", Values(20, 255, 100, 204, 180, 0), EnvelopeMode::Loop),
              "ENV1: fast attack to full level, decay to 80 %, held while the key is down, slow release to 0 %; "
              "medium decay, offset 0 %.");
    EXPECT_EQ(DescribeEnvelope("ENV2", Values(0, 128, 255, 0, 41, 26), EnvelopeMode::FreeRun),
              "ENV2: instant attack to 50 %, decay to 0 %, held while the key is down, medium release to 10 %; "
              "very slow decay, offset 10 %.");
}

TEST(EnvelopeWords, SayTheLoopTheFreeRunAndAnOffsetThatFollowsASource) {
    EnvelopeValues v = Values(20, 255, 100, 204, 180, 0);
    v.levelToRelease = true;
    EXPECT_EQ(DescribeEnvelope("ENV1", v, EnvelopeMode::Loop),
              "ENV1: fast attack to full level, decay to 80 %, back up to full level and down again while the key "
              "is down, slow release to 0 %; medium decay, offset 0 %.");
    v.offsetSource = 7;
    EXPECT_EQ(DescribeEnvelope("ENV2", v, EnvelopeMode::FreeRun),
              "ENV2: fast attack to full level, decay to 80 %, on to the release without waiting for the key, slow "
              "release to the offset; medium decay, offset follows Vel.");
}

TEST(EnvelopeValuesFromTheForm, AreTheSlidersTheBoxAndTheOffsetsSource) {
    EditorRig rig;
    rig.dlg.OnInitialUpdate();
    FormState& form = rig.dlg.form();
    form.SetPos(ctl::Env2Attack, 11);
    form.SetPos(ctl::Env2Level, 22);
    form.SetPos(ctl::Env2Decay, 33);
    form.SetPos(ctl::Env2Sustain, 44);
    form.SetPos(ctl::Env2Release, 55);
    form.SetPos(ctl::Env2Offset, 66);
    form.SetCheck(ctl::Env2FreeRun, true);
    rig.dlg.FillSourceList(66, ctl::Env2OffsetSource);
    EnvelopeValues expected = Values(11, 22, 33, 44, 55, 66);
    expected.levelToRelease = true;
    EXPECT_EQ(ReadEnvelope(form, Env2()), expected);
    // Entry 0 is the fixed value; entry 8 the eighth source (Vel).
    form.SetCurSel(ctl::Env2OffsetSource, 0);
    EXPECT_EQ(ReadEnvelope(form, Env2()).offsetSource, -1);
    form.SetCurSel(ctl::Env2OffsetSource, 8);
    EXPECT_EQ(ReadEnvelope(form, Env2()).offsetSource, 7);
    // ENV1 is untouched by all that.
    EXPECT_EQ(ReadEnvelope(form, Env1()).attack, form.GetPos(ctl::Env1Attack));
    EXPECT_TRUE(ShowsInEnvelope(Env1(), ctl::Env1Loop));
    EXPECT_FALSE(ShowsInEnvelope(Env1(), ctl::Env2Attack));
    EXPECT_FALSE(ShowsInEnvelope(Env2(), ctl::Dco1Amp));
}

// What the pictures listen to: every change, the user's own moves too, which the form's view never hears.
TEST(FormWatchers, HearEveryChangeOfEitherOriginUntilRemoved) {
    struct Heard : FormWatcher {
        std::vector<int> ids;
        void ControlStateChanged(int id) override { ids.push_back(id); }
    } heard;
    FormState form;
    form.AddWatcher(&heard);
    form.AddWatcher(&heard);  // once only
    form.SetPos(ctl::Env1Attack, 5, ChangeOrigin::User);
    form.SetCheck(ctl::Env1Loop, true, ChangeOrigin::User);
    form.SetPos(ctl::Env1Decay, 7);
    EXPECT_EQ(heard.ids, (std::vector<int>{ctl::Env1Attack, ctl::Env1Loop, ctl::Env1Decay}));
    form.RemoveWatcher(&heard);
    form.SetPos(ctl::Env1Decay, 8);
    EXPECT_EQ(heard.ids.size(), 3U);
}

}  // namespace
