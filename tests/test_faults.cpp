// SPDX-License-Identifier: GPL-3.0-or-later
// Faults provoked for real: broken default patches, disks that refuse or fill up, awkward file names,
// devices that come and go under the device dialog, a machine without MIDI, and profiles that cannot
// be read or written.
#include "PatchFixtures.h"

#include "app/BatchCommands.h"
#include "platform/CommandLine.h"
#include "platform/QSettingsProfile.h"
#include "platform/RtMidiPorts.h"

#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

namespace {

// Dialogs whose device dialog lets the device list change while it is open.
struct ChangingDialogs : ScriptedDialogs {
    std::function<void()> whileDeviceDialogOpen;
    std::vector<std::vector<std::string>> shownLists;  // what the open dialog was told to show instead
    void DeviceListChanged(const std::vector<std::string>& names) override { shownLists.push_back(names); }
    std::optional<int> RunDeviceDialog(const std::vector<std::string>& names, int current) override {
        if (whileDeviceDialogOpen) whileDeviceDialogOpen();
        return ScriptedDialogs::RunDeviceDialog(names, current);
    }
};

std::string Describe(const std::vector<MessageRequest>& messages) {
    std::string out;
    for (const MessageRequest& m : messages)
        out += m.text + " [" + m.caption +
               (m.owner == MessageOwner::None   ? ""
                : m.owner == MessageOwner::Form ? " form"
                                                : " main") +
               "]\n";
    return out;
}

// Everything the form shows and holds, one control a line.
std::string Snapshot(CMainDlg& dlg) {
    std::ostringstream out;
    const FormState& form = dlg.form();
    for (int id = ctl::First; id <= ctl::Last; ++id) {
        if (!form.Has(id)) continue;
        const ControlState& s = form.Get(id);
        out << id << ' ' << static_cast<int>(s.kind) << ' ' << s.position << ' ' << s.rangeMin << ".." << s.rangeMax
            << " sel " << s.selection << " chk " << s.checked << " en " << s.enabled << " text '" << s.text << "' [";
        for (const std::string& e : s.entries) out << e << ',';
        out << "]\n";
    }
    for (int slot = 0; slot < kSlotCount; ++slot) out << "slot" << slot << '=' << dlg.Slot(slot) << ' ';
    out << "\nwords " << dlg.m_switchBits << ' ' << dlg.m_filterBits << " mode " << dlg.m_filterMode << " texts '"
        << dlg.m_patchName << "' '" << dlg.m_author << "' '" << dlg.m_comment << "'\n";
    return out.str();
}

// Start-up and menu commands with fake platform services, in a directory of the test's own.
struct Shell {
    RecordingPorts ports;
    CountingPause pause;
    ChangingDialogs dialogs;
    MapProfile mapProfile;
    Profile* profile = &mapProfile;
    DirLocation location;
    RecordingFrame frame;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    std::unique_ptr<CQuarnEditApp> app;

    explicit Shell(const TempDir& dir, Profile* realProfile = nullptr, MidiOutPorts* realPorts = nullptr) {
        if (realProfile != nullptr) profile = realProfile;
        location.dir = dir.path.string() + "/";
        app = std::make_unique<CQuarnEditApp>(AppServices{realPorts != nullptr ? *realPorts : ports, pause, *profile,
                                                          dialogs, location, libraries, clock, recovery});
    }
    bool Start() { return app->InitInstance(frame, std::nullopt); }
    CMainDlg& form() { return app->form(); }
};

// What a form looks like before any patch reached it.
std::string InitialSnapshot() {
    EditorRig rig;
    rig.dlg.OnInitialUpdate();
    return Snapshot(rig.dlg);
}

// Runs `body` in a child process and returns the report it writes, so that identities, limits and
// mounts set there stay there.
template <typename F>
std::string ChildReport(F body) {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string report;
        try {
            report = body();
        } catch (const std::exception& e) {
            report = std::string("exception: ") + e.what();
        }
        if (write(fds[1], report.data(), report.size()) < 0) _exit(3);
        _exit(0);
    }
    close(fds[1]);
    std::string report;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) report += "child ended with status " + std::to_string(status);
    return report;
}

