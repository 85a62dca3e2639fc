// SPDX-License-Identifier: GPL-3.0-or-later
// What the user sees on the editor form, written out by hand: every item of the form's template, the lists
// and slider ranges as InitControls leaves them, and what each filter type does to the cutoff rows. The other
// tests compare the form with the program's own tables, so a typo in those tables passes them; here it fails.
#include "EditorRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::string>;

const Entries kMidiChannels{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16"};
const Entries kWaves{"SUp", "SDn", "Squ", "Tri", "Nse", "S&H", "Dig", "Sil", "En1", "En2", "DC1", "DC2",
                     "PB",  "PB2", "Mod", "Vel", "VlG", "Gat", "Aft", "KF",  "KF2", "Hld", "Exp", "Bth"};
const Entries kDists{"Clp", "Mir", "Zsn", "Wrp"};
const Entries kRow3Modes{"Fine", "Lin.", "Std.", "Wide"};
// Entries 14 and 15 have two blanks before "DCO2".
const Entries kFilterTypeEntries{"Muted / Disabled",         "DCO1 => Low Pass",        "DCO1 => High Pass",
                                 "DCO1 => Band Pass",        "DCO1 => Band Rejection",  "DCO2 => Low Pass",
                                 "DCO2 => High Pass",        "DCO2 => Band Pass",       "DCO2 => Band Rejection",
                                 "DCO1+2 => Low Pass",       "DCO1+2 => High Pass",     "DCO1+2 => Band Pass",
                                 "DCO1+2 => Band Rejection", "DCO1 => LP1 DCO2 => LP2", "DCO1 => LP  DCO2 => HP",
                                 "DCO1 => HP  DCO2 => LP",   "DCO1 => HP1 DCO2 => HP2"};

// One item of the template as the user meets it.
struct Item {
    int place;
    int id;
    std::string kind;
    std::string text;
    std::array<int, 4> rect;  // x, y, w, h in dialog units
    Entries contents = {};    // after InitControls: a slider's range "min..max", a list's entries
};

std::string Name(const Item& item) {
    return "item " + std::to_string(item.place) + (item.id == kNoId ? ", no id" : ", id " + std::to_string(item.id)) +
           ", " + item.kind + (item.text.empty() ? "" : " \"" + item.text + "\"") + " at " +
           std::to_string(item.rect[0]) + ", " + std::to_string(item.rect[1]) + ", " + std::to_string(item.rect[2]) +
           ", " + std::to_string(item.rect[3]);
}

// The item on one line, then a list's entries one to a line, so that a failure shows a diff of the entries.
std::string Describe(const Item& item) {
    std::string out = Name(item);
    if (item.kind == "slider") return out + ", range " + (item.contents.empty() ? "none" : item.contents[0]);
    if (item.kind != "list") return out;
    out += ", " + std::to_string(item.contents.size()) + " entries";
    for (std::size_t i = 0; i < item.contents.size(); ++i)
        out += "\n  " + std::to_string(i) + ": \"" + item.contents[i] + "\"";
    return out;
}

// Template order, which is also the tab order. A source list is empty until a patch is loaded.
const Item kTemplate[] = {
    {1, kNoId, "label", "Patch name", {4, 6, 38, 8}},
    {2, 1054, "edit box", "", {46, 4, 182, 12}},
    {3, kNoId, "label", "Author", {237, 6, 21, 8}},
    {4, 1093, "edit box", "", {262, 4, 96, 12}},
    {5, 1098, "push button", "&Comment", {366, 4, 38, 13}},
    {6, kNoId, "group box", "Main", {2, 18, 200, 51}},
    {7, kNoId, "label", "Midi Ch.", {6, 29, 26, 8}},
    {8, 1038, "list", "", {39, 27, 32, 185}, kMidiChannels},
    {9, 1076, "check box", "Boost", {86, 29, 30, 8}},
    {10, 1047, "check box", "Env legato", {147, 29, 44, 8}},
    {11, kNoId, "label", "Step", {6, 43, 29, 8}},
    {12, 1077, "slider", "", {35, 41, 128, 12}, {"0..7"}},
    {13, 1078, "value box", "", {167, 41, 23, 12}},
    {14, kNoId, "label", "Arpeg.", {6, 56, 29, 8}},
    {15, 1055, "slider", "", {35, 54, 128, 12}, {"0..255"}},
    {16, 1034, "list", "", {167, 54, 32, 185}},
    {17, kNoId, "group box", "DCO1", {2, 71, 200, 103}},
    {18, kNoId, "label", "Wave", {6, 82, 31, 8}},
    {19, 1016, "list", "", {39, 80, 32, 238}, kWaves},
    {20, 1048, "check box", "Wave retrig", {86, 82, 46, 8}},
    {21, 1080, "check box", "Post mix", {147, 81, 41, 8}},
    {22, kNoId, "label", "Dist.", {6, 95, 28, 8}},
    {23, 1017, "list", "", {39, 93, 32, 240}, kDists},
    {24, 1075, "check box", "Key follow", {86, 95, 44, 8}},
    {25, 1049, "check box", "Sync slave", {147, 95, 45, 8}},
    {26, kNoId, "label", "Pulsew.", {6, 110, 30, 8}},
    {27, 1001, "slider", "", {35, 107, 128, 12}, {"0..255"}},
    {28, 1009, "list", "", {167, 107, 32, 185}},
    {29, kNoId, "label", "Octave", {6, 123, 28, 8}},
    {30, 1002, "slider", "", {35, 120, 128, 12}, {"0..15"}},
    {31, 1105, "value box", "", {167, 120, 22, 12}},
    {32, 1018, "list", "", {4, 134, 32, 240}, kRow3Modes},
    {33, 1003, "slider", "", {35, 133, 128, 12}, {"0..255"}},
    {34, 1011, "list", "", {167, 133, 32, 189}},
    {35, kNoId, "label", "Amp.", {6, 149, 28, 8}},
    {36, 1004, "slider", "", {35, 146, 128, 12}, {"0..255"}},
    {37, 1012, "list", "", {167, 146, 32, 187}},
    {38, kNoId, "label", "Offset", {6, 162, 28, 8}},
    {39, 1005, "slider", "", {35, 159, 128, 12}, {"0..255"}},
    {40, 1013, "list", "", {167, 159, 32, 189}},
    {41, kNoId, "group box", "ENV1", {2, 176, 200, 103}},
    {42, kNoId, "label", "Loop", {6, 187, 20, 8}},
    {43, 1082, "check box", "[Level => release]", {38, 187, 70, 8}},
    {44, kNoId, "label", "Attack", {6, 201, 29, 8}},
    {45, 1063, "slider", "", {34, 199, 128, 12}, {"0..255"}},
    {46, 1084, "value box", "", {166, 199, 23, 12}},
    {47, kNoId, "label", "Level", {6, 215, 29, 8}},
    {48, 1064, "slider", "", {34, 212, 128, 12}, {"0..255"}},
    {49, 1085, "value box", "", {166, 212, 23, 12}},
    {50, kNoId, "label", "Decay", {6, 227, 29, 8}},
    {51, 1065, "slider", "", {34, 225, 128, 12}, {"0..255"}},
    {52, 1086, "value box", "", {166, 225, 23, 12}},
    {53, kNoId, "label", "Sustain", {6, 240, 29, 8}},
    {54, 1066, "slider", "", {34, 238, 128, 12}, {"0..255"}},
    {55, 1088, "value box", "", {166, 238, 23, 12}},
    {56, kNoId, "label", "Release", {6, 254, 29, 8}},
    {57, 1067, "slider", "", {34, 251, 128, 12}, {"0..255"}},
    {58, 1089, "value box", "", {166, 251, 23, 12}},
    {59, kNoId, "label", "Offset", {6, 266, 29, 8}},
    {60, 1068, "slider", "", {34, 264, 128, 12}, {"0..255"}},
    {61, 1021, "list", "", {166, 264, 32, 182}},
    {62, kNoId, "group box", "Filter", {206, 18, 200, 51}},
    {63, kNoId, "label", "Type / routing", {211, 29, 43, 8}},
    {64, 1014, "list", "", {292, 27, 110, 192}, kFilterTypeEntries},
    {65, 1087, "label", "Cutoff1", {210, 43, 25, 8}},
    {66, 1057, "slider", "", {239, 41, 128, 12}, {"0..255"}},
    {67, 1033, "list", "", {371, 41, 32, 187}},
    {68, 1092, "label", "Cutoff2", {210, 56, 25, 8}},
    {69, 1056, "slider", "", {239, 54, 128, 12}, {"0..255"}},
    {70, 1037, "list", "", {371, 54, 32, 188}},
    {71, kNoId, "group box", "DCO2", {206, 71, 200, 103}},
    {72, kNoId, "label", "Wave", {210, 82, 23, 8}},
    {73, 1008, "list", "", {243, 80, 32, 235}, kWaves},
    {74, 1046, "check box", "Wave retrig", {289, 82, 46, 8}},
    {75, 1081, "check box", "Post mix", {351, 82, 39, 8}},
    {76, kNoId, "label", "Dist.", {210, 95, 24, 8}},
    {77, 1015, "list", "", {243, 93, 32, 234}, kDists},
    {78, 1079, "check box", "Key follow", {289, 95, 50, 8}},
    {79, kNoId, "label", "Pulsew.", {210, 110, 28, 8}},
    {80, 1058, "slider", "", {239, 107, 128, 12}, {"0..255"}},
    {81, 1024, "list", "", {371, 107, 32, 186}},
    {82, kNoId, "label", "Octave", {210, 123, 28, 8}},
    {83, 1059, "slider", "", {239, 120, 128, 12}, {"0..15"}},
    {84, 1106, "value box", "", {371, 120, 22, 12}},
    {85, 1030, "list", "", {208, 134, 32, 240}, kRow3Modes},
    {86, 1060, "slider", "", {239, 133, 128, 12}, {"0..255"}},
    {87, 1026, "list", "", {371, 133, 32, 189}},
    {88, kNoId, "label", "Amp.", {210, 149, 28, 8}},
    {89, 1061, "slider", "", {239, 146, 128, 12}, {"0..255"}},
    {90, 1027, "list", "", {371, 146, 32, 189}},
    {91, kNoId, "label", "Offset", {210, 162, 28, 8}},
    {92, 1062, "slider", "", {239, 159, 128, 12}, {"0..255"}},
    {93, 1028, "list", "", {371, 159, 32, 186}},
    {94, kNoId, "group box", "ENV2", {206, 176, 200, 103}},
    {95, kNoId, "label", "Free run", {210, 187, 28, 8}},
    {96, 1050, "check box", "[Level => release]", {243, 187, 71, 8}},
    {97, kNoId, "label", "Attack", {210, 201, 29, 8}},
    {98, 1069, "slider", "", {239, 199, 128, 12}, {"0..255"}},
    {99, 1090, "value box", "", {371, 199, 23, 12}},
    {100, kNoId, "label", "Level", {210, 215, 29, 8}},
    {101, 1070, "slider", "", {239, 212, 128, 12}, {"0..255"}},
    {102, 1091, "value box", "", {371, 212, 23, 12}},
    {103, kNoId, "label", "Decay", {210, 227, 29, 8}},
    {104, 1071, "slider", "", {239, 225, 128, 12}, {"0..255"}},
    {105, 1102, "value box", "", {371, 225, 23, 12}},
    {106, kNoId, "label", "Sustain", {210, 240, 29, 8}},
    {107, 1072, "slider", "", {239, 238, 128, 12}, {"0..255"}},
    {108, 1103, "value box", "", {371, 238, 23, 12}},
    {109, kNoId, "label", "Release", {210, 254, 28, 8}},
    {110, 1073, "slider", "", {239, 251, 128, 12}, {"0..255"}},
    {111, 1104, "value box", "", {371, 251, 23, 12}},
    {112, kNoId, "label", "Offset", {210, 266, 30, 8}},
    {113, 1074, "slider", "", {239, 264, 128, 12}, {"0..255"}},
    {114, 1032, "list", "", {371, 264, 32, 183}},
    {115, 1100, "push button", "QL", {230, 3, 12, 14}},
};

std::string KindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label: return "label";
        case ControlKind::GroupBox: return "group box";
        case ControlKind::EditBox: return "edit box";
        case ControlKind::PushButton: return "push button";
        case ControlKind::CheckBox: return "check box";
        case ControlKind::Slider: return "slider";
        case ControlKind::List: return "list";
        case ControlKind::ValueBox: return "value box";
    }
    return "kind " + std::to_string(static_cast<int>(kind));
}

