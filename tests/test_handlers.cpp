// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorFixture.h"

#include "editor/FixedLists.h"

namespace {

using HandlerTest = EditorFixture;

TEST_F(HandlerTest, PlainSliderShowsItsValueAndSendsWide) {
    FillAsLoaded();
    dlg.UserMovedSlider(ctl::Env1Attack, 200);
    dlg.UserMovedSlider(ctl::Env2Release, 127);
    dlg.UserMovedSlider(ctl::Step, 9);  // the slider stops at 7
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {108, 72}, {16, 1}, {118, 127}, {16, 1}, {24, 7}}));
    EXPECT_EQ(form.GetText(ctl::Env1AttackBox), "200");
    EXPECT_EQ(form.GetText(ctl::StepBox), "7");
    EXPECT_EQ(dlg.m_env1Attack, 200);
    EXPECT_EQ(pause.count, 6);
    EXPECT_EQ(g_updatingValueBox, 0);
}

TEST_F(HandlerTest, OctaveCarriesTheRow3Mode) {
    FillAsLoaded();
    dlg.UserSelected(ctl::Dco1Row3Mode, 3);
    dlg.UserMovedSlider(ctl::Dco1Octave, 15);
    dlg.UserSelected(ctl::Dco1Row3Mode, 1);  // re-sends the unchanged octave with the new mode
    dlg.UserSelected(ctl::Dco2Row3Mode, 2);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {30, 48}, {16, 1}, {30, 63}, {16, 1}, {30, 31}, {16, 1}, {106, 32}}));
    EXPECT_EQ(form.GetText(ctl::Dco1OctaveBox), "15");
}

TEST_F(HandlerTest, SliderWithSourceListRefillsAndSendsTheFixedValue) {
    FillAsLoaded();
    dlg.UserSelected(ctl::Dco1AmpSource, 8);  // "Vel"
    dlg.UserMovedSlider(ctl::Dco1Amp, 200);
    EXPECT_EQ(ports.bytes, CC({{16, 3}, {29, 7}, {16, 2}, {29, 72}}));
    const ControlState& list = form.Get(ctl::Dco1AmpSource);
    ASSERT_EQ(list.entries.size(), 17u);
    EXPECT_EQ(list.entries[0], "200");
    EXPECT_EQ(list.entries[8], "Vel");
    EXPECT_EQ(list.selection, 0);
}

TEST_F(HandlerTest, SourceListChoices) {
    FillAsLoaded();
    dlg.UserMovedSlider(ctl::Dco2Offset, 255);
    dlg.UserSelected(ctl::Dco2OffsetSource, 1);   // "En1"
    dlg.UserSelected(ctl::Dco2OffsetSource, 16);  // "Bth"
    dlg.UserSelected(ctl::Dco2OffsetSource, 0);   // the fixed value again
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {104, 127}, {16, 3}, {104, 0}, {16, 3}, {104, 15}, {16, 2}, {104, 127}}));
    EXPECT_EQ(form.GetCurSel(ctl::Dco2OffsetSource), 0);
    EXPECT_EQ(form.Get(ctl::Dco2OffsetSource).entries[0], "255");
}

TEST_F(HandlerTest, WaveAndDist) {
    FillAsLoaded();
    dlg.UserSelected(ctl::Dco1Dist, 3);  // "Wrp" with "SUp"
    dlg.UserSelected(ctl::Dco1Wave, 7);  // "Sil"
    EXPECT_TRUE(form.IsEnabled(ctl::Dco1Dist));
    dlg.UserSelected(ctl::Dco1Wave, 8);  // "En1"
    EXPECT_FALSE(form.IsEnabled(ctl::Dco1Dist));
    EXPECT_EQ(form.GetCurSel(ctl::Dco1Dist), 3);
    dlg.UserSelected(ctl::Dco2Wave, 23);  // "Bth"
    dlg.UserSelected(ctl::Dco2Wave, 5);   // "S&H", Dist "Clp"
    EXPECT_TRUE(form.IsEnabled(ctl::Dco2Dist));
    EXPECT_EQ(ports.bytes,
              CC({{16, 1}, {26, 24}, {16, 1}, {26, 31}, {16, 3}, {26, 0}, {16, 3}, {102, 15}, {16, 1}, {102, 5}}));
}

