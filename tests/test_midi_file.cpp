#include "PatchFixtures.h"

#include "midi/MidiFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The chunk headers and the fixed meta events, written out by hand.
Bytes Header(std::uint32_t trackLength) {
    Bytes b{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k',
            static_cast<std::uint8_t>(trackLength >> 24), static_cast<std::uint8_t>(trackLength >> 16),
            static_cast<std::uint8_t>(trackLength >> 8), static_cast<std::uint8_t>(trackLength)};
    const Bytes prologue{
        0x00, 0xFF, 0x20, 0x01, 0x00,                                                               // channel 0
        0x00, 0xFF, 0x03, 0x13, 0x53, 0x65, 0x71, 0x75, 0x65, 0x6E, 0x63, 0x65, 0x2A, 0x44, 0x65,  // "Sequence*De
        0x6D, 0x69, 0x78, 0x65, 0x64, 0x20, 0x30, 0x31,                                             //  mixed 01"
        0x00, 0xFF, 0x04, 0x0C, 0x47, 0x4D, 0x20, 0x44, 0x65, 0x76, 0x69, 0x63, 0x65, 0x20, 0x20, 0x31,  // "GM Device  1"
        0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,                                             // 4/4
        0x00, 0xFF, 0x59, 0x02, 0x00, 0x00,                                                         // C major
        0x00, 0xFF, 0x54, 0x05, 0x21, 0x00, 0x00, 0x00, 0x00,                                       // SMPTE offset
        0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,                                                   // 500,000 us
    };
    b.insert(b.end(), prologue.begin(), prologue.end());
    return b;
}

// A whole file: header, each Control Change as delta 2 + B0 c v, end of track.
Bytes ExpectedFile(std::initializer_list<std::array<int, 2>> pairs) {
    Bytes file = Header(static_cast<std::uint32_t>(4 * pairs.size() + 78));
    for (auto [c, v] : pairs) file.insert(file.end(), {0x02, 0xB0, static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(v)});
    file.insert(file.end(), {0x00, 0xFF, 0x2F, 0x00});
    return file;
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
    EXPECT_EQ(file, ExpectedFile({}));
    EXPECT_EQ(file.size(), 100u);
    EXPECT_EQ(Bytes(file.begin() + 18, file.begin() + 22), (Bytes{0, 0, 0, 78}));
}

TEST(BuildMidiFile, EventWordsAreCopiedInMemoryOrder) {
    // Words as the sink stores them: 0x02 in the low byte, then status, controller, value.
    EXPECT_EQ(BuildMidiFile({0x7F10B002u, 0x0014B002u}), ExpectedFile({{16, 127}, {20, 0}}));
}

TEST_F(ExportTest, CompleteExportIsTheWholeTransmissionAndSendsNothing) {
    ASSERT_TRUE(e.ports.bytes.empty());
    Export(dir / "patch.mid");

    const Bytes file = ReadAll(dir / "patch.mid");
    EXPECT_EQ(file.size(), 364u);
    EXPECT_EQ(Bytes(file.begin() + 18, file.begin() + 22), (Bytes{0x00, 0x00, 0x01, 0x56}));
    EXPECT_EQ(Bytes(file.begin() + 96, file.begin() + 112),
              (Bytes{0x02, 0xB0, 0x10, 0x02, 0x02, 0xB0, 0x19, 21, 0x02, 0xB0, 0x10, 0x02, 0x02, 0xB0, 0x14, 77}));
    EXPECT_EQ(file, ExpectedFile(kHandTransmission));

    EXPECT_TRUE(e.ports.bytes.empty());
    EXPECT_EQ(e.pause.count, 0);
    EXPECT_FALSE(port().recording());
    EXPECT_TRUE(port().events().empty());
    EXPECT_TRUE(e.dialogs.messages.empty());

    ASSERT_EQ(e.dialogs.fileRequests.size(), 1u);
    const FileDialogRequest& request = e.dialogs.fileRequests[0];
    EXPECT_EQ(request.defaultExtension, "mid");
    ASSERT_EQ(request.filters.size(), 2u);
    EXPECT_EQ(request.filters[0].name, "Standard MIDI files (*.mid)");
    EXPECT_EQ(request.filters[0].pattern, "*.mid");
    EXPECT_EQ(request.filters[1].name, "All Files (*.*)");
    EXPECT_EQ(request.filters[1].pattern, "*.*");
    EXPECT_TRUE(request.confirmOverwrite);

    // Again, into the same file and without a device: the same bytes.
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
    EXPECT_TRUE(e.ports.bytes.empty());
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"hand.qnp"}));
}

TEST_F(ExportTest, UnopenableFileReportsAndKeepsTheEvents) {
    fs::create_directory(dir.path / "folder.mid");
    Export(dir / "folder.mid");
    ExpectFileMessage(e.dialogs, "Couldn't open output file");
    EXPECT_EQ(port().events().size(), 66u);  // kept until the next recording
    EXPECT_TRUE(fs::is_empty(dir.path / "folder.mid"));

    EXPECT_EQ(port().WriteMidiFile(dir / "missing/x.mid"), FileWriteResult::OpenFailed);
    EXPECT_EQ(port().WriteMidiFile(dir / "later.mid"), FileWriteResult::Ok);
    EXPECT_EQ(ReadAll(dir / "later.mid"), ExpectedFile(kHandTransmission));
    EXPECT_TRUE(port().events().empty());
}

TEST_F(ExportTest, FailedWriteReportsEmptiesTheListAndKeepsTheOldFile) {
    const Bytes old(1000, 0x5A);
    WriteAll(dir / "old.mid", old);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // The disk fills after 100 bytes of the new file.
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        Export(dir / "old.mid");
        const bool reported = e.dialogs.messages.size() == 1 &&
                              e.dialogs.messages[0].text == "Couldn't write to output file" &&
                              e.dialogs.messages[0].caption.empty();
        _exit(reported && port().events().empty() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadAll(dir / "old.mid"), old);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"hand.qnp", "old.mid"}));
}

// An independent reader must see the same 66 Control Changes, 2 ticks apart, on channel 1.
TEST_F(ExportTest, AnotherReaderListsTheControlChanges) {
    if (std::system("command -v midicsv >/dev/null 2>&1") != 0) GTEST_SKIP() << "midicsv is not installed";
    Export(dir / "patch.mid");
    FILE* pipe = popen(("midicsv '" + (dir / "patch.mid") + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string csv;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) csv.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0) << csv;

    std::vector<std::array<int, 2>> seen;
    std::vector<int> times;
    std::istringstream lines(csv);
    std::string header;
    std::getline(lines, header);
    EXPECT_EQ(header, "0, 0, Header, 0, 1, 480");
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        int track = 0, time = 0, channel = 0, controller = 0, value = 0;
        std::string kind;
        char comma;
        fields >> track >> comma >> time >> comma >> kind;
        if (kind != "Control_c,") continue;
        fields >> channel >> comma >> controller >> comma >> value;
        EXPECT_EQ(channel, 0) << line;
        seen.push_back({controller, value});
        times.push_back(time);
    }
    const std::vector<std::array<int, 2>> expected(kHandTransmission);
    EXPECT_EQ(seen, expected);
    ASSERT_EQ(times.size(), 66u);
    for (std::size_t i = 0; i < times.size(); ++i) EXPECT_EQ(times[i], 2 * static_cast<int>(i + 1));
    EXPECT_NE(csv.find("1, 132, End_track"), std::string::npos);
}

}  // namespace
