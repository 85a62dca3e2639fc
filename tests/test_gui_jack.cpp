// SPDX-License-Identifier: GPL-3.0-or-later
// The real window, its real dialogs and a real JACK input standing in for the synthesizer: what the user
// does with the keyboard reaches the instrument, closing asks before an edit is lost, and undo is heard.
// Run under Xvfb by CTest.
#include "EditorRig.h"
#include "GuiHelpers.h"
#include "InstrumentModel.h"
#include "JackProbe.h"
#include "MidiDump.h"
#include "PatchFixtures.h"
#include "PrivateServer.h"

#include "app/Commands.h"
#include "editor/Morph.h"
#include "library/MemoryCatalogCache.h"
#include "patch/PatchFile.h"
#include "platform/QtClock.h"
#include "platform/QueuedPortChanges.h"
#include "platform/ThreadPacer.h"
#include "ui/CLibraryWnd.h"
#include "ui/CMainFrame.h"
#include "ui/CMidiOptionsDlg.h"
#include "ui/CMorphWnd.h"
#include "ui/FormWidget.h"
#include "ui/LibraryModel.h"
#include "ui/NoticeBar.h"
#include "ui/QtUserDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>

namespace {

using jackprobe::Messages;

struct GuiJack : ::testing::Test {
    void SetUp() override {
        if (!jackprobe::ServerAnswers()) {
            if (jackprobe::RequireJack()) FAIL() << "no JACK server (run the suite with ./test)";
            GTEST_SKIP() << "no JACK server";
        }
        Gui();
    }
};

// The program on a real JACK input: its window, dialogs and timers are the real ones.
struct Window {
    RtMidiPorts ports;
    ThreadPacer pause;
    std::string synthClient =
        jackprobe::Unique(std::string("gui-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::unique_ptr<jackprobe::Probe> synth = std::make_unique<jackprobe::Probe>(synthClient);
    MapProfile profile;
    QtUserDialogs dialogs;
    DirLocation location;
    NoLibraries libraries;
    QtClock clock;
    MemoryRecovery recovery;
    std::unique_ptr<CQuarnEditApp> app;
    std::unique_ptr<CMainFrame> frame;

    // Starts with the default patch, not transmitted, and the window active; sends to the probe, or to the
    // port named.
    void Start(const std::string& port = {}) {
        const int device = jackprobe::FindDevice(ports, port.empty() ? synth->Port() : port);
        ASSERT_GE(device, 0);
        profile.ints["Options/MIDI Output"] = device;
        location.dir = QUARN_PROGRAM_DIR "/";
        app = std::make_unique<CQuarnEditApp>(
            AppServices{ports, pause, profile, dialogs, location, libraries, clock, recovery});
        frame = std::make_unique<CMainFrame>(*app);
        dialogs.SetMainWindow(frame.get());
        frame->SetFormCreatedHandler([&](FormWidget& form) { dialogs.SetForm(&form); });
        OnNextMessageBox([](QMessageBox* box) { EXPECT_EQ(box->windowTitle(), "Question"); }, QMessageBox::No);
        ASSERT_TRUE(app->InitInstance(*frame, std::nullopt));
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }
    template <typename W>
    W* Widget(int id) {
        return qobject_cast<W*>(frame->Form()->WidgetForId(id));
    }
};

// What the synthesizer hears after an action: exactly `expected`. After an overrun of the server (a loaded
// machine) the window repeats what it could not confirm, so repeats may come before it; what it hears must
// still end on `expected`.
void ExpectHeard(Window& w, std::uint64_t faultsAtStart, const Messages& expected) {
    Messages got = w.synth->Collect(expected.size());
    if (w.ports.JackServerFaults() == faultsAtStart) {
        EXPECT_EQ(got, expected);
        return;
    }
    for (auto more = w.synth->Collect(SIZE_MAX, std::chrono::milliseconds(300)); !more.empty();
         more = w.synth->Collect(SIZE_MAX, std::chrono::milliseconds(300)))
        got.insert(got.end(), more.begin(), more.end());
    ASSERT_GE(got.size(), expected.size()) << "the server overran";
    EXPECT_EQ(Messages(got.end() - static_cast<std::ptrdiff_t>(expected.size()), got.end()), expected)
        << "the server overran";
}

TEST_F(GuiJack, AnEditIsHeardClosingAsksAndUndoIsHeard) {
    Window w;
    ASSERT_NO_FATAL_FAILURE(w.Start());
    ASSERT_EQ(w.app->form().m_dco1Amp, 200);  // "Init Saw"
    const std::uint64_t faults = w.ports.JackServerFaults();

    auto* amp = w.Widget<QSlider>(ctl::Dco1Amp);
    amp->setFocus();
    QTest::keyClick(amp, Qt::Key_Right);
    ExpectHeard(w, faults, Messages{{0xB0, 0x10, 0x02}, {0xB0, 0x1D, 201 - 128}});
    EXPECT_EQ(w.frame->windowHandle()->title(), "Untitled* - QuarnEdit");

    // Closing asks; Cancel keeps the window and the edit.
    OnNextMessageBox(
        [](QMessageBox* box) {
            EXPECT_EQ(box->text(), "Save changes to Untitled?");
            EXPECT_EQ(box->windowTitle(), "QuarnEdit");
        },
        QMessageBox::Cancel);
    w.frame->close();
    EXPECT_TRUE(w.frame->isVisible());
    EXPECT_EQ(w.app->form().m_dco1Amp, 201);

    // Ctrl+Z, from the slider that still has the focus: the value goes back, and the synthesizer hears it.
    QTest::keyClick(amp, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(amp->value(), 200);
    ExpectHeard(w, faults, Messages{{0xB0, 0x10, 0x02}, {0xB0, 0x1D, 200 - 128}});

    OnNextMessageBox([](QMessageBox*) {}, QMessageBox::No);
    w.frame->close();
    EXPECT_FALSE(w.frame->isVisible());
}

TEST_F(GuiJack, CtrlTPlaysTheTestNote) {
    Window w;
    ASSERT_NO_FATAL_FAILURE(w.Start());
    const auto started = std::chrono::steady_clock::now();
    QTest::keyClick(w.frame.get(), Qt::Key_T, Qt::ControlModifier);
    // The window goes on while the note sounds (its events run here); the note ends by itself.
    Messages heard;
    const bool ended = QTest::qWaitFor(
        [&] {
            for (auto& m : w.synth->Collect(0, std::chrono::milliseconds(1))) heard.push_back(std::move(m));
            return heard.size() >= 2;
        },
        20000);
    EXPECT_TRUE(ended);
    EXPECT_EQ(heard, (Messages{{0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x40}}));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
    w.frame->close();
}

// The synthesizer's client quits in the middle of a session and comes back: the user is told once, nothing is
// sent meanwhile, and afterwards the window sends to it again by itself.
TEST_F(GuiJack, SynthQuitsToldOnceHeardWhenBack) {
    Window w;
    ASSERT_NO_FATAL_FAILURE(w.Start());
    const std::uint64_t faults = w.ports.JackServerFaults();
    QueuedPortChanges news(w.ports, [&](MidiPortChange change) { w.app->Devices().OnMidiPortsChanged(change); });
    const std::string device = w.app->Devices().DeviceName(w.app->m_midiOutDevice);
    // The player has the keyboard on a slider; the news must leave it there.
    auto* amp = w.Widget<QSlider>(ctl::Dco1Amp);
    amp->setFocus();
    const QString gone = QString::fromStdString(device + " is gone: changes are not sent until it is back.");
    w.synth.reset();
    // Told in the window's notice bar and on the status line, with no box to answer.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.frame->Notices()->Text() == gone; }, 6000));
    EXPECT_EQ(w.frame->statusBar()->currentMessage(), gone);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), amp);
    EXPECT_TRUE(w.app->Devices().IsDeviceLost());

    w.synth = std::make_unique<jackprobe::Probe>(w.synthClient);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.app->Devices().IsDeviceLost(); }, 6000));
    EXPECT_EQ(w.frame->statusBar()->currentMessage().toStdString(), device + " is back: changes are sent to it again.");
    EXPECT_EQ(w.frame->Notices()->Text().toStdString(), device + " is back: changes are sent to it again.");
    // It may have missed changes or been switched off meanwhile: it is sent the whole patch first.
    EXPECT_EQ(w.synth->Collect(66).size(), 66u);
    amp->setFocus();
    QTest::keyClick(amp, Qt::Key_Right);
    ExpectHeard(w, faults, Messages{{0xB0, 0x10, 0x02}, {0xB0, 0x1D, 201 - 128}});
    OnNextMessageBox([](QMessageBox*) {}, QMessageBox::No);
    w.frame->close();
}