// Root writes anywhere: a child that must be refused drops to an ordinary user and group.
bool BecomeNobody() {
    if (geteuid() != 0) return true;
    return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

std::string Join(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ",") + n;
    return out;
}

// ---- the default patch --------------------------------------------------------------------------

struct BrokenDefault {
    const char* name;
    std::function<void(const TempDir&)> make;
    const char* message;
};

Bytes ForeignFile() {
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (int i = 0; png.size() < 3000; ++i) png.push_back(static_cast<std::uint8_t>(i * 31 + 7));
    return png;
}

const std::vector<BrokenDefault>& BrokenDefaults() {
    static const std::vector<BrokenDefault> cases{
        {"missing", [](const TempDir&) {}, "Couldn't open input file"},
        {"empty", [](const TempDir& d) { WriteAll(d / "default.qnp", {}); }, "Couldn't read from input file"},
        {"truncated",
         [](const TempDir& d) {
             const Bytes good = HandBuiltFile();
             WriteAll(d / "default.qnp", Bytes(good.begin(), good.begin() + 2000));
         },
         "Couldn't read from input file"},
        {"foreign", [](const TempDir& d) { WriteAll(d / "default.qnp", ForeignFile()); }, "Not a QuarnEdit Patch"},
        {"directory", [](const TempDir& d) { fs::create_directory(d.path / "default.qnp"); },
         "Couldn't open input file"},
        {"dangling link", [](const TempDir& d) { fs::create_symlink("gone.qnp", d.path / "default.qnp"); },
         "Couldn't open input file"},
        {"newer version", [](const TempDir& d) { WriteAll(d / "default.qnp", HandBuiltFile(1)); },
         "Unknown Patch Version"},
    };
    return cases;
}

std::string ExpectedReport(const char* message) {
    return std::string(message) + " []\nError Opening default patch [QuarnEdit form]\n";
}

TEST(DefaultPatchFaults, StartUpReportsTwiceAndKeepsTheInitialForm) {
    const std::string initial = InitialSnapshot();
    for (const BrokenDefault& broken : BrokenDefaults()) {
        SCOPED_TRACE(broken.name);
        TempDir dir;
        broken.make(dir);
        Shell shell(dir);
        ASSERT_TRUE(shell.Start());
        EXPECT_EQ(Describe(shell.dialogs.messages), ExpectedReport(broken.message));
        EXPECT_EQ(Snapshot(shell.form()), initial);
        EXPECT_TRUE(shell.ports.bytes.empty());
        EXPECT_EQ(shell.ports.openIndex, 0);  // the device opened all the same
        EXPECT_EQ(shell.frame.title, "Untitled");
    }
}

TEST(DefaultPatchFaults, FileNewReportsTwiceAndKeepsTheEditedForm) {
    for (const BrokenDefault& broken : BrokenDefaults()) {
        SCOPED_TRACE(broken.name);
        TempDir dir;
        WriteAll(dir / "default.qnp", HandBuiltFile());
        Shell shell(dir);
        ASSERT_TRUE(shell.Start());
        CMainDlg& dlg = shell.form();
        dlg.UserMovedSlider(ctl::Dco1Amp, 77);
        dlg.UserSelected(ctl::FilterType, 5);
        dlg.UserClicked(ctl::Boost);
        dlg.UserEdited(ctl::PatchName, "Edited");
        const std::string before = Snapshot(dlg);
        shell.dialogs.messages.clear();
        shell.ports.bytes.clear();

        fs::remove(dir.path / "default.qnp");
        broken.make(dir);
        shell.dialogs.answers = {MessageAnswer::No};  // do not save the edits
        shell.app->Work().OnFileNew();
        EXPECT_EQ(Describe(shell.dialogs.messages),
                  "Save changes to Untitled? [QuarnEdit main]\n" + ExpectedReport(broken.message));
        EXPECT_EQ(Snapshot(dlg), before);
        EXPECT_TRUE(shell.ports.bytes.empty());
    }
}

// ---- saving where it cannot be done -------------------------------------------------------------

