// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ParameterMap.h"

#include "editor/ControlTable.h"

#include <algorithm>
#include <stdexcept>
#include <string>

using namespace ctl;

// The envelopes run Attack, Decay, Level, Release, Sustain here, unlike their rows on the form.
const std::array<int, kSlotCount> kSlotControls{
    MidiChannel, Dco1Amp,    Dco1Row3,   Dco1Offset,  Dco1Pulsew,  Dco2Amp,   Dco2Row3,  Dco2Offset,  Dco2Pulsew,
    Env1Offset,  Env2Offset, Dco1Octave, Dco2Octave,  Env1Attack,  Env1Decay, Env1Level, Env1Release, Env1Sustain,
    Env2Attack,  Env2Decay,  Env2Level,  Env2Release, Env2Sustain, Step,      Arpeg,     Cutoff1,     Cutoff2,
};

const std::array<int, kRecordSelectionCount> kStoredSelectionLists{
    Dco1AmpSource,    Dco1Dist,      Dco1Row3Source,   Dco1OffsetSource, Dco1PulsewSource, Dco1Wave,
    ArpegSource,      Cutoff1Source, Dco2AmpSource,    Dco2Dist,         Dco2Row3Source,   Dco2OffsetSource,
    Dco2PulsewSource, Dco2Wave,      Env1OffsetSource, Env2OffsetSource, ctl::FilterType,  MidiChannel,
    Cutoff2Source,    Dco1Row3Mode,  Dco2Row3Mode,
};

std::size_t StoredSelectionEntry(int listId) {
    const auto it = std::find(kStoredSelectionLists.begin(), kStoredSelectionLists.end(), listId);
    if (it == kStoredSelectionLists.end())
        throw std::out_of_range("no stored selection for list " + std::to_string(listId));
    return static_cast<std::size_t>(it - kStoredSelectionLists.begin());
}

const std::array<ModulatedParam, 13> kModulatedParams{{
    {Dco1Pulsew, 4, Dco1PulsewSource, 27, SendCondition::Always},
    {Dco1Row3, 2, Dco1Row3Source, 31, SendCondition::Always},
    {Dco1Amp, 1, Dco1AmpSource, 29, SendCondition::Always},
    {Dco1Offset, 3, Dco1OffsetSource, 28, SendCondition::Always},
    {Dco2Pulsew, 8, Dco2PulsewSource, 103, SendCondition::Always},
    {Dco2Row3, 6, Dco2Row3Source, 107, SendCondition::Always},
    {Dco2Amp, 5, Dco2AmpSource, 105, SendCondition::Always},
    {Dco2Offset, 7, Dco2OffsetSource, 104, SendCondition::Always},
    {Env1Offset, 9, Env1OffsetSource, 113, SendCondition::Always},
    {Env2Offset, 10, Env2OffsetSource, 119, SendCondition::Always},
    {Arpeg, 24, ArpegSource, 23, SendCondition::Always},
    {Cutoff1, 25, Cutoff1Source, 21, SendCondition::FilterMode123},
    {Cutoff2, 26, Cutoff2Source, 22, SendCondition::FilterMode3},
}};

const std::array<int, 11> kSourceListOrder{Dco1AmpSource,    Dco1Row3Source,   Dco1OffsetSource, Dco1PulsewSource,
                                           ArpegSource,      Dco2AmpSource,    Dco2Row3Source,   Dco2OffsetSource,
                                           Dco2PulsewSource, Env1OffsetSource, Env2OffsetSource};

const ModulatedParam& Cutoff1Row() { return kModulatedParams[11]; }
const ModulatedParam& Cutoff2Row() { return kModulatedParams[12]; }

// Without a live cutoff the second one goes first.
const std::array<std::array<const ModulatedParam*, 2>, 4> kCutoffOrderByMode{{
    {&kModulatedParams[12], &kModulatedParams[11]},
    {&kModulatedParams[11], &kModulatedParams[12]},
    {&kModulatedParams[11], &kModulatedParams[12]},
    {&kModulatedParams[11], &kModulatedParams[12]},
}};