// The bytes end on the patch `expected`: as its last bytes, or, after an overrun of the server (the window then
// repeats what it could not confirm, with the values they have now), as the state they leave the instrument in.
bool EndsOn(const Bytes& all, const Bytes& expected, bool overran) {
    if (all.size() < expected.size()) return false;
    if (std::equal(expected.begin(), expected.end(), all.end() - static_cast<std::ptrdiff_t>(expected.size())))
        return true;
    if (!overran) return false;
    InstrumentModel heard, patch;
    heard.Take(all);
    patch.Take(expected);
    return heard.parameters == patch.parameters;
}

// A musician holds the Down arrow in the library with Audition on (30 presses 40 ms apart, as a key's
// auto-repeat), then presses Enter. Each audition gives way to the next, so the window answers at once and the
// synthesizer ends on the selected patch, sent whole, soon after the last key; no page select ever goes
// without its parameter.
TEST_F(GuiJack, AuditionWhileHoldingDownEndsOnTheSelection) {
    // 40 patches that differ in what they send, and what each one's Transmit All sends.
    TempDir dir;
    std::map<std::string, Bytes> transmission;
    for (int i = 0; i < 40; ++i) {
        Editor e;
        e.dlg.UserMovedSlider(ctl::Dco1Amp, 60 + i * 4);
        e.dlg.UserMovedSlider(ctl::Cutoff1, 250 - i * 3);
        char name[16];
        std::snprintf(name, sizeof name, "P%02d", i);
        e.dlg.UserEdited(ctl::PatchName, name);
        const std::string path = dir / (std::string(name) + ".qnp");
        WriteAll(path, EncodePatchFile(0, [&e](std::span<std::uint8_t> r) { e.dlg.WritePatchBody(r); }));
        Editor reference;
        reference.dialogs.answers = {MessageAnswer::Yes};
        ASSERT_TRUE(reference.doc.OnOpenDocument(path));
        transmission[path] = reference.ports.bytes;
    }
    MidiDump dump(jackprobe::Unique("audition-dump"));
    ASSERT_TRUE(dump.Ready());

    Window w;
    ASSERT_NO_FATAL_FAILURE(w.Start(dump.Port()));
    const std::uint64_t faults = w.ports.JackServerFaults();
    LibrarySetup setup;
    setup.userFolder = dir.path.string();
    setup.makeCache = [] { return std::make_unique<MemoryCatalogCache>(); };
    w.frame->SetLibrarySetup(std::move(setup));
    w.app->OnPatchLibrary();
    CLibraryWnd* library = w.frame->LibraryWindow();
    ASSERT_NE(library, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return library->Model()->rowCount() == 40 && !library->Indexing(); }, 20000));
    library->AuditionBox()->click();
    library->List()->setFocus();
    QTest::keyClick(library->List(), Qt::Key_Home);
    dump.Collect(66);  // the first patch, auditioned

    using SteadyClock = std::chrono::steady_clock;
    for (int i = 0; i < 30; ++i) {
        QTest::keyClick(library->List(), Qt::Key_Down);
        if (i < 29) QTest::qWait(40);
    }
    const auto lastKey = SteadyClock::now();
    SteadyClock::time_point answered{};
    // Enter opens the patch as the document: the question about transmitting it is the window's answer.
    OnNextMessageBox([&](QMessageBox*) { answered = SteadyClock::now(); }, QMessageBox::No);
    QTest::keyClick(library->List(), Qt::Key_Return);
    ASSERT_NE(answered, SteadyClock::time_point{});
    const CatalogEntry* selected = library->Model()->EntryAt(library->List()->currentIndex());
    ASSERT_NE(selected, nullptr);
    const Bytes& expected = transmission[selected->path];
    ASSERT_FALSE(expected.empty());

    // Everything that arrives until the input has been quiet a while; when the selected patch had arrived whole.
    std::vector<MidiDump::Message> got;
    Bytes all;
    SteadyClock::time_point whole{};  // none yet
    for (auto quietSince = SteadyClock::now(); SteadyClock::now() - quietSince < std::chrono::milliseconds(500);) {
        const auto more = dump.Collect(1, std::chrono::milliseconds(20));
        if (more.empty()) continue;
        quietSince = SteadyClock::now();
        got.insert(got.end(), more.begin(), more.end());
        const Bytes bytes = MidiDump::Bytes(more);
        all.insert(all.end(), bytes.begin(), bytes.end());
        if (EndsOn(all, expected, w.ports.JackServerFaults() != faults))
            whole = SteadyClock::now();
        else
            whole = {};
    }
    ASSERT_GE(all.size(), expected.size());
    if (w.ports.JackServerFaults() == faults) {
        EXPECT_EQ(Bytes(all.end() - static_cast<std::ptrdiff_t>(expected.size()), all.end()), expected);
    } else {
        EXPECT_TRUE(EndsOn(all, expected, true)) << "the server overran";
    }
    // A server that overran may have lost a parameter after its page select, and the window then repeats
    // what it sent in the second before (the end state is judged above); without a fault nothing may split a
    // pair, and most of the 30 auditions gave way: far fewer than 30 whole patches went out.
    if (w.ports.JackServerFaults() == faults) {
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (got[i].bytes[1] != kPageController) continue;
            ASSERT_LT(i + 1, got.size()) << "a page select came last";
            EXPECT_NE(got[i + 1].bytes[1], kPageController) << "a page select without its parameter at " << i;
        }
        EXPECT_LT(got.size(), 15u * expected.size() / 3);
    }
    ASSERT_NE(whole, SteadyClock::time_point{});
    const double answeredMs = std::chrono::duration<double, std::milli>(answered - lastKey).count();
    const double wholeMs = std::chrono::duration<double, std::milli>(whole - lastKey).count();
    RecordProperty("enter_answered_ms", static_cast<int>(answeredMs));
    RecordProperty("selected_patch_arrived_ms", static_cast<int>(wholeMs));
    RecordProperty("messages_arrived", static_cast<int>(got.size()));
    // The product's figures are 100 ms and 250 ms after the last key; a shared CI machine gets a margin of ten
    // and four times (the fault was 2.9 s and more).
    EXPECT_LT(answeredMs, 1000.0);
    // After an overrun the patch arrives whole only once the repeats have gone out: its time is not judged.
    if (w.ports.JackServerFaults() == faults) {
        EXPECT_LT(wholeMs, 1000.0);
    }
    // Closed here, so that an overrun of a loaded server (a close then counts messages as unsure) cannot put
    // up a report that nobody answers.
    w.app->CreatePortSink().CloseDevice();
    w.frame->close();
}

