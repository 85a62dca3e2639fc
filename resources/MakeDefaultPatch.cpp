// SPDX-License-Identifier: GPL-3.0-or-later
// Writes default.qnp, the patch the editor loads at start and on File New: one plain sawtooth through an
// open low-pass filter, with envelopes that sound at once. Usage: MakeDefaultPatch <output file>
#include "editor/ControlTable.h"
#include "editor/ParameterMap.h"
#include "patch/PatchFile.h"
#include "patch/PatchRecord.h"
#include "util/WholeFile.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

namespace {

using namespace ctl;

// Slider positions by control; the rest stay 0.
// clang-format off
constexpr std::pair<int, std::int32_t> kSliders[] = {
    {Dco1Amp, 200},    {Dco1Row3, 128},   {Dco1Offset, 128}, {Dco1Pulsew, 128}, {Dco1Octave, 8},
    {Dco2Amp, 0},      {Dco2Row3, 128},   {Dco2Offset, 128}, {Dco2Pulsew, 128}, {Dco2Octave, 8},
    {Env1Attack, 0},   {Env1Decay, 80},   {Env1Level, 255},  {Env1Release, 60}, {Env1Sustain, 200},
    {Env2Attack, 0},   {Env2Decay, 80},   {Env2Level, 255},  {Env2Release, 60}, {Env2Sustain, 200},
    {Cutoff1, 200},    {Cutoff2, 0},
};
// clang-format on

// List selections by control; every other list, the source lists among them, is on its first entry
// (a source list's first entry is the slider's own value).
constexpr std::pair<int, std::int32_t> kSelections[] = {
    {Dco1Row3Mode, 2},     // Std.
    {Dco2Row3Mode, 2},     // Std.
    {ctl::FilterType, 9},  // DCO1+2 => Low Pass
};

constexpr std::int32_t kSwitchBits = 0x30;  // both oscillators follow the keyboard
constexpr std::int32_t kFilterBits = 0x03;  // the routing code of DCO1+2 => Low Pass

PatchRecord DefaultPatch() {
    PatchRecord record;
    record.patchName = "Init Saw";
    record.author = "QuarnEdit";
    record.comment = "A plain sawtooth on DCO1 through an open low-pass filter.";
    for (const auto& [control, position] : kSliders) {
        const auto slot = std::find(kSlotControls.begin(), kSlotControls.end(), control);
        record.valueSlots[static_cast<std::size_t>(std::distance(kSlotControls.begin(), slot))] = position;
    }
    for (const auto& [list, index] : kSelections) record.selections[StoredSelectionEntry(list)] = index;
    record.switchBits = kSwitchBits;
    record.filterBits = kFilterBits;
    return record;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }
    const PatchRecord record = DefaultPatch();
    const FileWriteResult result =
        WritePatchFile(argv[1], kPatchVersion, [&](std::span<std::uint8_t> out) { EncodePatchRecord(record, out); });
    if (result != FileWriteResult::Ok) {
        std::fprintf(stderr, "%s: %s\n", argv[1], FileWriteMessage(result));
        return 1;
    }
    return 0;
}
