// SPDX-License-Identifier: GPL-3.0-or-later
// The morph and variations windows worked from the keyboard: B chosen from the library, the slider moved with
// the keys, variations auditioned by number, and Escape leaving the synthesizer on the form's patch.
#include "ContextMenus.h"
#include "EditorRig.h"
#include "GuiHelpers.h"
#include "InstrumentModel.h"

#include "app/Commands.h"
#include "app/ControllerLearn.h"
#include "app/DocumentLibraryHost.h"
#include "editor/Morph.h"
#include "editor/Variations.h"
#include "ui/CMainFrame.h"
#include "ui/CMidiMonitorWnd.h"
#include "ui/CMorphWnd.h"
#include "ui/CVariationsWnd.h"
#include "ui/FormWidget.h"

#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

const auto* const kFolders = ::testing::AddGlobalTestEnvironment(new HermeticFolders);

void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::activePopupWidget();
    if (target == nullptr) target = QApplication::focusWidget();
    if (target == nullptr) target = QApplication::activeWindow();
    ASSERT_NE(target, nullptr) << "nothing has the keyboard";
    QTest::keyClick(target, key, modifiers);
}

bool HasKeyboard(QWidget* window) {
    return QTest::qWaitFor([window] {
        QWidget* focus = QApplication::focusWidget();
        return focus != nullptr && focus->window() == window;
    });
}

struct WindowTest : ::testing::Test, EditorRig {
    std::unique_ptr<CMainFrame> frame;
    InstrumentModel synth;

    void SetUp() override {
        Gui();
        location.dir = QUARN_PROGRAM_DIR "/";  // where default.qnp is
        frame = std::make_unique<CMainFrame>(app);
        frame->SetFormCreatedHandler([this](FormWidget& form) { app.form().SetWindow(&form); });
        ASSERT_TRUE(app.InitInstance(*frame, std::nullopt));
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        dlg.TransmitAll(false);
    }
    void TearDown() override {
        app.form().SetWindow(nullptr);
        frame.reset();
    }
    // The synthesizer holds what Transmit All of the form would leave it with.
    bool SynthesizerAgrees() {
        synth.Take(std::exchange(ports.bytes, {}));
        const InstrumentModel::Parameters held = synth.parameters;
        dlg.TransmitAll(false);
        synth.Take(std::exchange(ports.bytes, {}));
        return held == synth.parameters;
    }
    void Menu(Qt::Key item) {
        Key(Qt::Key_E, Qt::AltModifier);
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000));
        Key(item);
    }
};