// The synthesizer, from what reaches its input, until it holds `expected` or ten seconds went by.
bool HeardUntil(MidiDump& dump, InstrumentModel& synth, const InstrumentModel::Parameters& expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (synth.parameters != expected && std::chrono::steady_clock::now() < deadline)
        synth.Take(MidiDump::Bytes(dump.Collect(1, std::chrono::milliseconds(50))));
    return synth.parameters == expected;
}

InstrumentModel::Parameters TransmitAllHolds(const PatchRecord& record) {
    Editor e;
    e.dlg.FillFromRecord(record);
    e.ports.bytes.clear();
    e.dlg.TransmitAll(false);
    InstrumentModel synth;
    synth.Take(e.ports.bytes);
    return synth.parameters;
}

TEST_F(GuiJack, AMorphSweptInASecondEndsOnBAndCancelBringsABack) {
    MidiDump dump(jackprobe::Unique("morph-dump"));
    ASSERT_TRUE(dump.Ready());
    Window w;
    ASSERT_NO_FATAL_FAILURE(w.Start(dump.Port()));
    CMainDlg& form = w.app->form();
    const PatchRecord a = form.CaptureRecord();
    // B: far from A in every slider, another filter type and waves.
    PatchRecord b = a;
    for (std::size_t slot = 1; slot < kRecordValueCount; ++slot) b.valueSlots[slot] = 255 - a.valueSlots[slot];
    for (std::size_t slot : {11u, 12u}) b.valueSlots[slot] = 15 - std::min(a.valueSlots[slot], 15);
    b.selections[StoredSelectionEntry(ctl::FilterType)] = 14;
    b.selections[StoredSelectionEntry(ctl::Dco1Wave)] = 2;
    TempDir dir;
    const std::string bPath = dir / "b.qnp";
    WriteAll(bPath, EncodePatchFile(0, [&](std::span<std::uint8_t> r) { EncodePatchRecord(b, r); }));

    InstrumentModel synth;
    form.TransmitAll(false);
    ASSERT_TRUE(HeardUntil(dump, synth, TransmitAllHolds(a)));

    w.app->OnCommand(cmd::EditMorph);
    CMorphWnd* window = w.frame->MorphWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(w.app->Sound().Morph()->LoadPatchB(bPath), std::nullopt);
    ASSERT_TRUE(window->Slider()->isEnabled());

    // From 0 to 1000 in a second, a step every 10 ms as a hand on a slider makes them.
    window->Slider()->setFocus();
    for (int step = 1; step <= 100; ++step) {
        window->Slider()->setValue(step * 10);
        QTest::qWait(10);
    }
    EXPECT_EQ(w.app->Sound().Morph()->Position(), kMorphEnd);
    EXPECT_TRUE(HeardUntil(dump, synth, TransmitAllHolds(BlendPatches(a, b, kMorphEnd))));

    // Escape cancels: A again, on the form and at the synthesizer.
    QTest::keyClick(window->Slider(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.frame->MorphWindow() == nullptr; }));
    EXPECT_EQ(form.CaptureRecord(), a);
    EXPECT_TRUE(HeardUntil(dump, synth, TransmitAllHolds(a)));
    EXPECT_FALSE(w.app->document().IsModified());
}

