// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever a patch file holds, loading it, transmitting it and exporting it put nothing on the wire or in
// the MIDI file but Control Changes on channel 1, and what loads saves and loads again unchanged.
#include "PatchFixtures.h"

#include "midi/MidiFile.h"

#include <climits>
#include <random>

namespace {

constexpr std::int32_t kEdgeValues[] = {INT_MIN, INT_MIN + 1, -65536, -256,  -129,  -128,  -17,         -16,    -2,
                                        -1,      0,           1,      2,     3,     4,     7,           8,      15,
                                        16,      17,          63,     64,    127,   128,   129,         254,    255,
                                        256,     257,         1000,   32767, 65535, 65536, INT_MAX - 1, INT_MAX};
constexpr std::size_t kIntFields = (2760 - 2560) / 4;  // value slots, selections and the two words

std::int32_t SomeInt(std::mt19937& rng) {
    if (rng() % 3 != 0) return kEdgeValues[rng() % std::size(kEdgeValues)];
    return static_cast<std::int32_t>(rng());
}

void PutInt(Bytes& file, std::size_t offset, std::int32_t v) {
    for (int i = 0; i < 4; ++i)
        file[offset + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
}

// Four kinds in turn: random bytes (often with a loadable header), a valid patch with a few fields pushed
// to edge values, one with every field and full texts without zero bytes, and a random record.
Bytes Generate(std::mt19937& rng, int kind) {
    Bytes file;
    if (kind == 0) {
        file.resize(rng() % 3100);
        for (auto& b : file) b = static_cast<std::uint8_t>(rng());
        if (file.size() >= 7 && rng() % 2 == 0) {
            std::copy_n("QNP", 3, file.begin());
            PutInt(file, 3, rng() % 2 == 0 ? 0 : -static_cast<std::int32_t>(rng() % 1000));
        }
        return file;
    }
    file = HandBuiltFile();
    if (kind == 3) {
        for (std::size_t i = 7; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(rng());
        return file;
    }
    for (std::size_t field = 0; field < kIntFields; ++field)
        if (kind == 2 || rng() % 8 == 0) PutInt(file, 7 + 2560 + 4 * field, SomeInt(rng));
    if (kind == 2) {
        for (std::size_t i = 7; i < 7 + 2560; ++i) file[i] = static_cast<std::uint8_t>(1 + rng() % 255);
    }
    return file;
}

// Control Change triples on channel 1, nothing else.
::testing::AssertionResult OnlyChannelOneControlChanges(const Bytes& wire) {
    if (wire.size() % 3 != 0) return ::testing::AssertionFailure() << "a torn message: " << wire.size() << " bytes";
    for (std::size_t i = 0; i < wire.size(); ++i) {
        if (i % 3 == 0 ? wire[i] != 0xB0 : wire[i] >= 0x80)
            return ::testing::AssertionFailure() << "byte " << i << " is " << int(wire[i]);
    }
    return ::testing::AssertionSuccess();
}

// The event words of a transmission, as the port sink records them: delta 2, then the message's bytes.
std::vector<std::uint32_t> Events(const Bytes& wire) {
    std::vector<std::uint32_t> events;
    for (std::size_t i = 0; i + 2 < wire.size(); i += 3)
        events.push_back(0x02u | std::uint32_t{wire[i]} << 8 | std::uint32_t{wire[i + 1]} << 16 |
                         std::uint32_t{wire[i + 2]} << 24);
    return events;
}

TEST(PatchInvariants, AnyFileLoadsTransmitsAndExportsOnlyWellFormedMessages) {
    TempDir dir;
    const std::string patch = dir / "p.qnp", midi = dir / "p.mid", again = dir / "again.qnp";
    std::mt19937 rng(20261207);
    int loaded = 0;
    for (int n = 0; n < 2000 && !HasFailure(); ++n) {
        const int kind = n % 4;
        SCOPED_TRACE("file " + std::to_string(n) + ", kind " + std::to_string(kind));
        const Bytes file = Generate(rng, kind);
        WriteAll(patch, file);
        // Written anew rather than replaced: replacing makes the file system flush each one to disk.
        fs::remove(midi);
        fs::remove(again);

        Editor e;  // every question is answered Yes
        const bool ok = e.doc.OnOpenDocument(patch);
        loaded += ok;
        const Bytes onLoad = e.ports.bytes;
        e.ports.bytes.clear();
        e.dlg.TransmitAll(false);
        const Bytes wire = e.ports.bytes;
        ASSERT_TRUE(OnlyChannelOneControlChanges(onLoad));
        ASSERT_TRUE(OnlyChannelOneControlChanges(wire));
        ASSERT_FALSE(wire.empty());
        if (ok)
            ASSERT_EQ(onLoad, wire);  // the load's own transmission is Transmit All
        else
            ASSERT_TRUE(onLoad.empty());
        ASSERT_EQ(e.dialogs.messages.size(), 1u);  // the question, or the one reason for refusing

        e.dialogs.savePaths = {midi};
        e.dlg.OnExportMidiFile();
        ASSERT_EQ(e.ports.bytes, wire);  // the export records; it sends nothing
        const Bytes exported = ReadAll(midi);
        ASSERT_EQ(exported, BuildMidiFile(Events(wire)));  // what was sent, message for message

        // Whatever loaded is saved as the form now holds it, and that loads back to the same record.
        if (!ok) continue;
        ASSERT_TRUE(e.doc.OnSaveDocument(again));
        Editor back;
        back.dialogs.answers = {MessageAnswer::No};
        ASSERT_TRUE(back.doc.OnOpenDocument(again));
        ASSERT_EQ(back.Record(), e.Record());
        back.dlg.TransmitAll(false);
        ASSERT_EQ(back.ports.bytes, wire);
    }
    EXPECT_GT(loaded, 1000);  // most files reach the form, so the invariants were tested where it matters
}

}  // namespace
