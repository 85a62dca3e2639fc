// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "patch/PatchRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The tables that say what each control of the form transmits and stores. Handlers walk these; nothing is
// written once per control.

// Form value slots: slot 0 is the Midi Ch. selection, slots 1..26 the slider positions, in the order the
// patch record stores them.
constexpr int kSlotCount = 27;
static_assert(kSlotCount == kRecordValueCount);
extern const std::array<int, kSlotCount> kSlotControls;

// The list whose selection each entry of a record's stored selections holds, in entry order.
extern const std::array<int, kRecordSelectionCount> kStoredSelectionLists;
// The stored entry of a list; the list must be one of kStoredSelectionLists.
std::size_t StoredSelectionEntry(int listId);

// The parts of a patch in the one order in which a load fills the form, a whole-patch transmission sends it and
// an undo step puts it back, so that the instrument hears the same from each: a Wave with its Dist., the row-3
// modes, the source rows, the plain sliders, then the filter type before the cutoff rows whose sending it
// decides. The two packed words come first in a transmission and an undo step, and just before the filter
// type in a load.
enum class PatchPart : std::uint8_t { Oscillators, Row3Modes, SourceRows, PlainSliders, FilterType, CutoffRows };
constexpr std::array<PatchPart, 6> kPatchOrder{PatchPart::Oscillators,  PatchPart::Row3Modes,  PatchPart::SourceRows,
                                               PatchPart::PlainSliders, PatchPart::FilterType, PatchPart::CutoffRows};

// The thirteen sliders whose value can follow a modulation source chosen in the list beside them.
enum class SendCondition { Always, FilterMode123, FilterMode3 };
struct ModulatedParam {
    int slider;
    int slot;
    int sourceList;
    int parameter;
    SendCondition condition;
};
extern const std::array<ModulatedParam, 13> kModulatedParams;
// The eleven rows that always send, in the order a whole-patch transmission and a load run them.
extern const std::array<int, 11> kSourceListOrder;
const ModulatedParam& Cutoff1Row();
const ModulatedParam& Cutoff2Row();
// The cutoff rows that end a whole-patch transmission and a load, by filter mode: a row whose send condition
// holds runs its handler there, the others are sent as they stand (transmission) or left alone (load).
extern const std::array<std::array<const ModulatedParam*, 2>, 4> kCutoffOrderByMode;

// The sliders shown in a value box beside them, in the order a whole-patch transmission and a load run them.
struct PlainSlider {
    int slider;
    int valueBox;
    int slot;
    int parameter;
    int modeList;  // Octave sliders: the row-3 mode list whose index rides in bits 4-5; else kNoId
};
extern const std::array<PlainSlider, 13> kPlainSliders;

// One oscillator: its Wave and Dist. lists share a parameter, its row-3 mode list rides on the Octave.
struct Oscillator {
    int wave;
    int dist;
    int parameter;
    int modeList;
    int octaveSlider;
};
extern const std::array<Oscillator, 2> kOscillators;

// How several controls pack into one value.
constexpr int kWaveformCount = 8;  // Wave list entries 0..7; the modulation sources follow
constexpr std::int32_t WaveValue(int waveform, int dist) { return waveform + 8 * dist; }
constexpr std::int32_t WaveSource(int waveEntry) { return waveEntry - kWaveformCount; }
constexpr std::int32_t OctaveValue(int octave, int mode) { return octave + 16 * mode; }
// Source list entry 0 is the slider's own value; entry k + 1 is modulation source k.
constexpr int kFixedValueEntry = 0;
constexpr std::int32_t SourceOfEntry(int entry) { return entry - 1; }

// Check boxes, each one bit of a packed word.
struct BitBox {
    int box;
    std::int32_t mask;
};
constexpr int kSwitchParameter = 25;
constexpr int kFilterParameter = 20;
constexpr std::int32_t kWordMask = 0xFF;          // the handlers own bits 0..7; bits above never go out
extern const std::array<BitBox, 8> kSwitchBoxes;  // bits of m_switchBits
extern const std::array<BitBox, 3> kFilterBoxes;  // Post mix and Boost bits of m_filterBits

// What each entry of the Type / routing list is and does.
struct FilterType {
    std::string_view name;
    std::int32_t code;  // routing bits 0, 1, 4, 5, 6 of the filter word
    int mode;           // 0 no cutoff, 1 and 2 one cutoff, 3 two cutoffs
    std::string_view cutoff1Label;
    std::string_view cutoff2Label;
    bool cutoff1Enabled;
    bool cutoff2Enabled;
    bool boostEnabled;
};
extern const std::array<FilterType, 17> kFilterTypes;
constexpr std::int32_t kFilterRoutingMask = 0x73;

// The row of a table whose field `key` is `id`, or null.
template <typename Row, std::size_t N>
const Row* FindRow(const std::array<Row, N>& rows, int Row::*key, int id) {
    for (const Row& r : rows)
        if (r.*key == id) return &r;
    return nullptr;
}