TEST_F(WindowTest, MorphFromTheLibraryWithTheKeysThenKeepOrEscape) {
    // Two patches in the library, the second louder.
    const std::string user = (std::filesystem::path(std::getenv("HOME")) / "patches").string();
    app.Library().SetUserFolder(user);
    const PatchRecord a = dlg.CaptureRecord();
    dlg.UserEdited(ctl::PatchName, "Loud");
    dlg.UserMovedSlider(ctl::Env1Attack, 200);
    ASSERT_TRUE(app.OnCommand(cmd::SaveToLibrary));
    app.OnCommand(cmd::EditUndo);
    app.OnCommand(cmd::EditUndo);
    ASSERT_EQ(dlg.CaptureRecord(), a);
    LibrarySetup setup;
    setup.userFolder = user;
    frame->SetLibrarySetup(setup);
    ASSERT_TRUE(SynthesizerAgrees());

    Menu(Qt::Key_O);
    CMorphWnd* morph = frame->MorphWindow();
    ASSERT_NE(morph, nullptr);
    ASSERT_TRUE(HasKeyboard(morph));
    EXPECT_EQ(QApplication::focusWidget(), morph->LibraryList());
    EXPECT_EQ(morph->LibraryList()->accessibleName(), "Patch B from the library");
    ASSERT_TRUE(QTest::qWaitFor([&] { return morph->LibraryListed(); }));
    EXPECT_EQ(morph->LibraryList()->count(), 1);
    EXPECT_FALSE(morph->Slider()->isEnabled());
    // What waits for B, out of the Tab order, says so; the list that has the focus says it when the window opens.
    EXPECT_EQ(morph->LibraryList()->accessibleDescription(), "Choose patch B first: the slider and Keep wait for it.");
    EXPECT_EQ(morph->Slider()->accessibleDescription(), "choose patch B first");
    EXPECT_EQ(morph->KeepButton()->accessibleDescription(), "choose patch B first");
    // Browsing chooses B and keeps the list's focus; Enter goes on to the slider.
    Key(Qt::Key_Down);
    ASSERT_TRUE(app.Sound().Morph()->HasPatchB());
    EXPECT_EQ(QApplication::focusWidget(), morph->LibraryList());
    Key(Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), morph->Slider());
    EXPECT_EQ(frame->MorphWindow(), morph);
    EXPECT_EQ(morph->LibraryList()->accessibleDescription(), "");
    EXPECT_EQ(morph->Slider()->accessibleDescription(), "0.0 % B");
    EXPECT_EQ(morph->KeepButton()->accessibleDescription(), "");
    Key(Qt::Key_End);
    EXPECT_EQ(app.Sound().Morph()->Position(), kMorphEnd);
    EXPECT_EQ(dlg.m_env1Attack, 200);
    EXPECT_EQ(qobject_cast<QSlider*>(frame->Form()->WidgetForId(ctl::Env1Attack))->value(), 200);
    for (int i = 0; i < 5; ++i) Key(Qt::Key_PageDown);
    EXPECT_EQ(app.Sound().Morph()->Position(), 500);
    // A controller moves the morph: the window follows.
    app.Sound().Morph()->SetPosition(700);
    EXPECT_EQ(morph->Slider()->value(), 700);
    Shot(morph, "morph.png");
    // Its slider learns a knob as the form's sliders do; Escape then first ends the learn, and the window stays.
    MenuAnswer learnMenu;
    OnNextMenu(learnMenu, QStringLiteral("&Learn Controller"));
    QContextMenuEvent click(QContextMenuEvent::Mouse, morph->Slider()->rect().center(),
                            morph->Slider()->mapToGlobal(morph->Slider()->rect().center()));
    QApplication::sendEvent(morph->Slider(), &click);
    EXPECT_TRUE(learnMenu.opened);
    EXPECT_EQ(app.Controllers().LearningTarget(), kMorphPositionTarget);
    morph->activateWindow();
    ASSERT_TRUE(HasKeyboard(morph));
    Key(Qt::Key_Escape);
    EXPECT_FALSE(app.Controllers().IsLearning());
    EXPECT_EQ(frame->MorphWindow(), morph);

    Key(Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->MorphWindow() == nullptr; }));
    EXPECT_EQ(app.Sound().Morph(), nullptr);
    EXPECT_EQ(dlg.CaptureRecord(), a);
    EXPECT_TRUE(SynthesizerAgrees());

    // Again, B offered as it was, kept with its mnemonic: one step to undo. Tab goes from the list to the slider.
    frame->activateWindow();
    ASSERT_TRUE(HasKeyboard(frame.get()));
    Menu(Qt::Key_O);
    morph = frame->MorphWindow();
    ASSERT_NE(morph, nullptr);
    ASSERT_TRUE(HasKeyboard(morph));
    ASSERT_TRUE(QTest::qWaitFor([&] { return morph->LibraryListed(); }));
    EXPECT_EQ(morph->LibraryList()->currentIndex(), 0);
    EXPECT_TRUE(morph->Slider()->isEnabled());
    EXPECT_EQ(dlg.CaptureRecord(), a);
    Key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), morph->Slider());
    Key(Qt::Key_End);
    Key(Qt::Key_K, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->MorphWindow() == nullptr; }));
    EXPECT_EQ(dlg.m_env1Attack, 200);
    EXPECT_EQ(dlg.UndoName(), "Morph");
    EXPECT_TRUE(SynthesizerAgrees());
}