TEST_F(HandlerTest, SwitchAndFilterBoxesSendTheirWords) {
    FillAsLoaded();
    dlg.m_switchBits = 0x300;  // bits above 7 stay in the field but never reach the wire
    dlg.UserClicked(ctl::Env2FreeRun);
    EXPECT_EQ(dlg.m_switchBits, 0x380);
    dlg.UserClicked(ctl::Dco1SyncSlave);
    dlg.UserClicked(ctl::Env2FreeRun);
    EXPECT_EQ(dlg.m_switchBits, 0x301);
    dlg.m_filterBits = 0x73;
    dlg.UserClicked(ctl::Dco2PostMix);
    dlg.UserClicked(ctl::Boost);
    EXPECT_EQ(dlg.m_filterBits, 0xFB);
    EXPECT_EQ(ports.bytes,
              CC({{16, 2}, {25, 0}, {16, 2}, {25, 1}, {16, 1}, {25, 1}, {16, 1}, {20, 0x7B}, {16, 2}, {20, 0x7B}}));
    ExpectWellFormedWire();
}

TEST_F(HandlerTest, FilterTypeSetsModeLabelsRowsAndBoost) {
    FillAsLoaded();
    dlg.m_filterBits = 0x8C;  // both Post mix and Boost
    form.SetCheck(ctl::Boost, true);
    dlg.UserSelected(ctl::FilterType, 0);
    EXPECT_EQ(dlg.m_filterMode, 0);
    EXPECT_EQ(form.GetText(ctl::Cutoff1Label), "N/A");
    EXPECT_EQ(form.GetText(ctl::Cutoff2Label), "N/A");
    for (int id : {ctl::Cutoff1, ctl::Cutoff1Source, ctl::Cutoff1Label, ctl::Cutoff2, ctl::Cutoff2Source,
                   ctl::Cutoff2Label, ctl::Boost})
        EXPECT_FALSE(form.IsEnabled(id)) << id;

    dlg.UserSelected(ctl::FilterType, 11);
    EXPECT_EQ(dlg.m_filterMode, 3);
    EXPECT_EQ(form.GetText(ctl::Cutoff1Label), "Freq.");
    EXPECT_EQ(form.GetText(ctl::Cutoff2Label), "Width");
    EXPECT_TRUE(form.IsEnabled(ctl::Boost));
    EXPECT_TRUE(form.IsEnabled(ctl::Cutoff2Source));

    dlg.UserSelected(ctl::FilterType, 1);  // Boost disabled, but its bit stays and is sent
    EXPECT_FALSE(form.IsEnabled(ctl::Boost));
    EXPECT_TRUE(form.IsChecked(ctl::Boost));
    EXPECT_TRUE(form.IsEnabled(ctl::Cutoff1));
    EXPECT_FALSE(form.IsEnabled(ctl::Cutoff2Label));

    dlg.UserSelected(ctl::FilterType, 14);
    EXPECT_EQ(form.GetText(ctl::Cutoff1Label), "Freq. 1");
    EXPECT_EQ(form.GetText(ctl::Cutoff2Label), "Freq. 2");

    form.SetCurSel(ctl::FilterType, -1);  // no selection: labels, rows and mode stay, routing bits clear
    dlg.OnFilterTypeChanged();
    EXPECT_EQ(dlg.m_filterMode, 3);
    EXPECT_EQ(form.GetText(ctl::Cutoff1Label), "Freq. 1");
    EXPECT_FALSE(form.IsEnabled(ctl::Boost));
    EXPECT_EQ(
        ports.bytes,
        CC({{16, 2}, {20, 0x0C}, {16, 2}, {20, 0x4F}, {16, 2}, {20, 0x0D}, {16, 2}, {20, 0x5F}, {16, 2}, {20, 0x0C}}));
}