// The item as the program has it: the template from its table, ranges and entries from the live form.
Item Seen(const ControlDef& def, const FormState& form) {
    Item item{
        def.place, def.id, KindName(def.kind), std::string(def.text), {def.rect.x, def.rect.y, def.rect.w, def.rect.h},
        {}};
    if (def.id == kNoId || !form.Has(def.id)) return item;
    const ControlState& state = form.Get(def.id);
    if (def.kind == ControlKind::Slider) {
        item.contents = {std::to_string(state.rangeMin) + ".." + std::to_string(state.rangeMax)};
    } else if (def.kind == ControlKind::List) {
        item.contents = state.entries;
    }
    return item;
}

TEST(FormTemplate, EveryItemWithItsRangeOrEntriesAfterInitControls) {
    EditorRig rig;
    rig.dlg.OnInitialUpdate();
    const auto items = FormControls();
    EXPECT_EQ(items.size(), std::size(kTemplate));
    for (std::size_t i = 0; i < std::min(items.size(), std::size(kTemplate)); ++i) {
        const ControlDef& def = items[i];
        const Item& want = kTemplate[i];
        EXPECT_EQ(Describe(Seen(def, rig.form)), Describe(want));
        if (want.id == kNoId) continue;
        const std::string name = Name(want);
        EXPECT_TRUE(rig.form.Has(want.id)) << name;
        if (!rig.form.Has(want.id)) continue;
        const ControlDef* found = FindControl(want.id);
        EXPECT_EQ(found == nullptr ? 0 : found->place, want.place) << name << ": the item FindControl gives";
        EXPECT_EQ(KindName(rig.form.Get(want.id).kind), want.kind) << name;
        EXPECT_EQ(rig.form.GetText(want.id), want.text) << name;  // what the form shows
    }
}