// "From a file..." starts in the patch folder, and a file that is no patch is told as File > Open tells one.
TEST_F(WindowTest, MorphTellsWhyAFileIsNoPatch) {
    const std::filesystem::path bad = std::filesystem::path(std::getenv("HOME")) / "broken.qnp";
    std::ofstream(bad) << "not a patch";
    LibrarySetup setup;
    setup.userFolder = (std::filesystem::path(std::getenv("HOME")) / "patches").string();
    frame->SetLibrarySetup(setup);
    app.OnCommand(cmd::EditMorph);
    CMorphWnd* morph = frame->MorphWindow();
    ASSERT_NE(morph, nullptr);
    dialogs.openPaths = {bad.string()};
    morph->FileButton()->click();
    ASSERT_FALSE(dialogs.fileRequests.empty());
    EXPECT_EQ(dialogs.fileRequests.back().initialPath, setup.userFolder);
    EXPECT_EQ(morph->Message()->text().toStdString(),
              "Patch B could not be read from " + bad.string() + ": Not a QuarnEdit Patch.");
    EXPECT_FALSE(morph->Slider()->isEnabled());
    morph->close();
    EXPECT_EQ(app.Sound().Morph(), nullptr);
}

TEST_F(WindowTest, AMorphOutlivingItsWindowMovesOnWithoutIt) {
    app.OnCommand(cmd::EditMorph);
    ASSERT_NE(frame->MorphWindow(), nullptr);
    PatchRecord b = dlg.CaptureRecord();
    b.valueSlots[13] = 255 - b.valueSlots[13];
    app.Sound().Morph()->SetPatchB(b, "B");
    delete frame->MorphWindow();  // gone, never closed
    EXPECT_EQ(frame->MorphWindow(), nullptr);
    EXPECT_TRUE(app.Sound().SetMorphPosition(kMorphEnd));
    EXPECT_EQ(dlg.m_env1Attack, b.valueSlots[13]);
    app.Sound().EndMorph(false);
    EXPECT_NE(dlg.m_env1Attack, b.valueSlots[13]);
    EXPECT_TRUE(SynthesizerAgrees());
}

