#pragma once
// A patch file written byte by byte, the transmission it must produce, and an editor to load it into.

#include "Fakes.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "editor/CMainDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
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
        const auto u = static_cast<std::uint32_t>(v);
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                                   static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)});
        return *this;
    }
    FileBytes& Text(std::string_view s, std::size_t fieldSize) {
        Raw(s);
        bytes.resize(bytes.size() + fieldSize - s.size(), 0);
        return *this;
    }
};

// Slots 0..26. Slot 0 (Midi Ch.) says 5, but the stored selection (entry 17) says 3 and wins.
inline constexpr std::int32_t kHandSlots[27] = {5,   200, 100, 128, 64,  150, 30,  129, 255, 10, 20, 8, 5, 1,
                                                2,   3,   4,   5,   131, 132, 133, 134, 135, 6,  7,  250, 99};
// Selections, entries 0..20.
inline constexpr std::int32_t kHandSelections[21] = {
    0,   // DCO1 Amp. source: the slider
    2,   // DCO1 Dist. "Zsn"
    8,   // DCO1 row-3 source "Vel" (source 7)
    0,   // DCO1 Offset source
    1,   // DCO1 Pulsew. source "En1" (source 0)
    3,   // DCO1 Wave "Tri"
    0,   // Arpeg. source
    0,   // Cutoff1 source
    16,  // DCO2 Amp. source "Bth" (source 15)
    1,   // DCO2 Dist. "Mir"
    0,   // DCO2 row-3 source
    0,   // DCO2 Offset source
    0,   // DCO2 Pulsew. source
    10,  // DCO2 Wave: source "DC1" (2)
    0,   // ENV1 Offset source
    2,   // ENV2 Offset source "En2" (1)
    3,   // Filter type "DCO1 => Band Pass" (code 0x41, both cutoffs)
    3,   // Midi Ch. "4"
    0,   // Cutoff2 source
    2,   // DCO1 row-3 mode "Std."
    1,   // DCO2 row-3 mode "Lin."
};
inline constexpr std::int32_t kHandSwitchBits = 0x95;  // sync slave, DCO1 retrigger, DCO1 key follow, ENV2 free run
inline constexpr std::int32_t kHandFilterBits = 0x8D;  // both post mixes, boost, and a stale routing code

inline Bytes HandBuiltRecord(std::string_view name = "Hand Built") {
    FileBytes f;
    f.Text(name, 256).Text("Tester", 256).Text("line one\r\nline two", 2048);
    for (std::int32_t v : kHandSlots) f.Int(v);
    for (std::int32_t v : kHandSelections) f.Int(v);
    f.Int(kHandSwitchBits).Int(kHandFilterBits);
    return f.bytes;
}

inline Bytes HandBuiltFile(std::int32_t version = 0) {
    FileBytes f;
    f.Raw("QNP").Int(version);
    const Bytes record = HandBuiltRecord();
    f.bytes.insert(f.bytes.end(), record.begin(), record.end());
    return f.bytes;
}

// Transmit All of the hand-built patch, worked out from the parameter map.
inline const std::initializer_list<std::array<int, 2>> kHandTransmission{
    {16, 2}, {25, 21},  {16, 2}, {20, 77},                                        // words; routing now 0x41
    {16, 1}, {26, 19},  {16, 3}, {102, 2},  {16, 1}, {30, 40}, {16, 1}, {106, 21},  // waves, row-3 modes
    {16, 2}, {29, 72},  {16, 3}, {31, 7},   {16, 2}, {28, 0},  {16, 3}, {27, 0},    // DCO1 source rows
    {16, 1}, {23, 7},                                                             // Arpeg.
    {16, 3}, {105, 15}, {16, 1}, {107, 30}, {16, 2}, {104, 1}, {16, 2}, {103, 127}, // DCO2 source rows
    {16, 1}, {113, 10}, {16, 3}, {119, 1},                                        // envelope offsets
    {16, 1}, {30, 40},  {16, 1}, {106, 21}, {16, 1}, {108, 1}, {16, 1}, {110, 2},   // octaves, ENV1
    {16, 1}, {109, 3},  {16, 1}, {112, 4},  {16, 1}, {111, 5},
    {16, 2}, {114, 3},  {16, 2}, {116, 4},  {16, 2}, {115, 5}, {16, 2}, {118, 6},   // ENV2
    {16, 2}, {117, 7},  {16, 1}, {24, 6},                                         // Step
    {16, 2}, {20, 77},                                                            // filter type
    {16, 2}, {21, 122}, {16, 1}, {22, 99},                                        // cutoffs
};

// Notes how much had reached the device when the transmit question came.
struct WatchingDialogs : ScriptedDialogs {
    RecordingPorts& ports;
    CountingPause& pause;
    std::size_t bytesAtQuestion = std::numeric_limits<std::size_t>::max();
    int pausesAtQuestion = -1;
    WatchingDialogs(RecordingPorts& p, CountingPause& c) : ports(p), pause(c) {}
    MessageAnswer ShowMessage(const MessageRequest& request) override {
        if (request.buttons == MessageButtons::YesNo) {
            bytesAtQuestion = ports.bytes.size();
            pausesAtQuestion = pause.count;
        }
        return ScriptedDialogs::ShowMessage(request);
    }
};

// A shown form with an open device, and its document.
struct Editor {
    RecordingPorts ports;
    CountingPause pause;
    WatchingDialogs dialogs{ports, pause};
    CQuarnEditApp app{ports, pause};
    CMainDlg dlg{app, dialogs};
    CQuarnEditDoc doc{dlg, dialogs};
    FormState& form = dlg.form();

    Editor() {
        dlg.OnInitialUpdate();
        app.CreatePortSink().OpenDevice(0);
    }
    // The form as a record.
    Bytes Record() {
        Bytes r(static_cast<std::size_t>(CMainDlg::GetPatchBodySize()));
        dlg.WritePatchBody(r);
        return r;
    }
};

inline void ExpectFileMessage(const ScriptedDialogs& dialogs, const std::string& text) {
    ASSERT_EQ(dialogs.messages.size(), 1u) << text;
    const MessageRequest& m = dialogs.messages[0];
    EXPECT_EQ(m.text, text);
    EXPECT_EQ(m.caption, "");
    EXPECT_EQ(m.buttons, MessageButtons::Ok);
    EXPECT_EQ(m.owner, MessageOwner::None);
}

// A fresh directory, removed with everything in it.
struct TempDir {
    fs::path path;
    TempDir() {
        std::string templ = (fs::temp_directory_path() / "quarn_test_XXXXXX").string();
        path = mkdtemp(templ.data());
    }
    ~TempDir() {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(path, ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
    std::string operator/(std::string_view name) const { return (path / name).string(); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

inline Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