// Saves the form over `patch` with Save and exports over `midi`, then reports the messages, whether both old
// files are intact byte for byte, and the names in their folder.
std::string SaveAndExportReport(const TempDir& dir, const std::string& folder, const Bytes& oldPatch,
                                const Bytes& oldMidi) {
    Shell shell(dir);
    if (!shell.Start()) return "no start";
    shell.dialogs.messages.clear();
    const std::string patch = dir / (folder + "/p.qnp"), midi = dir / (folder + "/p.mid");
    shell.app->document().SetPathName(patch);
    const bool saved = shell.app->Work().OnFileSave();
    shell.dialogs.savePaths = {midi, dir / (folder + "/new.mid")};
    shell.app->form().OnExportMidiFile();
    shell.app->form().OnExportMidiFile();
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path / folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return Describe(shell.dialogs.messages) + "saved " + std::to_string(saved) + " recent " +
           std::to_string(shell.app->Work().RecentFiles().size()) + " patch " +
           (ReadAll(patch) == oldPatch ? "intact" : "changed") + " midi " +
           (ReadAll(midi) == oldMidi ? "intact" : "changed") + " names " + Join(names);
}

void PrepareFolder(const TempDir& dir, const std::string& folder, const Bytes& patch, const Bytes& midi) {
    fs::create_directory(dir.path / folder);
    WriteAll(dir / (folder + "/p.qnp"), patch);
    WriteAll(dir / (folder + "/p.mid"), midi);
}

const Bytes kOldMidi(364, 0x4D);

TEST(SaveFaults, ReadOnlyFolderRefusesAndKeepsEverything) {
    TempDir dir;
    WriteAll(dir / "default.qnp", HandBuiltFile());
    const Bytes old = ForeignFile();
    PrepareFolder(dir, "ro", old, kOldMidi);
    fs::permissions(dir.path, fs::perms::all);
    fs::permissions(dir.path / "ro",
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    const std::string report = ChildReport([&]() -> std::string {
        if (!BecomeNobody()) return "no user";
        return SaveAndExportReport(dir, "ro", old, kOldMidi);
    });
    if (report == "no user") GTEST_SKIP() << "cannot run as an ordinary user here";
    EXPECT_EQ(report,
              "Couldn't open output file []\nCouldn't open output file []\nCouldn't open output file []\n"
              "saved 0 recent 0 patch intact midi intact names p.mid,p.qnp");
}

TEST(SaveFaults, FullDisksReportAWriteFailureAndLeaveNoTemporaryFile) {
    TempDir dir;
    WriteAll(dir / "default.qnp", HandBuiltFile());
    const Bytes old = ForeignFile();
    const std::string expected =
        "Couldn't write to output file []\nCouldn't write to output file []\n"
        "Couldn't write to output file []\nsaved 0 recent 0 patch intact midi intact names ";

    // No file may grow beyond 100 bytes, as on a disk with next to no room left.
    PrepareFolder(dir, "limit", old, kOldMidi);
    EXPECT_EQ(ChildReport([&] {
                  LimitFileSize();
                  return SaveAndExportReport(dir, "limit", old, kOldMidi);
              }),
              expected + "p.mid,p.qnp");

    // A small file system filled to the last block, mounted where only a child process sees it.
    fs::create_directory(dir.path / "tiny");
    const std::string report = ChildReport([&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("quarn-tiny", (dir / "tiny").c_str(), "tmpfs", 0, "size=16k") != 0)
            return "no mount";
        PrepareFolder(dir, "tiny", old, kOldMidi);
        WriteAll(dir / "tiny/filler", Bytes(64 * 1024, 0));  // cut short where the disk is full
        return SaveAndExportReport(dir, "tiny", old, kOldMidi);
    });
    if (report == "no mount") GTEST_SKIP() << "cannot mount a file system here";
    EXPECT_EQ(report, expected + "filler,p.mid,p.qnp");
}

