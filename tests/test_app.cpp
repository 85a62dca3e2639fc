#include "EditorRig.h"

#include "app/Commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

// Writes a patch file the way the program saves one, from a form filled as the editor would.
void MakePatch(const std::string& path, const std::string& name, int amp) {
    EditorRig rig;
    CMainDlg& dlg = rig.dlg;
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
    ASSERT_TRUE(rig.doc.OnSaveDocument(path));
}

struct AppTest : ::testing::Test, EditorRig {
    RecordingFrame frame;
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("quarn-app-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        location.dir = dir.string() + "/";
        MakePatch((dir / "default.qnp").string(), "Default", 10);
    }
    void TearDown() override { fs::remove_all(dir); }
    bool Start(const std::optional<std::string>& file = std::nullopt) { return app.InitInstance(frame, file); }
};

TEST_F(AppTest, FreshProfileOpensDeviceZeroSilentlyAndOffersTheDefaultPatch) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(frame.events, (std::vector<std::string>{"title Untitled", "show", "title Untitled"}));
    EXPECT_EQ(ports.openIndex, 0);
    EXPECT_EQ(profile.intWrites + profile.stringWrites, 0);  // a device that opens at its stored id is not written back
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Default"});
    EXPECT_EQ(ports.bytes.size(), 66u * 3);  // the answer Yes went to the open device
    EXPECT_EQ(frame.title, "Untitled");
    EXPECT_EQ(g_mainDlg, &app.form());
}

TEST_F(AppTest, StoredDeviceBeyondTheListFallsBackAndIsStored) {
    profile.ints["Options/MIDI Output"] = 7;
    ports.opens[0] = false;
    ASSERT_TRUE(Start());
    EXPECT_EQ(ports.openIndex, 1);
    EXPECT_EQ(app.m_midiOutDevice, 1);
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 1);
    ASSERT_GE(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "MIDI Output Device has been changed to Port B");
    EXPECT_EQ(dialogs.messages[0].caption, "Info");
}

TEST_F(AppTest, TheStoredDeviceIsFoundByItsNameWhereverItIsNow) {
    // Another interface was plugged in: "Port B" moved from index 0 to 1.
    ports.names = {"New Interface", "Port B"};
    profile.ints["Options/MIDI Output"] = 0;
    profile.strings["Options/MIDI Output Name"] = "Port B";
    ASSERT_TRUE(Start());
    EXPECT_EQ(ports.openIndex, 1);
    EXPECT_EQ(app.m_midiOutDevice, 1);
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 1);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Default"});  // no notice: the same device
}

TEST_F(AppTest, AStoredDeviceThatIsGoneIsNeverReplacedSilently) {
    // "Port B" is gone; index 1 now names another instrument, which is used only with the notice.
    ports.names = {"Port A", "Port C"};
    ports.opens = {false, true};
    profile.ints["Options/MIDI Output"] = 1;
    profile.strings["Options/MIDI Output Name"] = "Port B";
    ASSERT_TRUE(Start());
    EXPECT_EQ(ports.openIndex, 1);
    ASSERT_GE(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "MIDI Output Device has been changed to Port C");
    EXPECT_EQ(profile.strings["Options/MIDI Output Name"], "Port C");

    // Choosing a device keeps its name too.
    ports.opens = {true, true};
    dialogs.deviceAnswers = {0};
    app.Devices().OnOutputDevice();
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 0);
    EXPECT_EQ(profile.strings["Options/MIDI Output Name"], "Port A");
    EXPECT_EQ(app.Devices().StoredDevice(), 0);
}

TEST_F(AppTest, NoDevicesStartsSilentlyAndEdits) {
    ports.names.clear();
    ports.opens.clear();
    profile.ints["Options/MIDI Output"] = 3;
    ASSERT_TRUE(Start());
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Default"});
    EXPECT_EQ(profile.intWrites, 0);
    EXPECT_EQ(app.m_midiOutDevice, 3);
    app.form().UserMovedSlider(ctl::Dco1Amp, 99);
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(pause.count, 66 + 2);  // dropped sends still pause
}

TEST_F(AppTest, MissingDefaultPatchReportsTwice) {
    fs::remove(dir / "default.qnp");
    ASSERT_TRUE(Start());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Couldn't open input file", "Error Opening default patch"}));
    EXPECT_EQ(dialogs.messages[1].caption, "QuarnEdit");
    EXPECT_EQ(dialogs.messages[0].caption, "");
}

TEST_F(AppTest, FileNewIsUntitledBeforeItAsksAgain) {
    const std::string bass = (dir / "bass.qnp").string();
    MakePatch(bass, "Bass", 200);
    ASSERT_TRUE(Start(bass));
    EXPECT_EQ(frame.title, "bass.qnp");
    std::string titleWhileAsked;
    dialogs.onMessage = [&](const MessageRequest&) { titleWhileAsked = frame.title; };
    dialogs.answers = {MessageAnswer::No};
    app.Work().OnFileNew();
    EXPECT_EQ(Texts().size(), 2u);
    EXPECT_EQ(Texts()[1], "Transmit all data from Default");
    EXPECT_EQ(titleWhileAsked, "Untitled");
}

