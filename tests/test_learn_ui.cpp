// SPDX-License-Identifier: GPL-3.0-or-later
// Controller learn in the window: the form's context menus, the status line, Escape, the Controllers dialog.
#include "ContextMenus.h"
#include "EditorRig.h"
#include "GuiHelpers.h"

#include "app/InputDeviceSession.h"

#include "ui/CControllersDlg.h"
#include "ui/CMainFrame.h"
#include "ui/FormWidget.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
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
    bool Knob(int controller, int value) {
        return app.Controllers().OnInputControlChange(0, controller, value, 0, what);
    }
};

TEST_F(LearnWindow, ARightClickLearnsTheNextKnobWhichThenMovesTheSlider) {
    auto* amp = qobject_cast<QSlider*>(Widget(ctl::Dco1Amp));
    ASSERT_NE(amp, nullptr);
    MenuAnswer menu;
    OnNextMenu(menu, QStringLiteral("&Learn Controller"));
    RightClick(amp);
    EXPECT_TRUE(menu.opened);
    EXPECT_EQ(menu.offered, QStringList{QStringLiteral("&Learn Controller")});
    EXPECT_EQ(Status(), QStringLiteral("Move a knob or slider on your controller..."));
    EXPECT_TRUE(frame->statusBar()->isVisible());

    ASSERT_TRUE(Knob(74, 3));
    EXPECT_EQ(Status(), QStringLiteral("CC 74 on channel 1 now moves DCO1 Amp."));
    EXPECT_TRUE(ports.bytes.empty());
    ASSERT_TRUE(Knob(74, 64));
    EXPECT_EQ(amp->value(), 128);
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {29, 0}}));
    EXPECT_TRUE(frame->isWindowModified());

    // Now the menu offers to forget it too.
    MenuAnswer second;
    OnNextMenu(second, QStringLiteral("&Forget Controller"));
    RightClick(amp);
    EXPECT_EQ(second.offered, (QStringList{QStringLiteral("&Learn Controller"), QStringLiteral("&Forget Controller")}));
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