TEST(SaveFaults, DirectoriesAndFullDevicesAreRefused) {
    TempDir dir;
    WriteAll(dir / "default.qnp", HandBuiltFile());
    Shell shell(dir);
    ASSERT_TRUE(shell.Start());
    shell.dialogs.messages.clear();
    fs::create_directory(dir.path / "folder.qnp");
    shell.dialogs.savePaths = {dir / "folder.qnp", "/dev/full"};
    EXPECT_FALSE(shell.app->Work().OnFileSaveAs());
    EXPECT_FALSE(shell.app->Work().OnFileSaveAs());
    shell.dialogs.savePaths = {dir / "folder.qnp", "/dev/full"};
    shell.app->form().OnExportMidiFile();
    shell.app->form().OnExportMidiFile();
    EXPECT_EQ(Describe(shell.dialogs.messages),
              "Couldn't open output file []\nCouldn't write to output file []\n"
              "Couldn't open output file []\nCouldn't write to output file []\n");
    EXPECT_EQ(shell.frame.title, "Untitled");
    EXPECT_TRUE(shell.app->Work().RecentFiles().empty());
    EXPECT_TRUE(fs::is_empty(dir.path / "folder.qnp"));
}

// ---- file names ---------------------------------------------------------------------------------

QCoreApplication& QtCore() {
    static int argc = 1;
    static char name[] = "test_faults";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Names as the file system takes them: long, with spaces, non-ASCII, and bytes that are not UTF-8 at all.
std::vector<std::string> AwkwardNames() {
    return {std::string(200, 'L') + " long.qnp", "with  spaces .qnp", "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.qnp",
            "bad \xFF\xFE bytes.qnp", "bad \xFE\xFF bytes.qnp"};
}

TEST(FileNameFaults, OpenSaveExportAndRecentFilesKeepEveryByte) {
    QtCore();
    TempDir dir;
    WriteAll(dir / "default.qnp", HandBuiltFile());
    // A folder deeper than a path buffer of 260 characters would allow.
    fs::path deep = dir.path;
    for (int i = 0; i < 3; ++i) deep /= std::string(100, static_cast<char>('a' + i)) + " \xC3\xA9";
    fs::create_directories(deep);
    std::vector<std::string> paths;
    for (const std::string& name : AwkwardNames()) paths.push_back((deep / name).string());
    const QString ini = QString::fromStdString(dir / "config/QuarnEdit.INI");

    {
        QSettingsProfile profile(ini);
        Shell shell(dir, &profile);
        ASSERT_TRUE(shell.Start());
        for (std::size_t i = 0; i < paths.size(); ++i) {
            shell.form().UserEdited(ctl::PatchName, "Patch " + std::to_string(i));
            shell.dialogs.savePaths = {paths[i], paths[i] + ".mid"};
            ASSERT_TRUE(shell.app->Work().OnFileSaveAs()) << Describe(shell.dialogs.messages);
            EXPECT_EQ(shell.frame.title, AwkwardNames()[i]);
            shell.app->form().OnExportMidiFile();
            EXPECT_EQ(ReadAll(paths[i]).size(), 2767u);
            EXPECT_EQ(ReadAll(paths[i] + ".mid").size(), 364u);
        }
        EXPECT_EQ(Describe(shell.dialogs.messages), "Transmit all data from Hand Built [Question form]\n");
    }

    // A later session reads the list back byte for byte and opens every entry from it.
    QSettingsProfile profile(ini);
    const std::vector<std::string> recent(paths.rbegin(), paths.rend());
    EXPECT_EQ(profile.RecentFiles(), recent);
    Shell shell(dir, &profile);
    ASSERT_TRUE(shell.Start());
    shell.dialogs.messages.clear();
    shell.dialogs.answers.assign(paths.size(), MessageAnswer::No);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        shell.app->Work().OnOpenRecentFile(static_cast<int>(paths.size()) - 1);  // the oldest, which then leads
        EXPECT_EQ(shell.form().m_patchName, "Patch " + std::to_string(i));
    }
    EXPECT_EQ(shell.app->Work().RecentFiles(), recent);
    EXPECT_EQ(QSettingsProfile(ini).RecentFiles(), recent);
    shell.dialogs.openPaths = {paths[1]};
    shell.app->Work().OnFileOpen();
    EXPECT_EQ(shell.form().m_patchName, "Patch 1");
    EXPECT_EQ(shell.dialogs.messages.size(), paths.size() + 1);  // only the transmit questions

    // Plain names stay readable in the file.
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(QByteArray::fromStdString(paths[2])));
}

