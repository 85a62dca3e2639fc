// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader is told about each control of the form: its name, what it sends, what its list says.
#include "EditorRig.h"

#include "app/MidiMonitor.h"
#include "editor/ControlNames.h"
#include "editor/ControlTable.h"
#include "editor/ParameterMap.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

std::vector<int> FormIds() {
    std::vector<int> ids;
    for (const ControlDef& def : FormControls())
        if (def.id != kNoId && def.kind != ControlKind::Label) ids.push_back(def.id);
    return ids;
}

// Every named control's name, failing on an empty or repeated one.
std::map<std::string, int> NamesOf(const FormState& form) {
    std::map<std::string, int> names;
    for (const int id : FormIds()) {
        const std::string name = AccessibleName(form, id);
        EXPECT_FALSE(name.empty()) << id;
        const auto [it, added] = names.emplace(name, id);
        EXPECT_TRUE(added) << "\"" << name << "\" names both " << it->second << " and " << id;
    }
    return names;
}

TEST(AccessibleNames, SectionAndLabelForEveryControl) {
    EditorRig rig;
    rig.dlg.OnInitialUpdate();
    EXPECT_EQ(NamesOf(rig.form).size(), FormIds().size());  // 75 controls, no two alike
    const auto name = [&](int id) { return AccessibleName(rig.form, id); };
    EXPECT_EQ(name(ctl::Dco1Amp), "DCO1 Amp.");
    EXPECT_EQ(name(ctl::Dco1AmpSource), "DCO1 Amp. source");
    EXPECT_EQ(name(ctl::Dco1OctaveBox), "DCO1 Octave value");
    EXPECT_EQ(name(ctl::StepBox), "Main Step value");
    EXPECT_EQ(name(ctl::FilterType), "Filter Type / routing");
    EXPECT_EQ(name(ctl::Env2FreeRun), "ENV2 [Level => release]");
    EXPECT_EQ(name(ctl::Env1Loop), "ENV1 [Level => release]");
    EXPECT_EQ(name(ctl::Dco2WaveRetrig), "DCO2 Wave retrig");
    EXPECT_EQ(name(ctl::MidiChannel), "Main Midi Ch.");
    EXPECT_EQ(name(ctl::PatchName), "Patch name");
    EXPECT_EQ(name(ctl::Author), "Author");
    EXPECT_EQ(name(ctl::Comment), "Comment");
    EXPECT_EQ(name(ctl::QuickLoad), "Quick load");
    EXPECT_EQ(name(ctl::Dco1Row3Mode), "DCO1 row 3 mode");
    EXPECT_EQ(name(ctl::Dco1Row3), "DCO1 row 3");  // no mode chosen yet
}

TEST(AccessibleNames, RowsFollowWhatTheirLabelsShowNow) {
    EditorRig rig;
    rig.dlg.OnInitialUpdate();
    rig.FillAsLoaded();
    std::set<std::string> cutoffNames;
    for (int type = 0; type < static_cast<int>(kFilterTypes.size()); ++type) {
        rig.form.SetCurSel(ctl::FilterType, type);
        rig.dlg.OnFilterTypeChanged();
        NamesOf(rig.form);  // still unique, whatever the labels say
        // Both rows showing the same text ("N/A") keep the template's labels apart.
        const std::string one = rig.form.GetText(ctl::Cutoff1Label), two = rig.form.GetText(ctl::Cutoff2Label);
        const bool same = one == two;
        EXPECT_EQ(AccessibleName(rig.form, ctl::Cutoff1), "Filter " + one + (same ? " (Cutoff1)" : ""));
        EXPECT_EQ(AccessibleName(rig.form, ctl::Cutoff2Source),
                  "Filter " + two + (same ? " (Cutoff2)" : "") + " source");
        cutoffNames.insert(AccessibleName(rig.form, ctl::Cutoff1));
    }
    EXPECT_GT(cutoffNames.size(), 1u);  // the filter types do rename the row
    rig.form.SetCurSel(ctl::Dco2Row3Mode, 3);
    EXPECT_EQ(AccessibleName(rig.form, ctl::Dco2Row3), "DCO2 Wide");
    EXPECT_EQ(AccessibleName(rig.form, ctl::Dco2Row3Source), "DCO2 Wide source");
    NamesOf(rig.form);
}

TEST(AccessibleNames, SliderDescriptionNamesWhatTheMonitorShowsForItsParameter) {
    EditorRig rig;
    rig.dlg.OnInitialUpdate();
    rig.FillAsLoaded();
    const MidiMonitor monitor(rig.dlg);
    int sliders = 0;
    for (const ControlDef& def : FormControls()) {
        const std::string description = AccessibleDescription(rig.form, def.id);
        if (def.kind != ControlKind::Slider) {
            EXPECT_EQ(description, "") << def.id;
            continue;
        }
        ++sliders;
        // "Sends parameter N, NAME": the monitor's line for parameter N begins with NAME.
        const std::string prefix = "Sends parameter ";
        ASSERT_EQ(description.rfind(prefix, 0), 0u) << description;
        const std::size_t comma = description.find(", ");
        ASSERT_NE(comma, std::string::npos) << description;
        const int parameter = std::stoi(description.substr(prefix.size(), comma - prefix.size()));
        const std::string name = description.substr(comma + 2);
        EXPECT_EQ(monitor.Meaning(0xB0, static_cast<std::uint8_t>(parameter), 1).rfind(name + " = ", 0), 0u)
            << description << " / " << monitor.Meaning(0xB0, static_cast<std::uint8_t>(parameter), 1);
    }
    EXPECT_EQ(sliders, 26);
    EXPECT_EQ(AccessibleDescription(rig.form, ctl::Dco1Amp), "Sends parameter 29, DCO1 Amp.");
}

TEST(AccessibleNames, ASourceListSaysFixedValueOrTheSourcesName) {
    EditorRig rig;
    rig.dlg.OnInitialUpdate();
    rig.FillAsLoaded();
    rig.dlg.UserMovedSlider(ctl::Dco1Amp, 200);
    EXPECT_EQ(rig.form.Get(ctl::Dco1AmpSource).entries[0], "200");
    EXPECT_EQ(SpokenEntry(rig.form, ctl::Dco1AmpSource, 0), "fixed value");
    EXPECT_EQ(SpokenEntry(rig.form, ctl::Dco1AmpSource, 8), "Vel");
    EXPECT_EQ(SpokenEntry(rig.form, ctl::Dco1AmpSource, 17), "");  // past the end
    EXPECT_EQ(SpokenEntry(rig.form, ctl::Dco1Wave, 0), "SUp");     // a waveform, not a fixed value
    EXPECT_EQ(SpokenEntry(rig.form, ctl::MidiChannel, 0), "1");
}

}  // namespace