// ---- a random walk through the real window, checked at two JACK inputs ------------------------------------

// One synthesizer as a third party hears it: a `jack_midi_dump` process on a port of its own, which may be
// unplugged (the process ends) and plugged in again (a new one, knowing nothing, as a synthesizer switched off).
struct HeardDevice {
    explicit HeardDevice(std::string name) : client(std::move(name)) {}
    std::string client;
    std::unique_ptr<MidiDump> dump;
    InstrumentModel model;
    std::set<int> notes;             // channel << 8 | key, sounding
    std::vector<std::string> pairs;  // the page selects not followed by a parameter, where they were
    bool lastWasPage = false;
    std::size_t heard = 0;

    void PlugIn() {
        dump = std::make_unique<MidiDump>(client);
        model = {};
        notes.clear();
        lastWasPage = false;
    }
    bool Ready() const { return dump && dump->Ready(); }
    // Takes what has arrived by now, without waiting long (the window's events must go on).
    void Pump() {
        if (!dump) return;
        for (const MidiDump::Message& m : dump->TakeArrived()) {
            ++heard;
            if (m.bytes.size() < 3) continue;
            const int status = m.bytes[0] & 0xF0, channel = m.bytes[0] & 0x0F;
            const bool page = m.bytes[0] == 0xB0 && m.bytes[1] == kPageController;
            if (lastWasPage && page) pairs.push_back("two page selects at message " + std::to_string(heard));
            if (lastWasPage && m.bytes[0] != 0xB0)
                pairs.push_back("a page select alone at message " + std::to_string(heard));
            lastWasPage = page;
            if (status == 0x90 && m.bytes[2] > 0) notes.insert(channel << 8 | m.bytes[1]);
            if (status == 0x80 || (status == 0x90 && m.bytes[2] == 0)) notes.erase(channel << 8 | m.bytes[1]);
            if (status == 0xB0 && m.bytes[1] == 123) std::erase_if(notes, [&](int n) { return n >> 8 == channel; });
            model.Take(m.bytes);
        }
    }
};