TEST(FileNameFaults, CommandLineNamesComeThroughByteForByte) {
    std::vector<std::string> names = AwkwardNames();
    // Overlong, surrogate, out-of-range and cut-short sequences are not text either; a character outside
    // the basic plane sits right before a stray byte.
    for (const char* odd : {"x\xC0\xAF", "x\xED\xA0\x80y", "\xF4\x90\x80\x80", "cut \xE6\x97", "\xF0\x9F\x8E\xB9\xFF"})
        names.push_back(odd);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ParseCommandLine({"quarnedit", name}).file, name);
        const CommandLineOptions both = ParseCommandLine({"quarnedit", "--export-midi=" + name, name + ".mid"});
        EXPECT_EQ(both.input + "|" + both.output, name + "|" + name + ".mid");
        EXPECT_EQ(ParseCommandLine({"quarnedit", "--transmit", name, "--device", "1"}).input, name);
    }
    // Names that differ only in bytes that are not text stay two names.
    const CommandLineOptions twins = ParseCommandLine({"quarnedit", "--export-midi", "p\xFF", "p\xFE"});
    EXPECT_EQ(twins.input + "|" + twins.output, "p\xFF|p\xFE");
}

// ---- devices that come and go while the device dialog is open -----------------------------------

struct DeviceChangeTest : ::testing::Test {
    TempDir dir;
    std::unique_ptr<Shell> shell;
    void Start(std::vector<std::string> names, int stored) {
        WriteAll(dir / "default.qnp", HandBuiltFile());
        shell = std::make_unique<Shell>(dir);
        shell->ports.names = std::move(names);
        shell->ports.opens.assign(shell->ports.names.size(), true);
        shell->mapProfile.ints["Options/MIDI Output"] = stored;
        shell->dialogs.answers = {MessageAnswer::No};
        ASSERT_TRUE(shell->Start());
        shell->dialogs.messages.clear();
    }
    void Unplug(const std::string& name) {
        RecordingPorts& p = shell->ports;
        const auto at = std::find(p.names.begin(), p.names.end(), name) - p.names.begin();
        p.names.erase(p.names.begin() + at);
        p.opens.erase(p.opens.begin() + at);
    }
    void PlugIn(std::size_t at, const std::string& name) {
        shell->ports.names.insert(shell->ports.names.begin() + static_cast<std::ptrdiff_t>(at), name);
        shell->ports.opens.insert(shell->ports.opens.begin() + static_cast<std::ptrdiff_t>(at), true);
    }
    void Choose(int index, std::function<void()> change) {
        shell->dialogs.whileDeviceDialogOpen = std::move(change);
        shell->dialogs.deviceAnswers = {index};
        shell->app->Devices().OnOutputDevice();
    }
    // What the user sees on the wire after a change: one slider move.
    Bytes Wire() {
        shell->ports.bytes.clear();
        shell->form().UserMovedSlider(ctl::Dco1Amp, 5);
        return shell->ports.bytes;
    }
};

TEST_F(DeviceChangeTest, ChosenDeviceVanishedRevertsToThePreviousOne) {
    Start({"Port A", "Port B", "Port C"}, 0);
    Choose(2, [&] { Unplug("Port C"); });
    EXPECT_EQ(shell->dialogs.deviceRequests.back().first, (std::vector<std::string>{"Port A", "Port B", "Port C"}));
    EXPECT_EQ(Describe(shell->dialogs.messages), "Port C could not be opened, reverting to Port A [Info main]\n");
    EXPECT_EQ(shell->ports.openIndex, 0);
    EXPECT_EQ(shell->app->m_midiOutDevice, 0);
    EXPECT_EQ(shell->mapProfile.intWrites, 0);
    EXPECT_EQ(Wire(), CC({{16, 1}, {29, 5}}));
}

TEST_F(DeviceChangeTest, EveryDeviceVanishedLeavesNoneOpenAndSendsNothing) {
    Start({"Port A", "Port B"}, 0);
    Choose(1, [&] {
        Unplug("Port A");
        Unplug("Port B");
    });
    EXPECT_EQ(Describe(shell->dialogs.messages),
              "Port B could not be opened, reverting to (unknown device 0) [Info main]\n");
    EXPECT_EQ(shell->ports.openIndex, -1);
    EXPECT_EQ(shell->app->m_midiOutDevice, 0);
    EXPECT_EQ(shell->mapProfile.intWrites, 0);
    EXPECT_TRUE(Wire().empty());
}

