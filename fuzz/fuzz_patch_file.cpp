// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes through the patch file checks, the loading of a record into the form, a whole
// transmission and a MIDI file build. Whatever a file holds, every data byte sent must stay below 0x80,
// its texts must save back byte for byte, and saving a loaded patch and loading it again must give the
// same record.
#include "EditorRig.h"

#include "midi/MidiFile.h"
#include "patch/PatchFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_patch_file: %s\n", what);
    std::abort();
}

// Every message is a Control Change on channel 1 with two data bytes.
void RequireControlChanges(const Bytes& bytes) {
    Require(bytes.size() % 3 == 0, "partial message sent");
    for (std::size_t i = 0; i < bytes.size(); ++i)
        Require(i % 3 == 0 ? bytes[i] == 0xB0 : bytes[i] < 0x80, "status or data byte out of range");
}

// Its dialogs answer Yes to the transmit question.
struct Editor : EditorRig {
    Editor() { ShowAndOpen(); }

    std::vector<std::uint8_t> Save() {
        std::vector<std::uint8_t> record(kRecordSize);
        dlg.WritePatchBody(record);
        return record;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const DecodedPatchFile file = DecodePatchFile(bytes, CMainDlg::GetPatchVersion());
    if (file.error != PatchFileError::None) return 0;
    Require(file.record.size() == kRecordSize, "record of the wrong size");

    Editor editor;
    Require(editor.dlg.ReadPatchBody(CMainDlg::GetPatchVersion(), file.record), "record refused");
    Require(editor.app.m_mute == 0, "left muted");
    editor.dlg.TransmitAll(false);
    RequireControlChanges(editor.ports.bytes);

    MidiPortSink& port = *editor.app.m_portSink;
    port.StartRecording();
    editor.dlg.TransmitAll(false);
    port.StopRecording();
    const std::vector<std::uint32_t> events = port.TakeEvents();
    // A list without a selection sends nothing, so a hostile patch may send fewer, never more.
    Require(events.size() % 2 == 0 && events.size() <= 66, "not whole paged sends");
    const std::vector<std::uint8_t> midi = BuildMidiFile(events);
    Require(midi.size() == 4 * events.size() + 100, "MIDI file of the wrong size");
    Bytes recorded;
    for (std::size_t i = 96; i + 4 < midi.size(); i += 4) {
        Require(midi[i] == 0x02, "event without its delta time");
        recorded.insert(recorded.end(), midi.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        midi.begin() + static_cast<std::ptrdiff_t>(i) + 4);
    }
    RequireControlChanges(recorded);

    // What a loaded patch saves is a fixed point: loading it again and saving gives the same bytes.
    const std::vector<std::uint8_t> saved = editor.Save();
    // Whatever their encoding, texts that fit their fields are saved back byte for byte.
    for (const TextField field : {kPatchNameField, kAuthorField, kCommentField}) {
        const std::string text = DecodeText(file.record, field);
        if (text.size() < field.size) Require(DecodeText(saved, field) == text, "a text changed by loading and saving");
    }
    Editor again;
    Require(again.dlg.ReadPatchBody(CMainDlg::GetPatchVersion(), saved), "saved record refused");
    Require(again.Save() == saved, "save, load and save again differ");
    return 0;
}
