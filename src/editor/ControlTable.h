// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The kinds of item on the editor form.
enum class ControlKind { Label, GroupBox, EditBox, PushButton, CheckBox, Slider, List, ValueBox };

// A rectangle in dialog units.
struct DialogRect {
    int x, y, w, h;
};

constexpr int kNoId = -1;

// One item of the form's template, in template order (which is also the tab order).
struct ControlDef {
    int place;
    int id;
    ControlKind kind;
    std::string_view text;
    DialogRect rect;
    int rangeMax;  // sliders only: the range is 0..rangeMax
};

// The form template: 409 x 280 dialog units, Arial 9 pt.
constexpr int kFormWidthDlu = 409;
constexpr int kFormHeightDlu = 280;
constexpr std::string_view kFormFontFamily = "Arial";
constexpr int kFormFontPointSize = 9;

std::span<const ControlDef> FormControls();
const ControlDef* FindControl(int id);

// Control ids of the form.
namespace ctl {
// Top row
constexpr int PatchName = 1054, Author = 1093, Comment = 1098, QuickLoad = 1100;
// Main
constexpr int MidiChannel = 1038, Boost = 1076, EnvLegato = 1047, Step = 1077, StepBox = 1078, Arpeg = 1055,
              ArpegSource = 1034;
// DCO1
constexpr int Dco1Wave = 1016, Dco1WaveRetrig = 1048, Dco1PostMix = 1080, Dco1Dist = 1017, Dco1KeyFollow = 1075,
              Dco1SyncSlave = 1049, Dco1Pulsew = 1001, Dco1PulsewSource = 1009, Dco1Octave = 1002, Dco1OctaveBox = 1105,
              Dco1Row3Mode = 1018, Dco1Row3 = 1003, Dco1Row3Source = 1011, Dco1Amp = 1004, Dco1AmpSource = 1012,
              Dco1Offset = 1005, Dco1OffsetSource = 1013;
// ENV1
constexpr int Env1Loop = 1082, Env1Attack = 1063, Env1AttackBox = 1084, Env1Level = 1064, Env1LevelBox = 1085,
              Env1Decay = 1065, Env1DecayBox = 1086, Env1Sustain = 1066, Env1SustainBox = 1088, Env1Release = 1067,
              Env1ReleaseBox = 1089, Env1Offset = 1068, Env1OffsetSource = 1021;
// Filter
constexpr int FilterType = 1014, Cutoff1Label = 1087, Cutoff1 = 1057, Cutoff1Source = 1033, Cutoff2Label = 1092,
              Cutoff2 = 1056, Cutoff2Source = 1037;
// DCO2
constexpr int Dco2Wave = 1008, Dco2WaveRetrig = 1046, Dco2PostMix = 1081, Dco2Dist = 1015, Dco2KeyFollow = 1079,
              Dco2Pulsew = 1058, Dco2PulsewSource = 1024, Dco2Octave = 1059, Dco2OctaveBox = 1106, Dco2Row3Mode = 1030,
              Dco2Row3 = 1060, Dco2Row3Source = 1026, Dco2Amp = 1061, Dco2AmpSource = 1027, Dco2Offset = 1062,
              Dco2OffsetSource = 1028;
// ENV2
constexpr int Env2FreeRun = 1050, Env2Attack = 1069, Env2AttackBox = 1090, Env2Level = 1070, Env2LevelBox = 1091,
              Env2Decay = 1071, Env2DecayBox = 1102, Env2Sustain = 1072, Env2SustainBox = 1103, Env2Release = 1073,
              Env2ReleaseBox = 1104, Env2Offset = 1074, Env2OffsetSource = 1032;

constexpr int First = 1001, Last = 1106;
}  // namespace ctl
