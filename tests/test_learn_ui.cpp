// SPDX-License-Identifier: GPL-3.0-or-later
// Controller learn in the window: the form's context menus, the status line, Escape, the Controllers dialog.
#include "ContextMenus.h"
#include "EditorRig.h"
#include "GuiHelpers.h"

#include "app/Commands.h"
#include "app/ControllerLearn.h"
#include "app/InputDeviceSession.h"

#include "ui/CControllersDlg.h"
#include "ui/CMainFrame.h"
#include "ui/CMorphWnd.h"
#include "ui/ControllerMenu.h"
#include "ui/FormWidget.h"
#include "ui/NoticeBar.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>

namespace {

const auto* const kFolders = ::testing::AddGlobalTestEnvironment(new HermeticFolders);

struct LearnWindow : ::testing::Test, EditorRig {
    std::unique_ptr<CMainFrame> frame;
    FakeInputPorts inputs;
    std::string what;

    void SetUp() override {
        Gui();
        location.dir = QUARN_PROGRAM_DIR "/";
        // "Knobs B" is the input device.
        app.Inputs().SetPorts(&inputs);
        profile.ints["Options/MIDI Input"] = 1;
        profile.strings["Options/MIDI Input Name"] = "Knobs B";
        frame = std::make_unique<CMainFrame>(app);
        frame->SetFormCreatedHandler([this](FormWidget& form) { app.form().SetWindow(&form); });
        ASSERT_TRUE(app.InitInstance(*frame, std::nullopt));
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        ports.bytes.clear();
    }
    void TearDown() override {
        app.form().SetWindow(nullptr);
        frame.reset();
        app.Inputs().SetPorts(nullptr);
    }
    QWidget* Widget(int id) const { return frame->Form()->WidgetForId(id); }
    QString Status() const { return frame->statusBar()->currentMessage(); }
    // A right-click on a control, as the window system reports it.
    void RightClick(QWidget* widget) {
        QContextMenuEvent click(QContextMenuEvent::Mouse, widget->rect().center(),
                                widget->mapToGlobal(widget->rect().center()));
        QApplication::sendEvent(widget, &click);
    }
    // The frame that marks the control a learn waits for, among `parent`'s children; null when there is none.
    static QFrame* LearnMark(QWidget* parent) {
        return parent->findChild<QFrame*>(QStringLiteral("quarn-learn-mark"), Qt::FindDirectChildrenOnly);
    }
    bool Knob(int controller, int value) {
        return app.Controllers().OnInputControlChange(0, controller, value, 0, what);
    }
};

TEST_F(LearnWindow, ARightClickLearnsTheNextKnobWhichThenMovesTheSlider) {
    auto* amp = qobject_cast<QSlider*>(Widget(ctl::Dco1Amp));
    ASSERT_NE(amp, nullptr);
    const QString described = amp->accessibleDescription();
    MenuAnswer menu;
    OnNextMenu(menu, QStringLiteral("&Learn Controller"));
    RightClick(amp);
    EXPECT_TRUE(menu.opened);
    EXPECT_EQ(menu.offered, QStringList{QStringLiteral("&Learn Controller")});
    EXPECT_EQ(Status(), QStringLiteral("Move a knob or slider for DCO1 Amp. on your controller..."));
    EXPECT_TRUE(frame->statusBar()->isVisible());
    // The control that waits is marked, for the eye around it and for a screen reader in its description.
    QFrame* mark = LearnMark(frame->Form());
    ASSERT_NE(mark, nullptr);
    EXPECT_TRUE(mark->isVisible());
    EXPECT_TRUE(mark->geometry().contains(amp->geometry()));
    EXPECT_TRUE(mark->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(amp->accessibleDescription(), LearnWaitingDescription());
    Shot(frame.get(), "learn-waiting.png");

    // The message that binds moves the slider too.
    ASSERT_TRUE(Knob(74, 3));
    EXPECT_EQ(Status(), QStringLiteral("CC 74 on channel 1 now moves DCO1 Amp."));
    EXPECT_EQ(amp->value(), 6);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {29, 6}}));
    EXPECT_EQ(LearnMark(frame->Form()), nullptr);
    EXPECT_NE(amp->accessibleDescription(), LearnWaitingDescription());
    EXPECT_EQ(amp->accessibleDescription(), described);
    ports.bytes.clear();
    ASSERT_TRUE(Knob(74, 64));
    EXPECT_EQ(amp->value(), 128);
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {29, 0}}));
    EXPECT_TRUE(frame->isWindowModified());

    // Now the menu offers to forget it too, and names it.
    MenuAnswer second;
    OnNextMenu(second, QStringLiteral("&Forget Controller (CC 74)"));
    RightClick(amp);
    EXPECT_EQ(second.offered,
              (QStringList{QStringLiteral("&Learn Controller"), QStringLiteral("&Forget Controller (CC 74)")}));
    EXPECT_EQ(Status(), QStringLiteral("CC 74 on channel 1 no longer moves DCO1 Amp."));
    EXPECT_FALSE(Knob(74, 0));
    EXPECT_EQ(amp->value(), 128);
}