const std::array<PlainSlider, 13> kPlainSliders{{
    {Dco1Octave, Dco1OctaveBox, 11, 30, Dco1Row3Mode},
    {Dco2Octave, Dco2OctaveBox, 12, 106, Dco2Row3Mode},
    {Env1Attack, Env1AttackBox, 13, 108, kNoId},
    {Env1Decay, Env1DecayBox, 14, 110, kNoId},
    {Env1Level, Env1LevelBox, 15, 109, kNoId},
    {Env1Release, Env1ReleaseBox, 16, 112, kNoId},
    {Env1Sustain, Env1SustainBox, 17, 111, kNoId},
    {Env2Attack, Env2AttackBox, 18, 114, kNoId},
    {Env2Decay, Env2DecayBox, 19, 116, kNoId},
    {Env2Level, Env2LevelBox, 20, 115, kNoId},
    {Env2Release, Env2ReleaseBox, 21, 118, kNoId},
    {Env2Sustain, Env2SustainBox, 22, 117, kNoId},
    {Step, StepBox, 23, 24, kNoId},
}};

const std::array<Oscillator, 2> kOscillators{{
    {Dco1Wave, Dco1Dist, 26, Dco1Row3Mode, Dco1Octave},
    {Dco2Wave, Dco2Dist, 102, Dco2Row3Mode, Dco2Octave},
}};

const std::array<BitBox, 8> kSwitchBoxes{{
    {Dco1SyncSlave, 0x01},
    {EnvLegato, 0x02},
    {Dco1WaveRetrig, 0x04},
    {Dco2WaveRetrig, 0x08},
    {Dco1KeyFollow, 0x10},
    {Dco2KeyFollow, 0x20},
    {Env1Loop, 0x40},
    {Env2FreeRun, 0x80},
}};

const std::array<BitBox, 3> kFilterBoxes{{
    {Dco1PostMix, 0x04},
    {Dco2PostMix, 0x08},
    {Boost, 0x80},
}};

// Entries 14 and 15 carry two blanks before "DCO2".
const std::array<::FilterType, 17> kFilterTypes{{
    {"Muted / Disabled", 0x00, 0, "N/A", "N/A", false, false, false},
    {"DCO1 => Low Pass", 0x01, 1, "Freq.", "N/A", true, false, false},
    {"DCO1 => High Pass", 0x21, 1, "Freq.", "N/A", true, false, false},
    {"DCO1 => Band Pass", 0x41, 3, "Freq.", "Width", true, true, false},
    {"DCO1 => Band Rejection", 0x61, 3, "Freq.", "Width", true, true, false},
    {"DCO2 => Low Pass", 0x02, 2, "Freq.", "N/A", true, false, false},
    {"DCO2 => High Pass", 0x22, 2, "Freq.", "N/A", true, false, false},
    {"DCO2 => Band Pass", 0x42, 3, "Freq.", "Width", true, true, false},
    {"DCO2 => Band Rejection", 0x62, 3, "Freq.", "Width", true, true, false},
    {"DCO1+2 => Low Pass", 0x03, 1, "Freq.", "N/A", true, false, true},
    {"DCO1+2 => High Pass", 0x23, 1, "Freq.", "N/A", true, false, true},
    {"DCO1+2 => Band Pass", 0x43, 3, "Freq.", "Width", true, true, true},
    {"DCO1+2 => Band Rejection", 0x63, 3, "Freq.", "Width", true, true, true},
    {"DCO1 => LP1 DCO2 => LP2", 0x13, 3, "Freq. 1", "Freq. 2", true, true, false},
    {"DCO1 => LP  DCO2 => HP", 0x53, 3, "Freq. 1", "Freq. 2", true, true, false},
    {"DCO1 => HP  DCO2 => LP", 0x33, 3, "Freq. 1", "Freq. 2", true, true, false},
    {"DCO1 => HP1 DCO2 => HP2", 0x73, 3, "Freq. 1", "Freq. 2", true, true, false},
}};
