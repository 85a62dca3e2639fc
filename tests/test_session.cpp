// SPDX-License-Identifier: GPL-3.0-or-later
// A session manager in charge: what the program answers to each of its messages, what the session's folder
// holds after a save, and that the user's profile is never written meanwhile.
#include "PatchFixtures.h"

#include "app/NsmClient.h"
#include "app/SessionKeeper.h"
#include "app/SessionProfile.h"
#include "editor/ControlNames.h"

#include <sys/stat.h>
#include <unistd.h>
#include <fstream>

namespace {

struct RecordingLink : OscLink {
    std::vector<OscMessage> sent;
    void Send(const OscMessage& message) override { sent.push_back(message); }
    // "path types first-argument" of each message sent, then forgets them.
    std::vector<std::string> Take() {
        std::vector<std::string> out;
        for (const OscMessage& m : sent) {
            std::string line = m.path + " " + m.Types();
            for (const OscArgument& a : m.args) line += " " + (a.type == 'i' ? std::to_string(a.i) : a.s);
            out.push_back(line);
        }
        sent.clear();
        return out;
    }
};

OscMessage Open(const std::string& folder, const std::string& id) {
    return {nsm::kOpen, {OscArgument::Text(folder), OscArgument::Text("Song"), OscArgument::Text(id)}};
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SessionSettings, AnyTextComesBackByteForByteAndGarbageIsSkipped) {
    const SessionSettings settings{{{"Options", "MIDI Output Name"}, "Port=B [1] 100%\n\xff\x01"},
                                   {{"Options", "MIDI Thru"}, "1"},
                                   {{"Sec=tion]", "Key[1]"}, ""}};
    EXPECT_EQ(ParseSessionSettings(FormatSessionSettings(settings)), settings);
    const SessionSettings parsed = ParseSessionSettings(
        "key=before a section\n[A]\r\nx=1\r\n=no key\nno equals\n[B\n"
        "y=%4\n%zz=%41\n;comment=1\n");
    const SessionSettings expected{{{"A", "x"}, "1"}, {{"A", "y"}, "%4"}, {{"A", "%zz"}, "A"}};
    EXPECT_EQ(parsed, expected);
}

TEST(SessionProfile, WritesStayInTheSessionAndReadsFallBackToTheUser) {
    MapProfile user;
    user.ints["Options/MIDI Output"] = 3;
    SessionProfile profile(user);
    profile.WriteProfileInt("Options", "Test Note", 61);  // no session: the user's profile
    EXPECT_EQ(user.ints["Options/Test Note"], 61);

    profile.UseSession({});
    const int writesBefore = user.intWrites;
    profile.WriteProfileInt("Options", "MIDI Thru", 1);
    profile.WriteProfileString(kProfileControllersSection, "Binding1", "74 1 1004");
    profile.WriteProfileInt(kProfileControllersSection, kProfileControllersCountKey, 1);
    profile.WriteRecentFiles({"/a.qnp"});
    EXPECT_EQ(user.intWrites, writesBefore);
    EXPECT_TRUE(user.recent.empty());
    EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Thru", 0), 1);
    EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Output", 0), 3);  // from the user's
    EXPECT_EQ(profile.RecentFiles(), std::vector<std::string>{"/a.qnp"});

    // The file stands on its own: the device the user's profile gave is written into it.
    const SessionSettings saved = profile.SettingsToSave();
    EXPECT_EQ(saved.at({"Options", "MIDI Output"}), "3");
    EXPECT_EQ(saved.at({kProfileControllersSection, "Binding1"}), "74 1 1004");
    EXPECT_EQ(saved.at({kProfileControllersSection, kProfileControllersCountKey}), "1");
}

// The protocol alone, on a host that records what it is asked.
struct ProtocolHost : SessionHost {
    std::vector<std::string> calls;
    std::optional<std::string> saveFailure;
    std::optional<std::string> OpenSession(const std::string& folder, const std::string& id) override {
        calls.push_back("open " + folder + " " + id);
        return std::nullopt;
    }
    std::optional<std::string> SaveSession() override {
        calls.push_back("save");
        return saveFailure;
    }
    void ShowGui(bool shown) override { calls.push_back(shown ? "show" : "hide"); }
};

struct Protocol : ::testing::Test {
    RecordingLink link;
    ProtocolHost host;
    NsmClient client{link, host};
};

TEST_F(Protocol, AnnouncesOpensSavesAndReportsDirtOnce) {
    client.Announce("QuarnEdit", "quarnedit", 42);
    EXPECT_EQ(link.Take(), std::vector<std::string>{"/nsm/server/announce sssiii QuarnEdit :dirty:switch:optional-gui: "
                                                    "quarnedit 1 1 42"});
    client.Handle({nsm::kReply,
                   {OscArgument::Text(nsm::kAnnounce), OscArgument::Text("hi"), OscArgument::Text("Fake SM"),
                    OscArgument::Text(":server-control:")}});
    EXPECT_EQ(client.ManagerName(), "Fake SM");
    client.SetDirty(true);  // no session yet: nobody is told
    EXPECT_TRUE(link.Take().empty());

    client.Handle(Open("/s/one", "nABC"));
    EXPECT_EQ(link.Take(),
              (std::vector<std::string>{"/reply ss /nsm/client/open opened /s/one", "/nsm/client/is_dirty "}));
    client.SetDirty(true);
    EXPECT_TRUE(link.Take().empty());
    client.Handle({nsm::kSave, {}});
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"/reply ss /nsm/client/save saved", "/nsm/client/is_clean "}));

    client.Handle({nsm::kHideGui, {}});
    client.Handle({nsm::kShowGui, {}});
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"/nsm/client/gui_is_hidden ", "/nsm/client/gui_is_shown "}));
    client.Handle(Open("/s/two", "nDEF"));  // a switch
    EXPECT_EQ(client.ClientId(), "nDEF");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"open /s/one nABC", "save", "hide", "show", "open /s/two nDEF"}));
}