TEST_F(WindowTest, VariationsByNumberBreedBackAndEscape) {
    const PatchRecord patch = dlg.CaptureRecord();
    app.Sound().SetRandomSeed(11);
    Menu(Qt::Key_V);
    CVariationsWnd* window = frame->VariationsWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(HasKeyboard(window));
    VariationSession* v = app.Sound().Variations();
    ASSERT_NE(v, nullptr);
    EXPECT_FALSE(window->BreedButton()->isEnabled());
    // Until a pick, what waits for it says so, and so does the button that has the focus when the window opens.
    EXPECT_EQ(window->BreedButton()->accessibleDescription(), "pick a variation first");
    EXPECT_EQ(window->KeepButton()->accessibleDescription(), "pick a variation first");
    EXPECT_EQ(window->Variation(0)->accessibleDescription(), "Breed and Keep wait for a pick");
    // It tells its keys and how the rounds are made.
    EXPECT_TRUE(window->Keys()->text().contains("Ctrl+1 to 8")) << window->Keys()->text().toStdString();
    EXPECT_EQ(window->Settings()->text(), "Amount 10 %, all sections (as Mutate... sets them)");
    EXPECT_EQ(window->Playing()->text(), "Playing: the patch (press a number)");

    Key(Qt::Key_3);
    const VariationSession::Round first = v->Variations();
    EXPECT_EQ(window->BreedButton()->accessibleDescription(), "");
    EXPECT_EQ(window->Variation(0)->accessibleDescription(), "");
    EXPECT_EQ(v->Chosen(), std::optional<std::size_t>(2));
    EXPECT_TRUE(window->Variation(2)->isChecked());
    EXPECT_EQ(window->Variation(2)->accessibleName(), "Variation 3");
    EXPECT_EQ(window->Variation(2)->accessibleDescription(), "first pick, playing");
    // The form shows what plays, and takes no edit meanwhile.
    EXPECT_EQ(dlg.CaptureRecord(), SoundIn(first[2], patch));
    auto* attack = qobject_cast<QSlider*>(frame->Form()->WidgetForId(ctl::Env1Attack));
    EXPECT_EQ(attack->value(), first[2].valueSlots[13]);
    EXPECT_TRUE(SynthesizerAgrees());
    dlg.UserMovedSlider(ctl::Env1Attack, first[2].valueSlots[13] == 5 ? 6 : 5);
    EXPECT_EQ(dlg.CaptureRecord(), SoundIn(first[2], patch));
    EXPECT_EQ(frame->statusBar()->currentMessage(), "A variation is shown: Keep or Close it in the Variations window.");

    // The second pick differs from the first in its words and its type, on screen and to a screen reader.
    Key(Qt::Key_5, Qt::ControlModifier);
    EXPECT_EQ(v->Second(), std::optional<std::size_t>(4));
    EXPECT_EQ(window->Round()->text(), "Round 1: variation 3 and 5");
    EXPECT_EQ(window->Playing()->text(), "Playing: variation 5");
    EXPECT_EQ(window->Variation(2)->text(), "3\nfirst");
    EXPECT_EQ(window->Variation(4)->text(), QStringLiteral("\u25B6 5\nsecond"));
    EXPECT_TRUE(window->Variation(2)->font().bold());
    EXPECT_TRUE(window->Variation(4)->font().italic());
    EXPECT_FALSE(window->Variation(4)->font().bold());
    EXPECT_EQ(window->Variation(2)->accessibleDescription(), "first pick");
    EXPECT_EQ(window->Variation(4)->accessibleDescription(), "second pick, playing");
    EXPECT_EQ(dlg.CaptureRecord(), SoundIn(first[4], patch));
    EXPECT_TRUE(SynthesizerAgrees());
    Shot(window, "variations.png");

    Key(Qt::Key_B, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->RoundNumber() == 2; }));
    EXPECT_EQ(window->Round()->text(), "Round 2");
    EXPECT_EQ(window->Playing()->text(), "Playing: variation 5 of round 1");
    EXPECT_EQ(window->BreedButton()->accessibleDescription(), "pick a variation first");
    EXPECT_TRUE(window->KeepButton()->isEnabled());
    EXPECT_TRUE(window->BackButton()->isEnabled());
    Key(Qt::Key_7);
    EXPECT_TRUE(SynthesizerAgrees());
    Key(Qt::Key_A, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->RoundNumber() == 1; }));
    EXPECT_EQ(v->Variations(), first);
    // Back plays the round's last pick again.
    EXPECT_EQ(window->Playing()->text(), "Playing: variation 5");
    EXPECT_EQ(dlg.CaptureRecord(), SoundIn(first[4], patch));
    EXPECT_TRUE(SynthesizerAgrees());

    Key(Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->VariationsWindow() == nullptr; }));
    EXPECT_EQ(app.Sound().Variations(), nullptr);
    EXPECT_EQ(dlg.CaptureRecord(), patch);
    EXPECT_FALSE(dlg.CanUndo());
    EXPECT_TRUE(SynthesizerAgrees());

    // Again, two picks, then Keep: the last heard stays.
    frame->activateWindow();
    ASSERT_TRUE(HasKeyboard(frame.get()));
    Menu(Qt::Key_V);
    window = frame->VariationsWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(HasKeyboard(window));
    v = app.Sound().Variations();
    Key(Qt::Key_2);
    Key(Qt::Key_8, Qt::ControlModifier);
    const PatchRecord eighth = SoundIn(v->Variations()[7], patch);
    Key(Qt::Key_K, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->VariationsWindow() == nullptr; }));
    EXPECT_EQ(dlg.CaptureRecord(), eighth);
    EXPECT_EQ(dlg.UndoName(), "Variation");
    EXPECT_TRUE(SynthesizerAgrees());
}

