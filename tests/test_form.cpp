// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorRig.h"

#include "editor/FixedLists.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

struct FormTest : ::testing::Test, EditorRig {};

TEST_F(FormTest, InitialFieldsAndControls) {
    EXPECT_EQ(dlg.m_midiChannel, -1);
    EXPECT_EQ(dlg.m_filterMode, 3);
    EXPECT_EQ(g_mainDlg, nullptr);
    EXPECT_EQ(form.GetText(ctl::Cutoff1Label), "Cutoff1");
    EXPECT_EQ(form.GetText(ctl::Cutoff2Label), "Cutoff2");
    EXPECT_EQ(form.GetCount(ctl::Dco1Wave), 0);
}

TEST_F(FormTest, InitControlsFillsListsOnceAndSetsRanges) {
    dlg.OnInitialUpdate();
    EXPECT_EQ(g_mainDlg, &dlg);
    dlg.OnInitialUpdate();  // a second show refills nothing
    const std::vector<std::pair<int, int>> counts{{ctl::MidiChannel, 16}, {ctl::Dco1Wave, 24},   {ctl::Dco2Wave, 24},
                                                  {ctl::Dco1Dist, 4},     {ctl::Dco2Dist, 4},    {ctl::FilterType, 17},
                                                  {ctl::Dco1Row3Mode, 4}, {ctl::Dco2Row3Mode, 4}};
    for (auto [id, n] : counts) EXPECT_EQ(form.GetCount(id), n) << id;
    EXPECT_EQ(form.GetCurSel(ctl::MidiChannel), 0);
    EXPECT_EQ(dlg.m_midiChannel, -1);  // the list shows "1" before the first read-back
    EXPECT_EQ(form.GetCurSel(ctl::Dco1Wave), -1);
    EXPECT_EQ(form.GetCount(ctl::Dco1AmpSource), 0);
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.m_midiChannel, 0);
    EXPECT_TRUE(ports.bytes.empty());
    {
        CMainDlg other(app);
        other.OnInitialUpdate();
    }
    EXPECT_EQ(g_mainDlg, nullptr);  // the destroyed form clears the global
}

TEST_F(FormTest, DataExchangeBothWaysClampsToSliderRanges) {
    dlg.OnInitialUpdate();
    for (int slot = 0; slot < kSlotCount; ++slot) dlg.Slot(slot) = 300 + slot;
    dlg.Slot(0) = 15;
    dlg.m_env1Decay = -4;
    dlg.UpdateData(false);
    EXPECT_EQ(form.GetCurSel(ctl::MidiChannel), 15);
    EXPECT_EQ(form.GetPos(ctl::Dco1Octave), 15);
    EXPECT_EQ(form.GetPos(ctl::Step), 7);
    EXPECT_EQ(form.GetPos(ctl::Cutoff2), 255);
    EXPECT_EQ(form.GetPos(ctl::Env1Decay), 0);
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.m_midiChannel, 15);
    EXPECT_EQ(dlg.m_dco1Octave, 15);
    EXPECT_EQ(dlg.m_step, 7);
    EXPECT_EQ(dlg.m_env1Decay, 0);
    EXPECT_EQ(dlg.m_cutoff2, 255);

    // Each slot goes to its own control, in slot order (Attack, Decay, Level, Release, Sustain).
    for (int slot = 1; slot < kSlotCount; ++slot) dlg.Slot(slot) = slot;
    dlg.UpdateData(false);
    EXPECT_EQ(form.GetPos(ctl::Env1Decay), 14);
    EXPECT_EQ(form.GetPos(ctl::Env1Level), 15);
    EXPECT_EQ(form.GetPos(ctl::Env2Sustain), 22);
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 1);
    EXPECT_EQ(form.GetPos(ctl::Cutoff1), 25);
    dlg.Slot(0) = 16;  // beyond the list: no selection
    dlg.UpdateData(false);
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.m_midiChannel, -1);
}

TEST_F(FormTest, OnlyTextWritesNotify) {
    std::vector<int> changed;
    dlg.OnInitialUpdate();
    struct Obs : FormObserver {
        std::vector<int>* out;
        void ControlChanged(int id) override { out->push_back(id); }
    } obs;
    obs.out = &changed;
    form.SetObserver(&obs);
    form.SetText(ctl::PatchName, "Bells");
    EXPECT_EQ(dlg.m_patchName, "Bells");  // an edit box's change handler runs
    form.SetCurSel(ctl::Dco1Wave, 3);
    form.SetPos(ctl::Dco1Amp, 9);
    form.SetCheck(ctl::Boost, true);
    EXPECT_TRUE(ports.bytes.empty());  // no handler ran for the others
    EXPECT_EQ(changed, (std::vector<int>{ctl::PatchName, ctl::Dco1Wave, ctl::Dco1Amp, ctl::Boost}));
    form.SetObserver(nullptr);
}

}  // namespace
