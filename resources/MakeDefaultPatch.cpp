// Writes default.qnp, the patch the editor loads at start and on File New: one plain sawtooth through an
// open low-pass filter, with envelopes that sound at once. Usage: MakeDefaultPatch <output file>
#include "util/WholeFile.h"
#include "editor/ControlTable.h"
#include "editor/ParameterMap.h"
#include "patch/PatchFile.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

using namespace ctl;

// Slider positions by control; the rest stay 0.
constexpr std::pair<int, std::int32_t> kSliders[] = {
    {Dco1Amp, 200},    {Dco1Row3, 128},   {Dco1Offset, 128}, {Dco1Pulsew, 128}, {Dco1Octave, 8},
    {Dco2Amp, 0},      {Dco2Row3, 128},   {Dco2Offset, 128}, {Dco2Pulsew, 128}, {Dco2Octave, 8},
    {Env1Attack, 0},   {Env1Decay, 80},   {Env1Level, 255},  {Env1Release, 60}, {Env1Sustain, 200},
    {Env2Attack, 0},   {Env2Decay, 80},   {Env2Level, 255},  {Env2Release, 60}, {Env2Sustain, 200},
    {Cutoff1, 200},    {Cutoff2, 0},
};

// List selections by control; every source list stays on entry 0, the slider's own value.
constexpr std::pair<int, std::int32_t> kSelections[] = {
    {Dco1Wave, 0},     // SUp
    {Dco1Dist, 0},     // Clp
    {Dco2Wave, 0},     // SUp
    {Dco2Dist, 0},     // Clp
    {Dco1Row3Mode, 2}, // Std.
    {Dco2Row3Mode, 2}, // Std.
    {ctl::FilterType, 9},  // DCO1+2 => Low Pass
    {MidiChannel, 0},  // 1
};

constexpr std::int32_t kSwitchBits = 0x30;  // both oscillators follow the keyboard
constexpr std::int32_t kFilterBits = 0x03;  // the routing code of DCO1+2 => Low Pass

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }
    std::vector<std::uint8_t> file(kPatchFileSize);
    WritePatchFileHeader(file, 0);
    const std::span<std::uint8_t> record = std::span(file).subspan(kPatchHeaderSize, kRecordSize);
    EncodeText(record, kPatchNameField, "Init Saw");
    EncodeText(record, kAuthorField, "QuarnEdit");
    EncodeText(record, kCommentField, "A plain sawtooth on DCO1 through an open low-pass filter.");

    for (const auto& [control, position] : kSliders)
        for (int slot = 1; slot < kSlotCount; ++slot)
            if (kFormSlots[slot].control == control) WriteInt32LE(record, kRecordSlotsOffset + 4 * slot, position);
    WriteInt32LE(record, kRecordSlotsOffset, 0);  // slot 0 mirrors the Midi Ch. selection
    for (std::size_t entry = 0; entry < kRecordSelectionCount; ++entry) WriteInt32LE(record, kRecordSelectionsOffset + 4 * entry, 0);
    for (const auto& [list, index] : kSelections) WriteInt32LE(record, kRecordSelectionsOffset + 4 * SelectionEntry(list), index);
    WriteInt32LE(record, kRecordSwitchBitsOffset, kSwitchBits);
    WriteInt32LE(record, kRecordFilterBitsOffset, kFilterBits);

    WholeFileWriter out;
    FileWriteResult result = out.Open(argv[1]);
    if (result == FileWriteResult::Ok) result = out.Commit(file);
    if (result != FileWriteResult::Ok) {
        std::fprintf(stderr, "%s: %s\n", argv[1], FileWriteMessage(result));
        return 1;
    }
    return 0;
}