// Cancel to the save question of New or Exit leaves the variations window open, playing what it played.
TEST_F(WindowTest, ACancelledNewOrExitLeavesTheVariationsWindowOpen) {
    dlg.UserMovedSlider(ctl::Env1Attack, 77);
    app.OnCommand(cmd::EditVariations);
    CVariationsWnd* window = frame->VariationsWindow();
    ASSERT_NE(window, nullptr);
    window->Variation(3)->click();
    const PatchRecord shown = dlg.CaptureRecord();
    app.OnCommand(cmd::FileNew);  // answered Cancel
    frame->close();               // Exit, answered Cancel
    EXPECT_TRUE(frame->isVisible());
    ASSERT_EQ(frame->VariationsWindow(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Playing()->text(), "Playing: variation 4");
    EXPECT_EQ(dlg.CaptureRecord(), shown);
    EXPECT_TRUE(SynthesizerAgrees());
    window->close();
}

// Morph, Variations and the monitor open where the editor's menu stays in sight, on the screen; the monitor's
// lines wrap rather than run out of sight.
TEST_F(WindowTest, ToolWindowsOpenBesideTheEditorNeverOverItsMenu) {
    const QRect desktop = frame->screen()->availableGeometry();
    const QRect menu(frame->menuBar()->mapToGlobal(QPoint(0, 0)), frame->menuBar()->size());
    const auto check = [&](QWidget* window, const char* name) {
        ASSERT_NE(window, nullptr) << name;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window)) << name;
        EXPECT_TRUE(desktop.contains(window->frameGeometry())) << name;
        EXPECT_FALSE(window->frameGeometry().intersects(menu)) << name;
    };
    app.OnCommand(cmd::EditMorph);
    check(frame->MorphWindow(), "morph");
    frame->MorphWindow()->close();
    app.OnCommand(cmd::EditVariations);
    check(frame->VariationsWindow(), "variations");
    if (const char* folder = std::getenv("QUARN_SCREENSHOTS"))
        frame->screen()->grabWindow(0).save(QString::fromUtf8(folder) + "/beside.png");
    frame->VariationsWindow()->close();
    app.OnCommand(cmd::MidiMonitor);
    CMidiMonitorWnd* monitor = frame->MonitorWindow();
    check(monitor, "monitor");
    dlg.UserMovedSlider(ctl::Dco1Amp, 17);
    monitor->Update();
    monitor->Lines()->appendPlainText(QString(160, QLatin1Char('x')));
    QApplication::processEvents();
    Shot(monitor, "monitor.png");
    EXPECT_EQ(monitor->Lines()->horizontalScrollBar()->maximum(), 0);

    // Where there is no room beside, below the menu; to the right where there is.
    const QRect editor(100, 50, 700, 500);
    EXPECT_EQ(CMainFrame::BesidePosition(editor, 80, QSize(300, 200), QRect(0, 0, 1200, 800)), QPoint(808, 50));
    EXPECT_EQ(CMainFrame::BesidePosition(editor, 80, QSize(300, 200), QRect(0, 0, 900, 800)), QPoint(500, 88));
    EXPECT_EQ(CMainFrame::BesidePosition(QRect(400, 50, 500, 500), 80, QSize(300, 200), QRect(0, 0, 900, 800)),
              QPoint(92, 50));
    // A window taller than the room below the menu stays on the screen.
    EXPECT_EQ(CMainFrame::BesidePosition(editor, 80, QSize(300, 780), QRect(0, 0, 900, 800)), QPoint(500, 20));
}

}  // namespace