TEST_F(LearnWindow, EscapeOrASecondRightClickCancelsALearn) {
    QWidget* box = Widget(ctl::Dco2KeyFollow);
    // The keyboard opens the same menu.
    box->setFocus();
    MenuAnswer menu;
    OnNextMenu(menu, QStringLiteral("&Learn Controller"));
    QTest::keyClick(box, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(menu.opened);
    ASSERT_TRUE(app.Controllers().IsLearning());
    // The offscreen platform leaves the closed menu's window active, where a desktop gives the window back.
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(app.Controllers().IsLearning());
    EXPECT_EQ(Status(), QStringLiteral("Learn Controller cancelled."));
    EXPECT_FALSE(Knob(75, 127));

    // A second right-click, anywhere on the form, opens no menu but ends the learn.
    app.Controllers().BeginLearn(ctl::FilterType);
    RightClick(Widget(ctl::PatchName));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_FALSE(app.Controllers().IsLearning());
    // With no learn waiting, a text box keeps its own menu and Escape is the window's again.
    MenuAnswer own;
    OnNextMenu(own, QString());
    RightClick(Widget(ctl::PatchName));
    EXPECT_TRUE(QTest::qWaitFor([&] { return own.opened; }));
    EXPECT_FALSE(own.offered.contains(QStringLiteral("&Learn Controller")));
}

TEST_F(LearnWindow, ALearnBegunInTheMorphWindowIsSaidAndMarkedThere) {
    app.OnCommand(cmd::EditMorph);
    CMorphWnd* morph = frame->MorphWindow();
    ASSERT_NE(morph, nullptr);
    QSlider* slider = morph->Slider();
    // As its context menu begins it (test_morph_ui).
    app.Controllers().BeginLearn(kMorphPositionTarget);
    ASSERT_EQ(app.Controllers().LearningTarget(), kMorphPositionTarget);
    const QString prompt = QStringLiteral("Move a knob or slider for Morph position on your controller...");
    EXPECT_TRUE(morph->LearnNote()->isVisible());
    EXPECT_EQ(morph->LearnNote()->text(), prompt);
    EXPECT_EQ(slider->accessibleDescription(), LearnWaitingDescription());
    ASSERT_NE(LearnMark(morph), nullptr);
    EXPECT_TRUE(LearnMark(morph)->geometry().contains(slider->geometry()));
    // Nothing of the form is marked meanwhile.
    EXPECT_EQ(LearnMark(frame->Form()), nullptr);
    Shot(morph, "learn-morph.png");

    ASSERT_TRUE(Knob(1, 0));
    EXPECT_EQ(morph->LearnNote()->text(), QStringLiteral("CC 1 on channel 1 now moves Morph position."));
    EXPECT_EQ(LearnMark(morph), nullptr);
    EXPECT_NE(slider->accessibleDescription(), LearnWaitingDescription());
    // A learn begun on the form is the main window's: the morph window's note goes.
    app.Controllers().BeginLearn(ctl::Env1Attack);
    EXPECT_FALSE(morph->LearnNote()->isVisible());
    EXPECT_NE(LearnMark(frame->Form()), nullptr);
    app.Controllers().CancelLearn();
    EXPECT_EQ(LearnMark(frame->Form()), nullptr);
}

TEST_F(LearnWindow, ADeviceThatGoesIsToldInABarThatLeavesThePlayerTheKeyboard) {
    auto* amp = qobject_cast<QSlider*>(Widget(ctl::Dco1Amp));
    amp->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), amp);
    NoticeBar* bar = frame->Notices();
    EXPECT_FALSE(bar->isVisible());
    const QSize size = frame->size();

    inputs.names = {"Keys A"};
    app.Inputs().OnMidiPortsChanged(MidiPortChange::ListChanged);
    const QString gone = QStringLiteral("Knobs B is gone: what it plays is read again when it is back.");
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->Text(), gone);
    EXPECT_EQ(Status(), gone);
    // No box, and the keys still go to the slider the player was on.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), amp);
    QTest::keyClick(amp, Qt::Key_Right);
    EXPECT_EQ(amp->value(), 201);
    EXPECT_EQ(frame->size(), size);  // the window does not grow: the form scrolls
    Shot(frame.get(), "notice.png");

    // For the keyboard and a screen reader: Tab reaches the text and the Close button, which closes the bar.
    QToolButton* close = bar->CloseButton();
    EXPECT_EQ(close->accessibleName(), QStringLiteral("Close notice"));
    EXPECT_EQ(bar->accessibleName(), QStringLiteral("Notice"));
    bool reached = false;
    for (QWidget* w = amp->nextInFocusChain(); w != amp && !reached; w = w->nextInFocusChain()) reached = w == close;
    EXPECT_TRUE(reached);
    close->setFocus();
    QTest::keyClick(close, Qt::Key_Space);
    EXPECT_FALSE(bar->isVisible());

    // Back: said the same way.
    inputs.names = {"Keys A", "Knobs B"};
    app.Inputs().OnMidiPortsChanged(MidiPortChange::ListChanged);
    EXPECT_EQ(bar->Text(), QStringLiteral("Knobs B is back: what it plays is read again."));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(LearnWindow, TheControllersDialogRemovesTheSelectedRows) {
    CControllersDlg dialog(
        {{74, 1, "DCO1 Amp.", false}, {7, 2, "Filter Type / routing", true}, {1, 16, "Boost", false}});
    QTreeWidget* list = dialog.List();
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("CC 7/39"));
    EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("2"));
    EXPECT_EQ(list->accessibleName(), QStringLiteral("Learned controllers"));
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    list->setFocus();
    list->setCurrentItem(list->topLevelItem(1));
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->topLevelItemCount(), 2);
    // The focus stays on the row that moved up, which the Remove button then takes.
    EXPECT_EQ(list->currentItem()->text(2), QStringLiteral("Boost"));
    dialog.RemoveButton()->click();
    EXPECT_EQ(dialog.Removed(), (std::vector<std::size_t>{1, 2}));
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("DCO1 Amp."));
}

}  // namespace
