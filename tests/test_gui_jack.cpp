// The real window, its real dialogs and a real JACK input standing in for the synthesizer: what the user
// does with the keyboard reaches the instrument, closing asks before an edit is lost, and undo is heard.
// Run under Xvfb by CTest.
#include "EditorRig.h"
#include "GuiHelpers.h"
#include "JackProbe.h"

#include "app/Commands.h"
#include "platform/QtClock.h"
#include "platform/QueuedPortChanges.h"
#include "platform/SleepPause.h"
#include "ui/CMainFrame.h"
#include "ui/FormWidget.h"
#include "ui/QtUserDialogs.h"

#include <QSlider>
#include <QStatusBar>
#include <QTest>

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
    SleepPause pause;
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

    // Starts with the default patch, not transmitted, and the window active.
    void Start() {
        const int device = jackprobe::FindDevice(ports, synth->Port());
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

TEST_F(GuiJack, AnEditIsHeardClosingAsksAndUndoIsHeard) {
    Window w;
    ASSERT_NO_FATAL_FAILURE(w.Start());
    ASSERT_EQ(w.app->form().m_dco1Amp, 200);  // "Init Saw"

    auto* amp = w.Widget<QSlider>(ctl::Dco1Amp);
    amp->setFocus();
    QTest::keyClick(amp, Qt::Key_Right);
    EXPECT_EQ(w.synth->Collect(2), (Messages{{0xB0, 0x10, 0x02}, {0xB0, 0x1D, 201 - 128}}));
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
    EXPECT_EQ(w.synth->Collect(2), (Messages{{0xB0, 0x10, 0x02}, {0xB0, 0x1D, 200 - 128}}));

    OnNextMessageBox([](QMessageBox*) {}, QMessageBox::No);
    w.frame->close();
    EXPECT_FALSE(w.frame->isVisible());
}

TEST_F(GuiJack, CtrlTPlaysTheTestNote) {
    Window w;
    ASSERT_NO_FATAL_FAILURE(w.Start());
    const auto started = std::chrono::steady_clock::now();
    QTest::keyClick(w.frame.get(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(w.synth->Collect(1, std::chrono::milliseconds(200)), (Messages{{0x90, 0x3C, 0x64}}));
    // The window goes on while the note sounds; the note ends by itself.
    QTest::qWait(700);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
    EXPECT_EQ(w.synth->Collect(1), (Messages{{0x80, 0x3C, 0x40}}));
    w.frame->close();
}

// The synthesizer's client quits in the middle of a session and comes back: the user is told once, nothing is
// sent meanwhile, and afterwards the window sends to it again by itself.
TEST_F(GuiJack, SynthQuitsToldOnceHeardWhenBack) {
    Window w;
    ASSERT_NO_FATAL_FAILURE(w.Start());
    QueuedPortChanges news(w.ports, [&](MidiPortChange change) { w.app->Devices().OnMidiPortsChanged(change); });
    const std::string device = w.app->Devices().DeviceName(w.app->m_midiOutDevice);
    int boxes = 0;
    OnNextMessageBox(
        [&](QMessageBox* box) {
            ++boxes;
            EXPECT_EQ(box->text().toStdString(), device + " is gone: changes are not sent until it is back.");
        },
        QMessageBox::Ok);
    w.synth.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes == 1; }, 6000));
    QTest::qWait(300);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(w.app->Devices().IsDeviceLost());

    w.synth = std::make_unique<jackprobe::Probe>(w.synthClient);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.app->Devices().IsDeviceLost(); }, 6000));
    EXPECT_EQ(w.frame->statusBar()->currentMessage().toStdString(), device + " is back: changes are sent to it again.");
    auto* amp = w.Widget<QSlider>(ctl::Dco1Amp);
    amp->setFocus();
    QTest::keyClick(amp, Qt::Key_Right);
    EXPECT_EQ(w.synth->Collect(2), (Messages{{0xB0, 0x10, 0x02}, {0xB0, 0x1D, 201 - 128}}));
    EXPECT_EQ(boxes, 1);
    OnNextMessageBox([](QMessageBox*) {}, QMessageBox::No);
    w.frame->close();
}

}  // namespace
