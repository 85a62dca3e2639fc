#include "Fakes.h"
#include "ShellFakes.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "app/Services.h"
#include "editor/CMainDlg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

// Writes a patch file the way the program saves one, from a form filled as the editor would.
void MakePatch(const std::string& path, const std::string& name, int amp) {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;
    CQuarnEditApp app(ports, pause);
    CMainDlg dlg(app, dialogs);
    CQuarnEditDoc doc(dlg, dialogs);
    dlg.OnInitialUpdate();
    FormState& form = dlg.form();
    for (const Oscillator& osc : kOscillators) {
        form.SetCurSel(osc.wave, 0);
        form.SetCurSel(osc.dist, 0);
        form.SetCurSel(osc.modeList, 0);
    }
    form.SetCurSel(ctl::FilterType, 1);
    form.SetPos(ctl::Dco1Amp, amp);
    for (const ModulatedParam& row : kModulatedParams) dlg.RefreshModParam(row);
    form.SetText(ctl::PatchName, name);
    ASSERT_TRUE(doc.OnSaveDocument(path));
}

struct AppTest : ::testing::Test {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    RecordingFrame frame;
    fs::path dir;
    std::unique_ptr<CQuarnEditApp> app;

    void SetUp() override {
        dir = fs::temp_directory_path() / ("quarn-app-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        location.dir = dir.string() + "/";
        MakePatch((dir / "default.qnp").string(), "Default", 10);
        app = std::make_unique<CQuarnEditApp>(ports, pause);
        app->AttachShell({profile, dialogs, location, frame});
    }
    void TearDown() override {
        app.reset();
        fs::remove_all(dir);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const MessageRequest& m : dialogs.messages) t.push_back(m.text);
        return t;
    }
};

TEST_F(AppTest, FreshProfileOpensDeviceZeroSilentlyAndOffersTheDefaultPatch) {
    ASSERT_TRUE(app->InitInstance(std::nullopt));
    EXPECT_EQ(frame.events, std::vector<std::string>{"show"});
    EXPECT_EQ(ports.openIndex, 0);
    EXPECT_EQ(profile.intWrites, 0);  // a device that opens at its stored id is not written back
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Default"});
    EXPECT_EQ(ports.bytes.size(), 66u * 3);  // the answer Yes went to the open device
    EXPECT_EQ(frame.title, "Untitled");
    EXPECT_EQ(app->WindowTitle(), "Untitled - QuarnEdit");
    EXPECT_EQ(g_mainDlg, app->form());
}

TEST_F(AppTest, StoredDeviceBeyondTheListFallsBackAndIsStored) {
    profile.ints["Options/MIDI Output"] = 7;
    ports.opens[0] = false;
    ASSERT_TRUE(app->InitInstance(std::nullopt));
    EXPECT_EQ(ports.openIndex, 1);
    EXPECT_EQ(app->m_midiOutDevice, 1);
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 1);
    ASSERT_GE(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "MIDI Output Device has been changed to Port B");
    EXPECT_EQ(dialogs.messages[0].caption, "Info");
}

TEST_F(AppTest, NoDevicesStartsSilentlyAndEdits) {
    ports.names.clear();
    ports.opens.clear();
    profile.ints["Options/MIDI Output"] = 3;
    ASSERT_TRUE(app->InitInstance(std::nullopt));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Default"});
    EXPECT_EQ(profile.intWrites, 0);
    EXPECT_EQ(app->m_midiOutDevice, 3);
    app->form()->UserMovedSlider(ctl::Dco1Amp, 99);
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(pause.count, 66 + 2);  // dropped sends still pause
}

TEST_F(AppTest, MissingDefaultPatchReportsTwice) {
    fs::remove(dir / "default.qnp");
    ASSERT_TRUE(app->InitInstance(std::nullopt));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Couldn't open input file", "Error Opening default patch"}));
    EXPECT_EQ(dialogs.messages[1].caption, "QuarnEdit");
    EXPECT_EQ(dialogs.messages[0].caption, "");
}

TEST_F(AppTest, FileNewAsksAgain) {
    ASSERT_TRUE(app->InitInstance(std::nullopt));
    dialogs.answers = {MessageAnswer::No};
    app->OnFileNew();
    EXPECT_EQ(Texts().size(), 2u);
    EXPECT_EQ(Texts()[1], "Transmit all data from Default");
    EXPECT_EQ(frame.title, "Untitled");
}

