// The real window, its real dialogs and a real JACK input standing in for the synthesizer: what the user
// does with the keyboard reaches the instrument, closing asks before an edit is lost, and undo is heard.
// Run under Xvfb by CTest.
#include "EditorRig.h"
#include "GuiHelpers.h"
#include "JackProbe.h"

#include "app/Commands.h"
#include "platform/QtClock.h"
#include "platform/SleepPause.h"
#include "ui/CMainFrame.h"
#include "ui/FormWidget.h"
#include "ui/QtUserDialogs.h"

#include <QSlider>
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

TEST_F(GuiJack, AnEditIsHeardClosingAsksAndUndoIsHeard) {
    RtMidiPorts ports;
    SleepPause pause;
    jackprobe::Probe synth(jackprobe::Unique("gui"));
    MapProfile profile;
    profile.ints["Options/MIDI Output"] = jackprobe::FindDevice(ports, synth.Port());
    ASSERT_GE(profile.ints["Options/MIDI Output"], 0);
    QtUserDialogs dialogs;
    DirLocation location;
    location.dir = QUARN_PROGRAM_DIR "/";
    NoLibraries libraries;
    QtClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app({ports, pause, profile, dialogs, location, libraries, clock, recovery});
    CMainFrame frame(app);
    dialogs.SetMainWindow(&frame);
    frame.SetFormCreatedHandler([&](FormWidget& form) { dialogs.SetForm(&form); });

    // The default patch asks whether to transmit it: not now.
    OnNextMessageBox([](QMessageBox* box) { EXPECT_EQ(box->windowTitle(), "Question"); }, QMessageBox::No);
    ASSERT_TRUE(app.InitInstance(frame, std::nullopt));
    ASSERT_EQ(app.form().m_dco1Amp, 200);  // "Init Saw"

    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    auto* amp = qobject_cast<QSlider*>(frame.Form()->WidgetForId(ctl::Dco1Amp));
    amp->setFocus();
    QTest::keyClick(amp, Qt::Key_Right);
    EXPECT_EQ(synth.Collect(2), (Messages{{0xB0, 0x10, 0x02}, {0xB0, 0x1D, 201 - 128}}));
    EXPECT_EQ(frame.windowHandle()->title(), "Untitled* - QuarnEdit");

    // Closing asks; Cancel keeps the window and the edit.
    OnNextMessageBox(
        [](QMessageBox* box) {
            EXPECT_EQ(box->text(), "Save changes to Untitled?");
            EXPECT_EQ(box->windowTitle(), "QuarnEdit");
        },
        QMessageBox::Cancel);
    frame.close();
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(app.form().m_dco1Amp, 201);

    // Ctrl+Z, from the slider that still has the focus: the value goes back, and the synthesizer hears it.
    QTest::keyClick(amp, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(amp->value(), 200);
    EXPECT_EQ(synth.Collect(2), (Messages{{0xB0, 0x10, 0x02}, {0xB0, 0x1D, 200 - 128}}));

    OnNextMessageBox([](QMessageBox*) {}, QMessageBox::No);
    frame.close();
    EXPECT_FALSE(frame.isVisible());
}

}  // namespace
