// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorFixture.h"

#include <algorithm>

namespace {

struct TransmitAllTest : EditorFixture {
    // A patch with something on every page.
    void SetUpPatch() {
        FillAsLoaded();
        app.m_mute = 1;
        form.SetCurSel(ctl::Dco1Wave, 2);
        form.SetCurSel(ctl::Dco1Dist, 1);
        form.SetCurSel(ctl::Dco2Wave, 9);
        form.SetCurSel(ctl::Dco1Row3Mode, 2);
        const std::pair<int, int> positions[] = {
            {ctl::Dco1Octave, 8},   {ctl::Dco2Octave, 3},  {ctl::Dco1Amp, 200},   {ctl::Dco1Row3, 10},
            {ctl::Dco1Offset, 128}, {ctl::Dco1Pulsew, 64}, {ctl::Arpeg, 0},       {ctl::Dco2Amp, 255},
            {ctl::Dco2Row3, 127},   {ctl::Dco2Offset, 1},  {ctl::Dco2Pulsew, 5},  {ctl::Env1Offset, 33},
            {ctl::Env2Offset, 44},  {ctl::Cutoff1, 150},   {ctl::Cutoff2, 20},    {ctl::Env1Attack, 1},
            {ctl::Env1Decay, 2},    {ctl::Env1Level, 3},   {ctl::Env1Release, 4}, {ctl::Env1Sustain, 5},
            {ctl::Env2Attack, 6},   {ctl::Env2Decay, 7},   {ctl::Env2Level, 8},   {ctl::Env2Release, 9},
            {ctl::Env2Sustain, 10}, {ctl::Step, 7}};
        for (auto [id, pos] : positions) form.SetPos(id, pos);
        for (const ModulatedParam& row : kModulatedParams) dlg.RefreshModParam(row);
        form.SetCurSel(ctl::Dco1PulsewSource, 8);
        dlg.m_switchBits = 0x181;
        form.SetCurSel(ctl::FilterType, 11);
        dlg.m_filterBits = 0xC3;
        app.m_mute = 0;
        ports.bytes.clear();
    }

    std::vector<int> Parameters() const {
        std::vector<int> out;
        for (const Sent& s : SentMessages()) out.push_back(s.parameter);
        return out;
    }
};

TEST_F(TransmitAllTest, WholeSequenceInModeThree) {
    SetUpPatch();
    dlg.TransmitAll(false);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(ports.bytes,
              CC({{16, 2}, {25, 1},    {16, 2}, {20, 0x43}, {16, 1}, {26, 10},   {16, 3}, {102, 1},  {16, 1}, {30, 40},
                  {16, 1}, {106, 3},   {16, 2}, {29, 72},   {16, 1}, {31, 10},   {16, 2}, {28, 0},   {16, 3}, {27, 7},
                  {16, 1}, {23, 0},    {16, 2}, {105, 127}, {16, 1}, {107, 127}, {16, 1}, {104, 1},  {16, 1}, {103, 5},
                  {16, 1}, {113, 33},  {16, 1}, {119, 44},  {16, 1}, {30, 40},   {16, 1}, {106, 3},  {16, 1}, {108, 1},
                  {16, 1}, {110, 2},   {16, 1}, {109, 3},   {16, 1}, {112, 4},   {16, 1}, {111, 5},  {16, 1}, {114, 6},
                  {16, 1}, {116, 7},   {16, 1}, {115, 8},   {16, 1}, {118, 9},   {16, 1}, {117, 10}, {16, 1}, {24, 7},
                  {16, 2}, {20, 0x43}, {16, 2}, {21, 22},   {16, 1}, {22, 20}}));
    EXPECT_EQ(pause.count, 66);
    EXPECT_EQ(dlg.m_switchBits, 0x181);  // the field keeps its high bits
    EXPECT_EQ(g_updatingValueBox, 0);
}

TEST_F(TransmitAllTest, ThirtyThreeMessagesInEveryFilterMode) {
    SetUpPatch();
    for (int type : {0, 1, 5, 11}) {
        form.SetCurSel(ctl::FilterType, type);
        form.SetCurSel(ctl::Cutoff2Source, 4);
        ports.bytes.clear();
        dlg.TransmitAll(false);
        const std::vector<int> p = Parameters();
        ASSERT_EQ(p.size(), 33u) << type;
        EXPECT_EQ(p[0], 25);
        EXPECT_EQ(p[1], 20);
        EXPECT_TRUE(p[32] == 21 || p[32] == 22);
        EXPECT_EQ(std::count(p.begin(), p.end(), 21), 1) << type;
        EXPECT_EQ(std::count(p.begin(), p.end(), 22), 1) << type;
        const auto at21 = std::find(p.begin(), p.end(), 21), at22 = std::find(p.begin(), p.end(), 22);
        if (dlg.m_filterMode == 0) {
            EXPECT_LT(at22, at21);
        } else {
            EXPECT_LT(at21, at22);
        }
        const Sent last22 = SentMessages()[static_cast<std::size_t>(at22 - p.begin())];
        EXPECT_EQ(last22, (Sent{3, 22, 3})) << type;  // the chosen source, even from a disabled row
        ExpectWellFormedWire();
    }
}

TEST_F(TransmitAllTest, AsksWithThePatchName) {
    SetUpPatch();
    dialogs.answers = {MessageAnswer::No, MessageAnswer::No};
    dlg.TransmitAll(true);
    dlg.UserEdited(ctl::PatchName, "Warm Pad");
    dlg.TransmitAll(true);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, "Transmit all data from [unnamed]");
    EXPECT_EQ(dialogs.messages[0].caption, "Question");
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(dialogs.messages[1].text, "Transmit all data from Warm Pad");
    EXPECT_TRUE(ports.bytes.empty());
}

TEST_F(TransmitAllTest, NoSendsNothingAndChangesNothing) {
    SetUpPatch();
    const std::vector<std::pair<int, std::vector<std::string>>> before = [&] {
        std::vector<std::pair<int, std::vector<std::string>>> v;
        for (const ModulatedParam& r : kModulatedParams)
            v.emplace_back(form.GetCurSel(r.sourceList), form.Get(r.sourceList).entries);
        return v;
    }();
    const int slots = dlg.m_dco1Amp, mode = dlg.m_filterMode, bits = dlg.m_filterBits;
    dialogs.answers = {MessageAnswer::No};
    g_updatingValueBox = 0;
    dlg.TransmitAll(true);
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(dlg.m_dco1Amp, slots);
    EXPECT_EQ(dlg.m_filterMode, mode);
    EXPECT_EQ(dlg.m_filterBits, bits);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(form.GetCurSel(kModulatedParams[i].sourceList), before[i].first);
        EXPECT_EQ(form.Get(kModulatedParams[i].sourceList).entries, before[i].second);
    }
}

TEST_F(TransmitAllTest, SkipFlagSendsWithoutAskingOnce) {
    SetUpPatch();
    skipTransmitQuestion = true;
    dlg.TransmitAll(true);
    EXPECT_FALSE(skipTransmitQuestion);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(ports.bytes.size(), 66u * 3);
    dialogs.answers = {MessageAnswer::No};
    dlg.TransmitAll(true);
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

}  // namespace
