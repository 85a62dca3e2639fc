// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A patch file written byte by byte, the transmission it must produce, and an editor to load it into.

#include "EditorRig.h"
#include "Fakes.h"
#include "TempDir.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "editor/CMainDlg.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

// Builds file bytes field by field, independently of the program's encoder.
struct FileBytes {
    Bytes bytes;
    FileBytes& Raw(std::string_view s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    FileBytes& Int(std::int32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
        return *this;
    }
    FileBytes& Text(std::string_view s, std::size_t fieldSize) {
        Raw(s);
        bytes.resize(bytes.size() + fieldSize - s.size(), 0);
        return *this;
    }
};

// Slots 0..26. Slot 0 (Midi Ch.) says 5, but the stored selection (entry 17) says 3 and wins.
inline constexpr std::int32_t kHandSlots[27] = {5, 200, 100, 128, 64,  150, 30,  129, 255, 10, 20, 8,   5, 1,
                                                2, 3,   4,   5,   131, 132, 133, 134, 135, 6,  7,  250, 99};
// Selections, entries 0..20: DCO1 Dist. "Zsn", DCO1 row-3 source "Vel", DCO1 Pulsew. source "En1", DCO1 Wave
// "Tri", DCO2 Amp. source "Bth", DCO2 Dist. "Mir", DCO2 Wave the source "DC1", ENV2 Offset source "En2",
// filter "DCO1 => Band Pass" (code 0x41, both cutoffs), Midi Ch. "4", row-3 modes "Std." and "Lin.".
inline constexpr std::int32_t kHandSelections[21] = {0, 2, 8, 0, 1, 3, 0, 0, 16, 1, 0, 0, 0, 10, 0, 2, 3, 3, 0, 2, 1};
// Sync slave, DCO1 retrigger, DCO1 key follow, ENV2 free run; both post mixes, Boost and a stale routing code.
inline constexpr std::int32_t kHandSwitchBits = 0x95, kHandFilterBits = 0x8D;

inline Bytes HandBuiltRecord() {
    FileBytes f;
    f.Text("Hand Built", 256).Text("Tester", 256).Text("line one\r\nline two", 2048);
    for (std::int32_t v : kHandSlots) f.Int(v);
    for (std::int32_t v : kHandSelections) f.Int(v);
    return f.Int(kHandSwitchBits).Int(kHandFilterBits).bytes;
}

inline Bytes HandBuiltFile(std::int32_t version = 0) {
    Bytes file = FileBytes().Raw("QNP").Int(version).bytes;
    const Bytes record = HandBuiltRecord();
    file.insert(file.end(), record.begin(), record.end());
    return file;
}

// Transmit All of the hand-built patch, worked out from the parameter map.
// clang-format off
inline const std::initializer_list<std::array<int, 2>> kHandTransmission{
    {16, 2}, {25, 21},  {16, 2}, {20, 77},                                          // words; routing now 0x41
    {16, 1}, {26, 19},  {16, 3}, {102, 2},  {16, 1}, {30, 40}, {16, 1}, {106, 21},  // waves, row-3 modes
    {16, 2}, {29, 72},  {16, 3}, {31, 7},   {16, 2}, {28, 0},  {16, 3}, {27, 0},    // DCO1 source rows
    {16, 1}, {23, 7},   {16, 3}, {105, 15}, {16, 1}, {107, 30},                     // Arpeg., DCO2 rows
    {16, 2}, {104, 1},  {16, 2}, {103, 127}, {16, 1}, {113, 10}, {16, 3}, {119, 1}, // ... envelope offsets
    {16, 1}, {30, 40},  {16, 1}, {106, 21}, {16, 1}, {108, 1}, {16, 1}, {110, 2},   // octaves, ENV1
    {16, 1}, {109, 3},  {16, 1}, {112, 4},  {16, 1}, {111, 5},
    {16, 2}, {114, 3},  {16, 2}, {116, 4},  {16, 2}, {115, 5}, {16, 2}, {118, 6},   // ENV2
    {16, 2}, {117, 7},  {16, 1}, {24, 6},   {16, 2}, {20, 77},                      // Step, filter type
    {16, 2}, {21, 122}, {16, 1}, {22, 99},                                          // cutoffs
};
// clang-format on

// A shown form with an open device, and its document.
struct Editor : EditorRig {
    Editor() { ShowAndOpen(); }
    Bytes Record() {
        Bytes r(static_cast<std::size_t>(CMainDlg::GetPatchBodySize()));
        dlg.WritePatchBody(r);
        return r;
    }
};

inline void ExpectFileMessage(const ScriptedDialogs& dialogs, const std::string& text) {
    ASSERT_EQ(dialogs.messages.size(), 1u) << text;
    const MessageRequest& m = dialogs.messages[0];
    EXPECT_EQ(std::tie(m.text, m.caption, m.buttons, m.owner),
              std::make_tuple(text, std::string(), MessageButtons::Ok, MessageOwner::None));
}

inline Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The application started on a folder whose default patch is the hand-built one, its window a recording
// frame; the start's transmit question answered No, and what the start said and sent forgotten.
struct StartedRig : EditorRig {
    TempDir dir;
    RecordingFrame frame;

    void StartApp() {
        location.dir = dir.path.string() + "/";
        WriteAll(dir / "default.qnp", HandBuiltFile());
        dialogs.answers = {MessageAnswer::No};
        ASSERT_TRUE(app.InitInstance(frame, std::nullopt));
        dialogs.messages.clear();
        ports.bytes.clear();
    }
};

// Runs `body` in a child process and returns its exit code, so that limits and identities set there
// cannot leak into other tests.
template <typename F>
int InChild(F body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The disk is full after 100 bytes of any file written from here on.
inline void LimitFileSize() {
    const rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, SIG_IGN);
}