TEST_F(AppTest, CommandLineFileIsShownAndSentAfterTheDeviceOpens) {
    const std::string bass = (dir / "bass.qnp").string();
    MakePatch(bass, "Bass", 200);
    ASSERT_TRUE(app->InitInstance(bass));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Bass"});
    EXPECT_EQ(app->form()->m_patchName, "Bass");
    EXPECT_EQ(app->form()->m_dco1Amp, 200);
    EXPECT_EQ(ports.bytes.size(), 66u * 3);
    EXPECT_EQ(frame.title, "bass.qnp");
    EXPECT_EQ(app->RecentFiles(), std::vector<std::string>{bass});

    // Save writes the file the title names, with what the form shows.
    ASSERT_TRUE(app->OnFileSave());
    CQuarnEditApp other(ports, pause);
    MapProfile p2;
    RecordingFrame f2;
    other.AttachShell({p2, dialogs, location, f2});
    dialogs.answers = {MessageAnswer::No, MessageAnswer::No};
    ASSERT_TRUE(other.InitInstance(bass));
    EXPECT_EQ(other.form()->m_patchName, "Bass");
}

TEST_F(AppTest, UnreadableCommandLineFileFallsBackToTheDefault) {
    ASSERT_TRUE(app->InitInstance((dir / "missing.qnp").string()));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Couldn't open input file", "Transmit all data from Default"}));
    EXPECT_EQ(frame.title, "Untitled");
    EXPECT_TRUE(app->RecentFiles().empty());
}

TEST_F(AppTest, SaveAsOpenAndRecentFiles) {
    ASSERT_TRUE(app->InitInstance(std::nullopt));
    const std::string a = (dir / "a.qnp").string(), b = (dir / "b.qnp").string();
    dialogs.savePaths = {a, std::nullopt};
    EXPECT_TRUE(app->OnFileSave());  // no path yet: Save asks for one
    EXPECT_EQ(frame.title, "a.qnp");
    EXPECT_FALSE(app->OnFileSaveAs());  // cancelled
    dialogs.savePaths = {b};
    EXPECT_TRUE(app->OnFileSaveAs());
    EXPECT_EQ(app->RecentFiles(), (std::vector<std::string>{b, a}));
    EXPECT_EQ(profile.recent, app->RecentFiles());
    dialogs.answers = {MessageAnswer::No};
    app->OnOpenRecentFile(1);
    EXPECT_EQ(frame.title, "a.qnp");
    EXPECT_EQ(app->RecentFiles(), (std::vector<std::string>{a, b}));
    fs::remove(b);
    app->OnOpenRecentFile(1);
    EXPECT_EQ(Texts().back(), "Couldn't open input file");
    EXPECT_EQ(app->RecentFiles(), std::vector<std::string>{a});
    EXPECT_EQ(frame.title, "a.qnp");
}

TEST_F(AppTest, OutputDeviceChoice) {
    ports.names.push_back("Port C");
    ports.opens.push_back(false);
    ASSERT_TRUE(app->InitInstance(std::nullopt));
    dialogs.messages.clear();
    const int opensBefore = ports.openCalls;

    app->OnOutputDevice();  // Cancel
    dialogs.deviceAnswers = {0};
    app->OnOutputDevice();  // the current device: nothing at all
    EXPECT_EQ(ports.openCalls, opensBefore);
    EXPECT_EQ(dialogs.deviceRequests.back(), (std::pair<std::vector<std::string>, int>{{"Port A", "Port B", "Port C"}, 0}));

    dialogs.deviceAnswers = {2};
    app->OnOutputDevice();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Port C could not be opened, reverting to Port A");
    EXPECT_EQ(dialogs.messages[0].caption, "Info");
    EXPECT_EQ(ports.openIndex, 0);
    EXPECT_EQ(app->m_midiOutDevice, 0);
    EXPECT_EQ(profile.intWrites, 0);

    dialogs.deviceAnswers = {1};
    app->OnOutputDevice();
    EXPECT_EQ(ports.openIndex, 1);
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 1);
}

TEST_F(AppTest, FailedSwitchFromAVanishedDeviceStillNamesBoth) {
    ports.opens[0] = false;
    ports.opens[1] = false;
    profile.ints["Options/MIDI Output"] = 9;
    ASSERT_TRUE(app->InitInstance(std::nullopt));
    dialogs.messages.clear();
    dialogs.deviceAnswers = {1};
    app->OnOutputDevice();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Port B could not be opened, reverting to (unknown device 9)");
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 9);
}

TEST_F(AppTest, Comment) {
    ASSERT_TRUE(app->InitInstance(std::nullopt));
    CMainDlg& dlg = *app->form();
    dialogs.commentAnswers = {std::string("line 1\nline 2")};
    dlg.UserClicked(ctl::Comment);
    EXPECT_EQ(dlg.m_comment, "line 1\nline 2");
    dlg.UserClicked(ctl::Comment);  // Cancel
    EXPECT_EQ(dlg.m_comment, "line 1\nline 2");
    EXPECT_EQ(dialogs.commentRequests.back(), "line 1\nline 2");
}