TEST_F(Protocol, HostileMessagesGetAClearErrorAndChangeNothing) {
    const std::vector<std::pair<OscMessage, std::string>> cases{
        {{nsm::kOpen, {OscArgument::Text("/s"), OscArgument::Int(3), OscArgument::Text("n1")}},
         "/error sis /nsm/client/open -1 open takes three strings, not 'sis'"},
        {{nsm::kOpen, {}}, "/error sis /nsm/client/open -1 open takes three strings, not ''"},
        {Open("relative/path", "n1"), "/error sis /nsm/client/open -9 the session's path is not absolute"},
        {Open("/s", "../n1"), "/error sis /nsm/client/open -9 the client id is not usable"},
        {Open("/s", ""), "/error sis /nsm/client/open -9 the client id is not usable"},
        {Open("/s", std::string(5000, 'x')), "/error sis /nsm/client/open -1 arguments out of reason"},
        {{nsm::kSave, {}}, "/error sis /nsm/client/save -6 no session is open"},
        {{nsm::kSave, {OscArgument::Int(1)}}, "/error sis /nsm/client/save -1 save takes no arguments"},
        {{nsm::kShowGui, {OscArgument::Text("x")}},
         "/error sis /nsm/client/show_optional_gui -1 the window's requests take no arguments"},
        {{"/nsm/client/format_disk", {}},
         "/error sis /nsm/client/format_disk -1 unknown message /nsm/client/format_disk"},
        {{"", {}}, "/error sis  -1 unknown message "},
    };
    for (const auto& [message, answer] : cases) {
        client.Handle(message);
        EXPECT_EQ(link.Take(), std::vector<std::string>{answer}) << message.path;
    }
    // Answers are never answered: a malformed /reply or /error passes in silence.
    client.Handle({nsm::kReply, {OscArgument::Int(1)}});
    client.Handle({nsm::kError, {}});
    client.Handle(
        {nsm::kError, {OscArgument::Text("/nsm/client/other"), OscArgument::Int(-1), OscArgument::Text("x")}});
    EXPECT_TRUE(link.Take().empty());
    EXPECT_FALSE(client.Refused());
    EXPECT_FALSE(client.SessionOpen());
    EXPECT_TRUE(host.calls.empty());

    client.Handle(Open("/s", "n1"));
    host.saveFailure = "/s/patch.qnp: the disk is full";
    client.SetDirty(true);
    link.Take();
    client.Handle({nsm::kSave, {}});
    EXPECT_EQ(link.Take(), std::vector<std::string>{"/error sis /nsm/client/save -1 /s/patch.qnp: the disk is full"});
    client.Handle({nsm::kError, {OscArgument::Text(nsm::kAnnounce), OscArgument::Int(-2), OscArgument::Text("old")}});
    EXPECT_TRUE(client.Refused());
}

// The real application under a session manager.
struct InSession : ::testing::Test {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;
    MapProfile user;
    SessionProfile profile{user};
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app{{ports, pause, profile, dialogs, location, libraries, clock, recovery}};
    RecordingFrame frame;
    TempDir dir;
    std::vector<std::string> named;
    SessionKeeper keeper{app, profile, [this](const std::string& id) { named.push_back(id); }, nullptr};
    RecordingLink link;
    NsmClient client{link, keeper};

    void SetUp() override {
        location.dir = dir.path.string() + "/";
        WriteAll(dir / "default.qnp", HandBuiltFile());
        app.SetModifiedObserver([this](bool dirty) { client.SetDirty(dirty); });
    }
    // Opens the session as the program's start does: the open, then start-up, then the window runs.
    void Start(const std::string& folder) {
        client.Handle(Open(folder, "nQE1"));
        ASSERT_EQ(link.Take().at(0), "/reply ss /nsm/client/open opened " + folder);
        ASSERT_TRUE(app.InitInstance(frame, std::nullopt));
        keeper.SetRunning();
    }
};