// After every step of a walk: the device the window sends to holds what the form's Transmit All would leave it
// holding, and the other holds no note. Waits for it (the window's events go on) up to ten seconds.
::testing::AssertionResult Agrees(Window& w, HeardDevice& current, HeardDevice& other) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    InstrumentModel::Parameters expected;
    std::optional<PatchRecord> shown;
    for (;;) {
        QTest::qWait(2);
        current.Pump();
        other.Pump();
        // The form may still change while events run (a key's repeat), so it is read each time.
        if (const PatchRecord now = w.app->form().CaptureRecord(); now != shown) {
            shown = now;
            expected = TransmitAllHolds(now);
        }
        const bool agree = current.model.parameters == expected && other.notes.empty();
        if (agree || std::chrono::steady_clock::now() > deadline) break;
    }
    if (current.model.parameters != expected) {
        std::ostringstream diff;
        for (const auto& [controller, held] : expected) {
            auto it = current.model.parameters.find(controller);
            if (it == current.model.parameters.end())
                diff << " CC" << controller << " never heard;";
            else if (it->second != held)
                diff << " CC" << controller << " holds page " << it->second.first << " value " << it->second.second
                     << ", the form page " << held.first << " value " << held.second << ";";
        }
        const std::size_t skipped = current.dump ? current.dump->Skipped() : 0;
        if (skipped > 0) diff << " (its dump skipped " << skipped << " message(s): its own buffer was full)";
        return ::testing::AssertionFailure() << current.client << " disagrees with the form:" << diff.str();
    }
    if (!other.notes.empty())
        return ::testing::AssertionFailure() << other.client << " still sounds " << other.notes.size() << " note(s)";
    return ::testing::AssertionSuccess();
}