TEST_F(DeviceChangeTest, DevicesThatAppearOpenTheOneTheUserChose) {
    Start({"Port A", "Port B"}, 0);
    Choose(1, [&] { PlugIn(2, "Port D"); });  // behind the chosen one
    EXPECT_EQ(shell->ports.openIndex, 1);
    // Ahead of the chosen one: every index behind it moves up.
    Choose(0, [&] { PlugIn(0, "Port E"); });
    EXPECT_EQ(shell->ports.Name(shell->ports.openIndex), "Port A");
    EXPECT_EQ(shell->app->m_midiOutDevice, 1);
    EXPECT_EQ(shell->mapProfile.ints["Options/MIDI Output"], 1);
    EXPECT_TRUE(shell->dialogs.messages.empty());
    EXPECT_EQ(Wire(), CC({{16, 1}, {29, 5}}));
}

// ---- devices that come and go while the program runs ---------------------------------------------

TEST_F(DeviceChangeTest, TheOpenDeviceThatGoesIsToldOnceAndReopenedByNameWhenItReturns) {
    Start({"Port A", "Port B"}, 0);
    const Bytes before = Wire();
    shell->app->Devices().OnMidiPortsChanged(MidiPortChange::OpenDeviceLost);
    Unplug("Port A");
    shell->app->Devices().OnMidiPortsChanged(MidiPortChange::ListChanged);
    shell->app->Devices().OnMidiPortsChanged(MidiPortChange::OpenDeviceLost);
    // Told once, in a notice that waits for no answer.
    EXPECT_TRUE(shell->dialogs.messages.empty());
    EXPECT_EQ(shell->frame.notices, std::vector<std::string>{"Port A is gone: changes are not sent until it is back."});
    EXPECT_TRUE(shell->app->Devices().IsDeviceLost());
    // Port B is another instrument: it is never used in Port A's place.
    EXPECT_TRUE(Wire().empty());
    EXPECT_EQ(shell->ports.openIndex, -1);

    PlugIn(1, "Port A");
    shell->app->Devices().OnMidiPortsChanged(MidiPortChange::ListChanged);
    EXPECT_FALSE(shell->app->Devices().IsDeviceLost());
    EXPECT_EQ(shell->frame.status, "Port A is back: changes are sent to it again.");
    EXPECT_EQ(shell->frame.notices.back(), "Port A is back: changes are sent to it again.");
    EXPECT_EQ(shell->app->m_midiOutDevice, 1);
    EXPECT_EQ(shell->mapProfile.ints["Options/MIDI Output"], 1);
    EXPECT_TRUE(shell->dialogs.messages.empty());
    EXPECT_EQ(Wire(), before);
}

TEST_F(DeviceChangeTest, TheOpenDeviceFollowsItsNameWhenOthersComeAndGo) {
    Start({"Port A", "Port B"}, 1);
    PlugIn(0, "Port E");
    shell->app->Devices().OnMidiPortsChanged(MidiPortChange::ListChanged);
    EXPECT_EQ(shell->app->m_midiOutDevice, 2);
    EXPECT_EQ(shell->mapProfile.ints["Options/MIDI Output"], 2);
    EXPECT_EQ(shell->mapProfile.strings["Options/MIDI Output Name"], "Port B");
    EXPECT_TRUE(shell->dialogs.messages.empty());
    EXPECT_EQ(Wire(), CC({{16, 1}, {29, 5}}));
    // Leaving the list is going, even when no server said so.
    Unplug("Port B");
    shell->app->Devices().OnMidiPortsChanged(MidiPortChange::ListChanged);
    EXPECT_EQ(shell->frame.notices, std::vector<std::string>{"Port B is gone: changes are not sent until it is back."});
    EXPECT_TRUE(shell->dialogs.messages.empty());
    EXPECT_TRUE(Wire().empty());
}

