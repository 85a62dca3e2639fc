#pragma once

#include <array>
#include <cstdint>

// The tables that say what each control of the form transmits. Handlers walk these; nothing is
// written once per control.

// Form value slots: slot 0 is the Midi Ch. selection, slots 1..26 the slider positions.
constexpr int kSlotCount = 27;
struct FormSlot {
    int control;   // list 1038 for slot 0, else a slider
    int rangeMax;  // slider range 0..rangeMax (unused for slot 0)
};
extern const std::array<FormSlot, kSlotCount> kFormSlots;

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

// The sliders shown in a value box beside them, in the order a whole-patch transmission and a load run them.
struct PlainSlider {
    int slider;
    int valueBox;
    int slot;
    int parameter;
    int modeList;  // Octave sliders: the row-3 mode list whose index goes in bits 4-5; else kNoId
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

// Check boxes, each one bit of a packed word.
struct BitBox {
    int box;
    std::int32_t mask;
};
constexpr int kSwitchParameter = 25;
constexpr int kFilterParameter = 20;
extern const std::array<BitBox, 8> kSwitchBoxes;   // bits of m_switchBits
extern const std::array<BitBox, 3> kFilterBoxes;   // Post mix and Boost bits of m_filterBits

// What each entry of the Type / routing list does.
struct FilterType {
    std::int32_t code;  // routing bits 0, 1, 4, 5, 6 of the filter word
    int mode;           // 0 no cutoff, 1 and 2 one cutoff, 3 two cutoffs
    const char* cutoff1Label;
    const char* cutoff2Label;
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