// What choosing a filter type shows: the cutoff labels, whether each cutoff row (slider, source list and label)
// and Boost can be used, and what the form keeps: the mode and the routing bits of the filter word.
struct FilterView {
    std::string cutoff1Label, cutoff2Label;
    std::string cutoff1Row, cutoff2Row, boost;  // "on", "off", or which controls of a split row are on
    int mode;
    int filterBits;
    bool operator==(const FilterView&) const = default;
};

void PrintTo(const FilterView& v, std::ostream* os) {
    *os << "labels \"" << v.cutoff1Label << "\" and \"" << v.cutoff2Label << "\", Cutoff1 row " << v.cutoff1Row
        << ", Cutoff2 row " << v.cutoff2Row << ", Boost " << v.boost << ", mode " << v.mode << ", filter word 0x"
        << std::hex << v.filterBits << std::dec;
}

// clang-format off
const FilterView kFilterViews[17] = {
    {"N/A", "N/A", "off", "off", "off", 0, 0x00},
    {"Freq.", "N/A", "on", "off", "off", 1, 0x01},
    {"Freq.", "N/A", "on", "off", "off", 1, 0x21},
    {"Freq.", "Width", "on", "on", "off", 3, 0x41},
    {"Freq.", "Width", "on", "on", "off", 3, 0x61},
    {"Freq.", "N/A", "on", "off", "off", 2, 0x02},
    {"Freq.", "N/A", "on", "off", "off", 2, 0x22},
    {"Freq.", "Width", "on", "on", "off", 3, 0x42},
    {"Freq.", "Width", "on", "on", "off", 3, 0x62},
    {"Freq.", "N/A", "on", "off", "on", 1, 0x03},
    {"Freq.", "N/A", "on", "off", "on", 1, 0x23},
    {"Freq.", "Width", "on", "on", "on", 3, 0x43},
    {"Freq.", "Width", "on", "on", "on", 3, 0x63},
    {"Freq. 1", "Freq. 2", "on", "on", "off", 3, 0x13},
    {"Freq. 1", "Freq. 2", "on", "on", "off", 3, 0x53},
    {"Freq. 1", "Freq. 2", "on", "on", "off", 3, 0x33},
    {"Freq. 1", "Freq. 2", "on", "on", "off", 3, 0x73},
};
// clang-format on