TEST_F(AppTest, MenuCommandsDispatchByIdAndHelpAndExitGoThroughTheCore) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(app.OnCommand(cmd::AppAbout));
    EXPECT_EQ(dialogs.aboutShown, 1);
    EXPECT_TRUE(app.OnCommand(cmd::AppExit));
    EXPECT_EQ(frame.events.back(), "close");
    dialogs.answers = {MessageAnswer::No};
    EXPECT_TRUE(app.OnCommand(cmd::TransmitAll));
    EXPECT_EQ(Texts().back(), "Transmit all data from Default");
    EXPECT_FALSE(app.OnCommand(12345));
    // Every command of the menu has a handler; all but undo and redo can run with nothing edited yet.
    for (const MenuDef& menu : MenuBar()) {
        for (const CommandRow& row : menu.rows) {
            if (row.kind != RowKind::Command) continue;
            EXPECT_NE(row.run, nullptr) << row.label;
            const bool history = row.id == cmd::EditUndo || row.id == cmd::EditRedo;
            EXPECT_EQ(app.IsCommandEnabled(row.id), !history) << row.label;
        }
    }
}

TEST_F(AppTest, CommandLineFileIsShownAndSentAfterTheDeviceOpens) {
    const std::string bass = (dir / "bass.qnp").string();
    MakePatch(bass, "Bass", 200);
    ASSERT_TRUE(Start(bass));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Bass"});
    EXPECT_EQ(app.form().m_patchName, "Bass");
    EXPECT_EQ(app.form().m_dco1Amp, 200);
    EXPECT_EQ(ports.bytes.size(), 66u * 3);
    EXPECT_EQ(frame.title, "bass.qnp");
    EXPECT_EQ(app.Work().RecentFiles(), std::vector<std::string>{bass});

    // Save writes the file the title names, with what the form shows.
    ASSERT_TRUE(app.Work().OnFileSave());
    EditorRig other;
    RecordingFrame f2;
    other.dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(other.app.InitInstance(f2, bass));
    EXPECT_EQ(other.dlg.m_patchName, "Bass");
}

TEST_F(AppTest, UnreadableCommandLineFileFallsBackToTheDefault) {
    ASSERT_TRUE(Start((dir / "missing.qnp").string()));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Couldn't open input file", "Transmit all data from Default"}));
    EXPECT_EQ(frame.title, "Untitled");
    EXPECT_TRUE(app.Work().RecentFiles().empty());
}

TEST_F(AppTest, SaveAsOpenAndRecentFiles) {
    ASSERT_TRUE(Start());
    const std::string a = (dir / "a.qnp").string(), b = (dir / "b.qnp").string();
    dialogs.savePaths = {a, std::nullopt};
    EXPECT_TRUE(app.Work().OnFileSave());  // no path yet: Save asks for one
    EXPECT_EQ(frame.title, "a.qnp");
    EXPECT_FALSE(app.Work().OnFileSaveAs());  // cancelled
    dialogs.savePaths = {b};
    EXPECT_TRUE(app.Work().OnFileSaveAs());
    EXPECT_EQ(app.Work().RecentFiles(), (std::vector<std::string>{b, a}));
    EXPECT_EQ(profile.recent, app.Work().RecentFiles());
    dialogs.answers = {MessageAnswer::No};
    app.Work().OnOpenRecentFile(1);
    EXPECT_EQ(frame.title, "a.qnp");
    EXPECT_EQ(app.Work().RecentFiles(), (std::vector<std::string>{a, b}));
    fs::remove(b);
    app.Work().OnOpenRecentFile(1);
    EXPECT_EQ(Texts().back(), "Couldn't open input file");
    EXPECT_EQ(app.Work().RecentFiles(), std::vector<std::string>{a});
    EXPECT_EQ(frame.title, "a.qnp");
}

TEST_F(AppTest, OutputDeviceChoice) {
    ports.names.push_back("Port C");
    ports.opens.push_back(false);
    ASSERT_TRUE(Start());
    dialogs.messages.clear();
    const int opensBefore = ports.openCalls;

    app.Devices().OnOutputDevice();  // Cancel
    dialogs.deviceAnswers = {0};
    app.Devices().OnOutputDevice();  // the current device: nothing at all
    EXPECT_EQ(ports.openCalls, opensBefore);
    EXPECT_EQ(dialogs.deviceRequests.back(),
              (std::pair<std::vector<std::string>, int>{{"Port A", "Port B", "Port C"}, 0}));

    dialogs.deviceAnswers = {2};
    app.Devices().OnOutputDevice();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Port C could not be opened, reverting to Port A");
    EXPECT_EQ(dialogs.messages[0].caption, "Info");
    EXPECT_EQ(ports.openIndex, 0);
    EXPECT_EQ(app.m_midiOutDevice, 0);
    EXPECT_EQ(profile.intWrites, 0);

    dialogs.deviceAnswers = {1};
    app.Devices().OnOutputDevice();
    EXPECT_EQ(ports.openIndex, 1);
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 1);
}

TEST_F(AppTest, FailedSwitchFromAVanishedDeviceStillNamesBoth) {
    ports.opens[0] = false;
    ports.opens[1] = false;
    profile.ints["Options/MIDI Output"] = 9;
    ASSERT_TRUE(Start());
    dialogs.messages.clear();
    dialogs.deviceAnswers = {1};
    app.Devices().OnOutputDevice();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Port B could not be opened, reverting to (unknown device 9)");
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 9);
}

TEST_F(AppTest, Comment) {
    ASSERT_TRUE(Start());
    dialogs.commentAnswers = {std::string("line 1\nline 2")};
    dlg.UserClicked(ctl::Comment);
    EXPECT_EQ(dlg.m_comment, "line 1\r\nline 2");  // lines stored as the original platform stores them
    dlg.UserClicked(ctl::Comment);                 // Cancel
    EXPECT_EQ(dlg.m_comment, "line 1\r\nline 2");
    EXPECT_EQ(dialogs.commentRequests.back(), "line 1\nline 2");
}

}  // namespace