// Answers whatever box the walk puts up (a notice, Transmit All's question) as a user who goes on would.
void AnswerBoxes(std::vector<std::string>& told) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    told.push_back(box->text().toStdString());
    QAbstractButton* button = box->button(QMessageBox::Yes);
    if (button == nullptr) button = box->button(QMessageBox::Ok);
    if (button == nullptr) button = box->escapeButton();
    if (button != nullptr) button->click();
}

// Picks the device whose name holds `port` in the Output Device dialog that opens next, and presses OK.
void ChooseNextDevice(const std::string& port) {
    QTimer::singleShot(0, [port] {
        auto* dialog = dynamic_cast<CMidiOptionsDlg*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return ChooseNextDevice(port);
        const int at = dialog->DeviceList()->findText(QString::fromStdString(port), Qt::MatchContains);
        EXPECT_GE(at, 0) << port << " is not offered";
        dialog->DeviceList()->setCurrentIndex(at);
        dialog->accept();
    });
}

// A musician edits with the keyboard, sends the patch, plays the test note, undoes, switches between two
// synthesizers, unplugs one and plugs it in again, while the server stands still now and then as on a loaded
// machine. After every step the synthesizer the window sends to agrees with the form, the other sounds no
// note, and no page select ever reached either without its parameter. A failure names its seed and step.
TEST_F(GuiJack, RandomWalkEndsAgreeing) {
    const char* seedText = std::getenv("QUARN_WALK_SEED");
    const unsigned firstSeed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                        : static_cast<unsigned>(std::random_device{}());
    for (unsigned seed = firstSeed; seed < firstSeed + 3; ++seed) {
        SCOPED_TRACE("QUARN_WALK_SEED=" + std::to_string(seed));
        PrivateServer server("walk", 256);
        ASSERT_TRUE(server.Up());
        HeardDevice a(jackprobe::Unique("walk-a")), b(jackprobe::Unique("walk-b"));
        a.PlugIn();
        b.PlugIn();
        ASSERT_TRUE(a.Ready() && b.Ready());
        auto w = std::make_unique<Window>();
        ASSERT_NO_FATAL_FAILURE(w->Start(a.dump->Port()));
        QueuedPortChanges news(w->ports, [&](MidiPortChange change) { w->app->Devices().OnMidiPortsChanged(change); });
        std::vector<std::string> told;
        QTimer answering;
        QObject::connect(&answering, &QTimer::timeout, [&] { AnswerBoxes(told); });
        answering.start(20);

        HeardDevice* current = &a;
        HeardDevice* other = &b;
        std::mt19937 rng(seed);
        auto roll = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        const QList<QWidget*> controls = [&] {
            QList<QWidget*> all;
            for (auto* s : w->frame->Form()->findChildren<QSlider*>()) all.push_back(s);
            for (auto* c : w->frame->Form()->findChildren<QComboBox*>())
                if (!c->isEditable()) all.push_back(c);
            for (auto* c : w->frame->Form()->findChildren<QCheckBox*>()) all.push_back(c);
            return all;
        }();
        ASSERT_GT(controls.size(), 40);
        auto edit = [&](std::ostringstream& what) {
            QWidget* control = controls[roll(static_cast<int>(controls.size()))];
            control->setFocus();
            static constexpr Qt::Key kKeys[] = {Qt::Key_Right, Qt::Key_Left, Qt::Key_PageUp, Qt::Key_Down, Qt::Key_Up};
            const Qt::Key key = qobject_cast<QCheckBox*>(control) ? Qt::Key_Space : kKeys[roll(5)];
            for (int i = 1 + roll(4); i > 0; --i) QTest::keyClick(control, key);
            what << " " << control->accessibleName().toStdString();
        };

        w->app->form().TransmitAll(false);
        ASSERT_TRUE(Agrees(*w, *current, *other)) << "server faults: " << w->ports.JackServerFaults();
        for (int step = 0; step < 16; ++step) {
            std::ostringstream what;
            const std::uint64_t faultsBefore = w->ports.JackServerFaults();
            a.pairs.clear();
            b.pairs.clear();
            switch (roll(8)) {
                case 0:
                case 1:
                    what << "edit";
                    edit(what);
                    break;
                case 2: {
                    const int stall = 50 + roll(350);
                    what << "server stands still " << stall << " ms, edits meanwhile:";
                    server.Freeze();
                    edit(what);
                    QTest::qWait(stall);  // the fault itself lasts this long
                    server.Thaw();
                    break;
                }
                case 3:
                    what << "Transmit All";
                    w->app->OnCommand(cmd::TransmitAll);
                    break;
                case 4:
                    what << "test note";
                    QTest::keyClick(w->frame.get(), Qt::Key_T, Qt::ControlModifier);
                    break;
                case 5: {
                    what << "switch to " << other->client;
                    if (roll(2) == 0) {
                        what << " while the test note sounds";
                        QTest::keyClick(w->frame.get(), Qt::Key_T, Qt::ControlModifier);
                    }
                    ChooseNextDevice(other->client);
                    w->app->OnCommand(cmd::OutputDevice);
                    std::swap(current, other);
                    break;
                }
                case 6: {
                    what << "unplug " << current->client << ", edits meanwhile:";
                    current->dump.reset();
                    ASSERT_TRUE(QTest::qWaitFor([&] { return w->app->Devices().IsDeviceLost(); }, 10000)) << what.str();
                    edit(what);
                    current->PlugIn();
                    ASSERT_TRUE(current->Ready());
                    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->app->Devices().IsDeviceLost(); }, 10000))
                        << what.str();
                    break;
                }
                default:
                    what << "undo";
                    QTest::keyClick(w->frame.get(), Qt::Key_Z, Qt::ControlModifier);
                    break;
            }
            const ::testing::AssertionResult agrees = Agrees(*w, *current, *other);
            const std::uint64_t faults = w->ports.JackServerFaults() - faultsBefore;
            what << " (server faults: " << faults << ")";
            SCOPED_TRACE("step " + std::to_string(step) + ": " + what.str());
            if (std::getenv("QUARN_WALK_TELL"))
                std::fprintf(stderr, "walk %u step %d: %s\n", seed, step, what.str().c_str());
            ASSERT_TRUE(agrees);
            // A server that overran may have lost a parameter after its page select; the window then sends the
            // pair again, so only the end state is judged. Without a fault nothing may split a pair.
            if (faults == 0) {
                EXPECT_EQ(a.pairs, std::vector<std::string>{});
                EXPECT_EQ(b.pairs, std::vector<std::string>{});
            }
        }
        RecordProperty("server_faults_seed_" + std::to_string(seed), static_cast<int>(w->ports.JackServerFaults()));
        answering.stop();
        w->app->CreatePortSink().CloseDevice();
        w->app->document().SetModifiedFlag(false);
        w->frame->close();
    }
}

}  // namespace