TEST_F(DeviceChangeTest, TheOpenDialogShowsTheNewListAndItsAnswerNamesADeviceInIt) {
    Start({"Port A", "Port B"}, 0);
    Choose(0, [&] {
        PlugIn(0, "Port E");
        shell->app->Devices().OnMidiPortsChanged(MidiPortChange::ListChanged);
    });
    ASSERT_EQ(shell->dialogs.shownLists.size(), 1u);
    EXPECT_EQ(shell->dialogs.shownLists[0], (std::vector<std::string>{"Port E", "Port A", "Port B"}));
    // Index 0 of the list the dialog shows when OK is pressed: the new device, not the one open before.
    EXPECT_EQ(shell->ports.Name(shell->ports.openIndex), "Port E");
    EXPECT_EQ(shell->mapProfile.strings["Options/MIDI Output Name"], "Port E");
}

TEST_F(DeviceChangeTest, WhatTheOldDeviceCouldNotTakeIsToldAtASwitchAndAtTheEnd) {
    Start({"Port A", "Port B"}, 0);
    Wire();
    shell->ports.undeliveredAtClose = 1;
    Choose(1, [] {});
    EXPECT_EQ(Describe(shell->dialogs.messages), "1 of 2 messages were not delivered to Port A [Info main]\n");
    EXPECT_EQ(shell->ports.openIndex, 1);
    shell->dialogs.messages.clear();

    Wire();
    shell->ports.undeliveredAtClose = 2;
    shell->dialogs.answers = {MessageAnswer::No};
    EXPECT_TRUE(shell->app->CanCloseFrame());
    EXPECT_EQ(Describe(shell->dialogs.messages),
              "Save changes to Untitled? [QuarnEdit main]\n"
              // Port B was sent the whole patch when it was chosen.
              "2 of 68 messages were not delivered to Port B [Info main]\n");
    // Everything delivered: not a word.
    Start({"Port A"}, 0);
    Wire();
    shell->dialogs.answers = {MessageAnswer::No};
    EXPECT_TRUE(shell->app->CanCloseFrame());
    EXPECT_EQ(shell->dialogs.messages.size(), 1u);
}

TEST(TransmitCommandFaults, MessagesTheDeviceCouldNotTakeFailTheCommandAndAreCounted) {
    TempDir dir;
    WriteAll(dir / "default.qnp", HandBuiltFile());
    const std::string patch = dir / "p.qnp";
    WriteAll(patch, HandBuiltFile());
    for (const std::size_t undelivered : {std::size_t{5}, std::size_t{0}}) {
        Shell shell(dir);
        shell.ports.undeliveredAtClose = undelivered;
        std::ostringstream err;
        const int exitCode = TransmitCommand(*shell.app, patch, 0, err);
        EXPECT_EQ(shell.ports.bytes.size(), 66u * 3);
        EXPECT_EQ(shell.ports.openIndex, -1);
        if (undelivered == 0) {
            EXPECT_EQ(exitCode, 0);
            EXPECT_EQ(err.str(), "");
        } else {
            EXPECT_EQ(exitCode, 3);
            EXPECT_EQ(err.str(), "5 of 66 messages were not delivered\n");
        }
    }
}

// ---- no MIDI at all -----------------------------------------------------------------------------

class ScopedEnv {
public:
    ScopedEnv(const char* key, const char* value) : m_key(key) {
        if (const char* old = std::getenv(key)) m_old = old;
        value != nullptr ? setenv(key, value, 1) : unsetenv(key);
    }
    ~ScopedEnv() { m_old ? setenv(m_key.c_str(), m_old->c_str(), 1) : unsetenv(m_key.c_str()); }

private:
    std::string m_key;
    std::optional<std::string> m_old;
};