TEST_F(InSession, ANewSessionStartsOnTheDefaultPatchSavesItAndComesBack) {
    user.ints["Options/MIDI Output"] = 0;
    WriteAll(dir / "other.qnp", HandBuiltFile());
    recovery.abandoned = {RecoveryStore::Abandoned{"other", dir / "other.qnp", ""}};
    Start(dir / "song");
    EXPECT_EQ(named, std::vector<std::string>{"nQE1"});
    // No question at all (neither Transmit nor the recovery offer), and the patch went to the device.
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(ports.bytes.empty());
    EXPECT_EQ(app.document().GetPathName(), dir / "song/patch.qnp");
    EXPECT_FALSE(fs::exists(dir / "song/patch.qnp"));

    app.form().UserMovedSlider(ctl::Dco1Amp, 3);
    EXPECT_EQ(link.Take(), std::vector<std::string>{"/nsm/client/is_dirty "});
    client.Handle({nsm::kSave, {}});
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"/nsm/client/is_clean ", "/reply ss /nsm/client/save saved"}));
    ASSERT_TRUE(fs::exists(dir / "song/patch.qnp"));
    EXPECT_NE(ReadText(dir / "song/settings.ini").find("MIDI Output=0"), std::string::npos);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(user.intWrites, 0) << "the user's profile is never written in a session";
    EXPECT_TRUE(user.recent.empty());
}

TEST_F(InSession, ASwitchOpensTheOtherSessionWithoutAQuestion) {
    Start(dir / "first");
    app.form().UserMovedSlider(ctl::Dco1Amp, 3);
    client.Handle({nsm::kSave, {}});
    const std::string saved = ReadText(dir / "first/patch.qnp");
    app.form().UserMovedSlider(ctl::Dco1Amp, 9);  // unsaved: the session manager asked for no save
    link.Take();
    ports.bytes.clear();

    client.Handle(Open(dir / "second", "nQE2"));
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"/nsm/client/is_clean ",
                                                     "/reply ss /nsm/client/open opened " + (dir / "second"),
                                                     "/nsm/client/is_clean "}));
    EXPECT_EQ(app.document().GetPathName(), dir / "second/patch.qnp");
    EXPECT_EQ(named, (std::vector<std::string>{"nQE1", "nQE2"}));
    EXPECT_FALSE(ports.bytes.empty()) << "the new session's patch reaches the device";
    client.Handle(Open(dir / "first", "nQE1"));
    EXPECT_EQ(app.form().form().GetPos(ctl::Dco1Amp), 3);
    EXPECT_EQ(ReadText(dir / "first/patch.qnp"), saved);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(InSession, AFolderThatCannotBeWrittenOrADamagedPatchLosesNothing) {
    Start(dir / "song");
    app.form().UserMovedSlider(ctl::Dco1Amp, 3);
    link.Take();
    if (geteuid() == 0) {
        // root writes into any folder: a file stands where the folder was instead
        fs::remove_all(dir / "song");
        WriteAll(dir / "song", HandBuiltFile());
    } else {
        chmod((dir / "song").c_str(), 0500);
    }
    client.Handle({nsm::kSave, {}});
    const std::vector<std::string> answer = link.Take();
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0].rfind("/error sis /nsm/client/save -1 ", 0), 0u) << answer[0];
    EXPECT_TRUE(app.document().IsModified());
    EXPECT_EQ(app.form().form().GetPos(ctl::Dco1Amp), 3);

    // A damaged patch in the session switched to: the error says which file, and the edit stays.
    fs::create_directories(dir / "damaged");
    WriteAll(dir / "damaged/patch.qnp", std::vector<std::uint8_t>{1, 2, 3});
    client.Handle(Open(dir / "damaged", "nQE1"));
    const std::vector<std::string> refused = link.Take();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].find("-10 " + (dir / "damaged/patch.qnp") + ": "), std::string::npos) << refused[0];
    EXPECT_EQ(app.form().form().GetPos(ctl::Dco1Amp), 3);
    EXPECT_TRUE(dialogs.messages.empty());
}

// The session manager's quit asks nothing and tells nothing in a dialog (nobody would answer it, and the
// program would never end): an unsaved edit goes to the unsaved-changes file, the device closes.
TEST_F(InSession, TheQuitAsksAndTellsNothingAndKeepsTheUnsavedEdit) {
    user.ints["Options/MIDI Output"] = 0;
    Start(dir / "song");
    app.form().UserMovedSlider(ctl::Dco1Amp, 3);
    ports.undeliveredAtClose = 5;  // a server that stood still as the program ended
    dialogs.messages.clear();
    app.EndWithoutQuestions();
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.at(0).text;
    ASSERT_TRUE(recovery.saved.has_value());
    EXPECT_EQ(recovery.saved->second, dir / "song/patch.qnp");
    EXPECT_FALSE(fs::exists(dir / "song/patch.qnp")) << "the session's files stay as last saved";
}

}  // namespace