TEST_F(HandlerTest, CutoffRowsSendOnlyWhileLive) {
    FillAsLoaded();
    dlg.UserSelected(ctl::FilterType, 0);
    ports.bytes.clear();
    dlg.UserMovedSlider(ctl::Cutoff1, 100);
    dlg.UserSelected(ctl::Cutoff1Source, 3);
    dlg.UserMovedSlider(ctl::Cutoff2, 50);
    dlg.UserSelected(ctl::Cutoff2Source, 0);
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(form.Get(ctl::Cutoff2Source).entries[0], "50");  // filled all the same

    dlg.UserSelected(ctl::FilterType, 5);  // mode 2: only Cutoff1 sends
    ports.bytes.clear();
    dlg.UserMovedSlider(ctl::Cutoff1, 101);
    dlg.UserSelected(ctl::Cutoff1Source, 3);
    dlg.UserMovedSlider(ctl::Cutoff2, 51);
    dlg.UserSelected(ctl::Cutoff2Source, 2);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {21, 101}, {16, 3}, {21, 2}}));

    dlg.UserSelected(ctl::FilterType, 3);
    ports.bytes.clear();
    dlg.UserSelected(ctl::Cutoff2Source, 2);
    EXPECT_EQ(ports.bytes, CC({{16, 3}, {22, 1}}));
}

TEST_F(HandlerTest, MidiChannelSendsNothing) {
    FillAsLoaded();
    dlg.UserSelected(ctl::MidiChannel, 15);
    EXPECT_EQ(dlg.m_midiChannel, 15);
    dlg.UserMovedSlider(ctl::Arpeg, 3);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {23, 3}}));
}

TEST_F(HandlerTest, ValueBoxTexts) {
    FillAsLoaded();
    struct Case {
        int box, slider;
        const char* text;
        int position;
    };
    const Case cases[] = {
        {ctl::StepBox, ctl::Step, "300", 7},
        {ctl::Dco1OctaveBox, ctl::Dco1Octave, "300", 15},
        {ctl::Env1DecayBox, ctl::Env1Decay, "300", 255},
        {ctl::Env1DecayBox, ctl::Env1Decay, "-5", 0},
        {ctl::StepBox, ctl::Step, "", 0},
        {ctl::Env2LevelBox, ctl::Env2Level, "12ab", 12},
        {ctl::Env2LevelBox, ctl::Env2Level, "  +42", 42},
        {ctl::Env2LevelBox, ctl::Env2Level, "abc", 0},
        {ctl::Env2LevelBox, ctl::Env2Level, "99999999999999999999999", 255},
        {ctl::Env2LevelBox, ctl::Env2Level, "-99999999999999999999999", 0},
    };
    for (const Case& c : cases) {
        dlg.UserEdited(c.box, c.text);
        EXPECT_EQ(form.GetPos(c.slider), c.position) << c.text;
        EXPECT_EQ(form.GetText(c.box), std::to_string(c.position)) << c.text;
    }
    ports.bytes.clear();
    dlg.UserEdited(ctl::Env1AttackBox, "130");
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {108, 2}}));
}

TEST(ParseLeadingInt, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(ParseLeadingInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseLeadingInt("2147483648"), 2147483647);
    EXPECT_EQ(ParseLeadingInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(ParseLeadingInt("\t 7x9"), 7);
    EXPECT_EQ(ParseLeadingInt("- 5"), 0);
}

// Nothing loaded: lists have no selection. No handler may send a value computed from them.
TEST_F(HandlerTest, UnloadedFormNeverSendsOutOfRangeBytes) {
    for (const ControlDef& c : FormControls()) {
        if (c.id == kNoId) continue;
        switch (c.kind) {
            case ControlKind::Slider: dlg.OnScrollSlider(c.id); break;
            case ControlKind::List: dlg.OnSelChange(c.id); break;
            case ControlKind::CheckBox: dlg.OnClicked(c.id); break;
            case ControlKind::ValueBox: dlg.UserEdited(c.id, "77"); break;
            default: break;
        }
    }
    dlg.TransmitAll(false);
    ExpectWellFormedWire();
    for (const Sent& s : SentMessages()) EXPECT_NE(s.page, 3) << s.parameter;  // no source was ever chosen
}

}  // namespace