TEST(NoMidiFaults, WithoutSequencerOrJackTheEditorStartsQuietlyAndWorks) {
    QtCore();
    const std::string server = "quarn-faults-none-" + std::to_string(getpid());
    ScopedEnv noServer("JACK_DEFAULT_SERVER", server.c_str());
    ScopedEnv noStart("JACK_NO_START_SERVER", "1");
    ScopedEnv quiet("QUARN_MIDI_DEBUG", nullptr);
    if (fs::exists("/dev/snd/seq")) GTEST_SKIP() << "this machine has an ALSA sequencer";

    TempDir dir;
    WriteAll(dir / "default.qnp", HandBuiltFile());
    const QString ini = QString::fromStdString(dir / "QuarnEdit.INI");
    ::testing::internal::CaptureStderr();
    std::string messages, names;
    {
        RtMidiPorts ports;
        QSettingsProfile profile(ini);
        Shell shell(dir, &profile, &ports);
        ASSERT_TRUE(shell.Start());
        EXPECT_EQ(ports.Count(), 0);
        EXPECT_FALSE(ports.IsOpen());
        EXPECT_FALSE(QFile::exists(ini));  // nothing opened, so nothing was stored
        shell.form().UserMovedSlider(ctl::Dco1Amp, 200);
        shell.form().UserSelected(ctl::Dco1Wave, 3);
        shell.dialogs.savePaths = {dir / "edited.qnp", dir / "edited.mid"};
        EXPECT_TRUE(shell.app->Work().OnFileSaveAs());
        shell.app->form().OnExportMidiFile();
        shell.app->form().TransmitAll(true);
        messages = Describe(shell.dialogs.messages);
        EXPECT_EQ(shell.pause.count, 66 + 4 + 66);  // sends reach nothing but keep their pace
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(messages,
              "Transmit all data from Hand Built [Question form]\nTransmit all data from Hand Built [Question form]\n");
    EXPECT_EQ(ReadAll(dir / "edited.mid").size(), 364u);
    Editor back;
    back.dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(back.doc.OnOpenDocument(dir / "edited.qnp"));
    EXPECT_EQ(std::make_tuple(back.dlg.m_dco1Amp, back.form.GetCurSel(ctl::Dco1Wave)), std::make_tuple(200, 3));
    EXPECT_EQ(QSettingsProfile(ini).RecentFiles(), std::vector<std::string>{dir / "edited.qnp"});
    EXPECT_EQ(QSettingsProfile(ini).GetProfileInt("Options", "MIDI Output", -5), -5);
}

// ---- profiles that cannot be written ------------------------------------------------------------

TEST(ProfileFaults, UnwritableProfilesNeverStopTheProgram) {
    QtCore();
    TempDir dir;
    WriteAll(dir / "default.qnp", HandBuiltFile());
    WriteAll(dir / "plain", {'x'});
    fs::create_directory(dir.path / "folder.INI");
    fs::create_directory(dir.path / "locked");
    fs::permissions(dir.path, fs::perms::all);
    fs::permissions(dir.path / "locked",
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    // Each start falls back to the second device and tries to store it, then saves and tries to store the
    // recent-file list: the program carries on as if the profile had taken them.
    const auto session = [&](const std::string& path) {
        QSettingsProfile profile(QString::fromStdString(path));
        Shell shell(dir, &profile);
        shell.ports.opens[0] = false;
        if (!shell.Start()) return std::string("no start");
        shell.dialogs.savePaths = {dir / "saved.qnp"};
        const bool saved = shell.app->Work().OnFileSaveAs();
        return Describe(shell.dialogs.messages) + "saved " + std::to_string(saved) + " device " +
               std::to_string(shell.app->m_midiOutDevice) + " recent " +
               std::to_string(shell.app->Work().RecentFiles().size());
    };
    const std::string expected =
        "MIDI Output Device has been changed to Port B [Info main]\n"
        "Transmit all data from Hand Built [Question form]\nsaved 1 device 1 recent 1";
    EXPECT_EQ(session(dir / "folder.INI"), expected);
    EXPECT_EQ(session(dir / "plain/QuarnEdit/QuarnEdit.INI"), expected);  // its folder cannot be made
    fs::remove(dir.path / "saved.qnp");                                   // for the ordinary user to write anew
    const std::string locked = ChildReport([&]() -> std::string {
        if (!BecomeNobody()) return "no user";
        return session(dir / "locked/QuarnEdit.INI");
    });
    if (locked != "no user") {
        EXPECT_EQ(locked, expected);
    }
    EXPECT_TRUE(fs::is_empty(dir.path / "folder.INI"));
    EXPECT_TRUE(fs::is_empty(dir.path / "locked"));
    EXPECT_EQ(ReadAll(dir / "plain"), Bytes{'x'});
}

}  // namespace