std::string Usable(const FormState& form, std::initializer_list<int> ids) {
    std::string on, off;
    for (int id : ids) (form.IsEnabled(id) ? on : off) += " " + std::to_string(id);
    if (off.empty()) return "on";
    if (on.empty()) return "off";
    return "split: on" + on + ", off" + off;
}

FilterView Seen(const CMainDlg& dlg) {
    const FormState& form = dlg.form();
    return {form.GetText(1087),
            form.GetText(1092),
            Usable(form, {1057, 1033, 1087}),
            Usable(form, {1056, 1037, 1092}),
            Usable(form, {1076}),
            dlg.m_filterMode,
            dlg.m_filterBits};
}

TEST(FormTemplate, EachFilterTypeChosenByTheUser) {
    EditorRig rig;
    rig.dlg.OnInitialUpdate();
    // From type 0 every cutoff control and Boost is off and the word clear, from type 11 all are on and the word
    // set: a change the handler forgets to make shows from one of them.
    for (int before : {0, 11}) {
        for (int s = 0; s < 17; ++s) {
            rig.dlg.UserSelected(1014, before);
            rig.dlg.UserSelected(1014, s);
            EXPECT_EQ(Seen(rig.dlg), kFilterViews[s])
                << "filter type " << s << " \"" << kFilterTypeEntries[static_cast<std::size_t>(s)] << "\" chosen after "
                << before;
        }
    }
}

}  // namespace
