// SPDX-License-Identifier: GPL-3.0-or-later
#include "PatchFixtures.h"

#include "midi/MidiFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace {

// A whole file, written out by hand: chunk headers, the fixed meta events, each Control Change as
// delta 2 + B0 c v, end of track.
Bytes ExpectedFile(std::initializer_list<std::array<int, 2>> pairs) {
    const std::uint32_t track = static_cast<std::uint32_t>(4 * pairs.size() + 78);
    // clang-format off
    Bytes b{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k', static_cast<std::uint8_t>(track >> 24),
            static_cast<std::uint8_t>(track >> 16), static_cast<std::uint8_t>(track >> 8), static_cast<std::uint8_t>(track),
            0x00, 0xFF, 0x20, 0x01, 0x00,                                                               // channel 0
            0x00, 0xFF, 0x03, 0x13, 0x53, 0x65, 0x71, 0x75, 0x65, 0x6E, 0x63, 0x65, 0x2A, 0x44, 0x65,  // "Sequence*De
            0x6D, 0x69, 0x78, 0x65, 0x64, 0x20, 0x30, 0x31,                                             //  mixed 01"
            0x00, 0xFF, 0x04, 0x0C, 0x47, 0x4D, 0x20, 0x44, 0x65, 0x76, 0x69, 0x63, 0x65, 0x20, 0x20, 0x31,  // "GM Device  1"
            0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,                                             // 4/4
            0x00, 0xFF, 0x59, 0x02, 0x00, 0x00,                                                         // C major
            0x00, 0xFF, 0x54, 0x05, 0x21, 0x00, 0x00, 0x00, 0x00,                                       // SMPTE offset
            0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};                                                  // 500,000 us
    // clang-format on
    for (auto [c, v] : pairs)
        b.insert(b.end(), {0x02, 0xB0, static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(v)});
    b.insert(b.end(), {0x00, 0xFF, 0x2F, 0x00});
    return b;
}

// An editor holding the hand-built patch, loaded without transmitting.
struct ExportTest : ::testing::Test {
    TempDir dir;
    Editor e;
    void SetUp() override {
        WriteAll(dir / "hand.qnp", HandBuiltFile());
        e.dialogs.answers.push_back(MessageAnswer::No);
        ASSERT_TRUE(e.doc.OnOpenDocument(dir / "hand.qnp"));
        e.dialogs.messages.clear();
    }
    void Export(const std::string& path) {
        e.dialogs.savePaths.push_back(path);
        e.dlg.OnExportMidiFile();
    }
    MidiPortSink& port() { return *e.app.m_portSink; }
};

TEST(BuildMidiFile, EmptyListGivesTheBareHundredBytes) {
    const Bytes file = BuildMidiFile({});
    ASSERT_EQ(file.size(), 100u);
    EXPECT_EQ(file, ExpectedFile({}));  // track length 78
}

TEST_F(ExportTest, CompleteExportIsTheWholeTransmissionAndSendsNothing) {
    Export(dir / "patch.mid");
    const Bytes file = ReadAll(dir / "patch.mid");
    ASSERT_EQ(file.size(), 364u);
    EXPECT_EQ(Bytes(file.begin() + 18, file.begin() + 22), (Bytes{0x00, 0x00, 0x01, 0x56}));
    EXPECT_EQ(file, ExpectedFile(kHandTransmission));
    EXPECT_TRUE(e.ports.bytes.empty());
    EXPECT_EQ(e.pause.count, 0);
    EXPECT_FALSE(port().recording());
    EXPECT_TRUE(port().events().empty());
    EXPECT_TRUE(e.dialogs.messages.empty());

    ASSERT_EQ(e.dialogs.fileRequests.size(), 1u);
    const FileDialogRequest& r = e.dialogs.fileRequests[0];
    EXPECT_EQ(r.defaultExtension, "mid");
    ASSERT_EQ(r.filters.size(), 2u);
    EXPECT_EQ(std::tie(r.filters[0].name, r.filters[0].pattern, r.filters[1].name, r.filters[1].pattern),
              std::make_tuple("Standard MIDI files (*.mid)", "*.mid", "All Files (*.*)", "*.*"));
    EXPECT_TRUE(r.confirmOverwrite);

    // Again, over the same file and without a device: the same bytes.
    port().CloseDevice();
    Export(dir / "patch.mid");
    Export(dir / "again.mid");
    EXPECT_EQ(ReadAll(dir / "patch.mid"), file);
    EXPECT_EQ(ReadAll(dir / "again.mid"), file);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"again.mid", "hand.qnp", "patch.mid"}));
}

TEST_F(ExportTest, CancellingWritesNothingAndLeavesTheRecording) {
    port().StartRecording();
    port().SendWide(ParamMessage(29, 200));
    port().StopRecording();
    e.dlg.OnExportMidiFile();  // no path: the user cancelled
    EXPECT_EQ(port().events().size(), 2u);
    EXPECT_FALSE(port().recording());
    EXPECT_TRUE(e.dialogs.messages.empty());
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"hand.qnp"}));
}

TEST_F(ExportTest, FailuresReportKeepOrEmptyTheListAsDueAndLeaveOldFiles) {
    fs::create_directory(dir.path / "folder.mid");
    Export(dir / "folder.mid");
    ExpectFileMessage(e.dialogs, "Couldn't open output file");
    EXPECT_EQ(port().events().size(), 66u);  // kept until the next recording
    EXPECT_TRUE(fs::is_empty(dir.path / "folder.mid"));
    EXPECT_EQ(port().WriteMidiFile(dir / "later.mid"), FileWriteResult::Ok);
    EXPECT_EQ(ReadAll(dir / "later.mid"), ExpectedFile(kHandTransmission));

    const Bytes old(1000, 0x5A);
    WriteAll(dir / "old.mid", old);
    const int result = InChild([&] {
        LimitFileSize();
        e.dialogs.messages.clear();
        Export(dir / "old.mid");
        const bool reported =
            e.dialogs.messages.size() == 1 && e.dialogs.messages[0].text == "Couldn't write to output file";
        return reported && port().events().empty() ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadAll(dir / "old.mid"), old);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"folder.mid", "hand.qnp", "later.mid", "old.mid"}));
}

// Another reader must see the same 66 Control Changes on channel 1, 2 ticks apart.
TEST_F(ExportTest, MidicsvListsTheControlChanges) {
    if (std::system("command -v midicsv >/dev/null 2>&1") != 0) GTEST_SKIP() << "midicsv is not installed";
    Export(dir / "patch.mid");
    FILE* pipe = popen(("midicsv '" + (dir / "patch.mid") + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string csv;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) csv.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0) << csv;

    std::vector<std::array<int, 2>> seen;
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);) {
        int track = 0, time = 0, channel = -1, controller = 0, value = 0;
        char kind[32] = {};
        if (std::sscanf(line.c_str(), "%d, %d, %31[^,], %d, %d, %d", &track, &time, kind, &channel, &controller,
                        &value) != 6 ||
            std::string(kind) != "Control_c")
            continue;
        EXPECT_EQ(std::make_tuple(track, time, channel), std::make_tuple(1, 2 * static_cast<int>(seen.size() + 1), 0));
        seen.push_back({controller, value});
    }
    EXPECT_EQ(seen, (std::vector<std::array<int, 2>>(kHandTransmission)));
    EXPECT_NE(csv.find("0, 0, Header, 0, 1, 480"), std::string::npos);
    EXPECT_NE(csv.find("1, 132, End_track"), std::string::npos);
}

}  // namespace