// ---- quick-load ---------------------------------------------------------------------------------

struct ScriptedLibrary : DynamicLibrary {
    static inline std::string answer;
    static inline bool terminate = true;
    static inline std::vector<std::tuple<std::string, std::uintptr_t, int, int>> calls;
    static inline int released = 0;
    bool hasEntry = true;
    ~ScriptedLibrary() override { ++released; }
    static int Entry(char* buffer, std::uintptr_t window, std::int32_t x, std::int32_t y) {
        calls.emplace_back(std::string(buffer), window, x, y);
        std::memset(buffer, 'x', 261);
        std::memcpy(buffer, answer.data(), answer.size());
        if (terminate) buffer[answer.size()] = '\0';
        return 1;
    }
    QuickLoadEntry FindQuickLoadEntry(const std::string& name) override {
        return hasEntry && name == "RunQuickLoadMenuA" ? &Entry : nullptr;
    }
};

struct ScriptedLoader : LibraryLoader {
    bool present = true, hasEntry = true;
    std::vector<std::string> names;
    std::unique_ptr<DynamicLibrary> Load(const std::string& fileName) override {
        names.push_back(fileName);
        if (!present) return nullptr;
        auto lib = std::make_unique<ScriptedLibrary>();
        lib->hasEntry = hasEntry;
        return lib;
    }
};

struct FixedWindow : FormWindow {
    std::uintptr_t WindowId() override { return 0x1234; }
    std::pair<int, int> ClientOriginOnScreen() override { return {100, 50}; }
};

struct QuickLoadTest : AppTest {
    ScriptedLoader loader;
    FixedWindow window;
    void SetUp() override {
        AppTest::SetUp();
        ScriptedLibrary::calls.clear();
        ScriptedLibrary::released = 0;
        ScriptedLibrary::terminate = true;
        ASSERT_TRUE(app->InitInstance(std::nullopt));
        app->form()->SetQuickLoad(&loader, &window);
        dialogs.messages.clear();
        ports.bytes.clear();
    }
};

TEST_F(QuickLoadTest, GoodFileLoadsAndSendsWithoutAsking) {
    const std::string lead = (dir / "lead.qnp").string();
    MakePatch(lead, "Lead", 77);
    ScriptedLibrary::answer = lead;
    app->form()->UserClicked(ctl::QuickLoad);
    ASSERT_EQ(ScriptedLibrary::calls.size(), 1u);
    EXPECT_EQ(ScriptedLibrary::calls[0], std::make_tuple(std::string("."), std::uintptr_t{0x1234}, 540, 65));
    EXPECT_EQ(loader.names, std::vector<std::string>{"Selvane.DLL"});
    EXPECT_EQ(ScriptedLibrary::released, 1);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(ports.bytes.size(), 66u * 3);
    EXPECT_EQ(app->form()->m_dco1Amp, 77);
    EXPECT_EQ(frame.title, "Untitled");  // neither the title nor the recent files change
    EXPECT_TRUE(app->RecentFiles().empty());
    EXPECT_FALSE(skipTransmitQuestion);
}

TEST_F(QuickLoadTest, EmptyAnswerMissingFileAndUnterminatedAnswer) {
    ScriptedLibrary::answer = "";
    app->form()->OnQuickLoad();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(skipTransmitQuestion);

    ScriptedLibrary::answer = (dir / "nothing.qnp").string();
    app->form()->OnQuickLoad();
    EXPECT_EQ(Texts(), std::vector<std::string>{"Couldn't open input file"});
    EXPECT_FALSE(skipTransmitQuestion);
    dialogs.answers = {MessageAnswer::No};
    app->OnTransmitAll();
    EXPECT_EQ(Texts().back(), "Transmit all data from Default");  // the next Transmit All asks again

    ScriptedLibrary::answer = std::string(300, 'y').substr(0, 261);
    ScriptedLibrary::terminate = false;
    app->form()->OnQuickLoad();
    EXPECT_EQ(Texts().back(), "Couldn't open input file");
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(ScriptedLibrary::released, 3);
}

TEST_F(QuickLoadTest, MissingLibraryOrEntryDoesNothing) {
    loader.present = false;
    app->form()->OnQuickLoad();
    loader.present = true;
    loader.hasEntry = false;
    app->form()->OnQuickLoad();
    EXPECT_TRUE(ScriptedLibrary::calls.empty());
    EXPECT_EQ(ScriptedLibrary::released, 1);
    EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
