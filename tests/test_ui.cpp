// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorRig.h"
#include "GuiHelpers.h"
#include "InstrumentModel.h"

#include "app/Commands.h"
#include "app/DocumentLibraryHost.h"
#include "library/CatalogView.h"
#include "library/MemoryCatalogCache.h"
#include "platform/QSettingsProfile.h"
#include "ui/CCommentDlg.h"
#include "ui/CMainFrame.h"
#include "ui/CMidiMonitorWnd.h"
#include "ui/CMidiOptionsDlg.h"
#include "ui/DialogUnits.h"
#include "ui/FormWidget.h"
#include "ui/GroupFrame.h"
#include "ui/LibraryModel.h"
#include "ui/QtUserDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <map>

namespace {

QString TextOf(const ControlDef& def) { return QString::fromUtf8(def.text.data(), qsizetype(def.text.size())); }

TEST(DialogUnitsTest, RoundingAndTheFormFontsBaseUnits) {
    EXPECT_EQ(MulDiv(409, 7, 4), 716);  // 715.75
    EXPECT_EQ(MulDiv(110, 7, 4), 193);  // 192.5: halves go up
    EXPECT_EQ(MulDiv(3, 14, 8), 5);     // 5.25
    EXPECT_EQ(MulDiv(-110, 7, 4), -193);
    EXPECT_EQ(MulDiv(5, 3, 0), -1);

    Gui();
    // Arial 9 pt, served by a font with Arial's metrics: 364 pixels for the 52 letters, 14 pixels high.
    const DialogUnits du = DialogUnits::ForFont(FormFont());
    EXPECT_EQ(du.baseX, 7) << "is fonts-liberation installed?";
    EXPECT_EQ(du.baseY, 14);
}

// ---- the form on screen ---------------------------------------------------------------------------------

struct FormWidgetTest : ::testing::Test, EditorRig {
    FormState& state = dlg.form();
    std::unique_ptr<FormWidget> widget;

    void SetUp() override {
        Gui();
        dlg.OnInitialUpdate();
        ASSERT_TRUE(app.CreatePortSink().OpenDevice(0));
        widget = std::make_unique<FormWidget>(dlg);
        ports.bytes.clear();
    }
    template <class W>
    W* Get(int id) {
        auto* w = qobject_cast<W*>(widget->WidgetForId(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
};

TEST_F(FormWidgetTest, EveryItemHasItsKindAndRectangle) {
    const DialogUnits du = widget->Units();
    EXPECT_EQ(widget->size(), QSize(du.X(kFormWidthDlu), du.Y(kFormHeightDlu)));
    for (const ControlDef& def : FormControls()) {
        QWidget* w = widget->WidgetAt(def.place);
        ASSERT_NE(w, nullptr) << def.place;
        if (def.id != kNoId) {
            EXPECT_EQ(widget->WidgetForId(def.id), w);
        }
        // Each kind's widget, and the template's text where the kind shows one.
        const auto shows = [&](auto* typed, auto text) { return typed != nullptr && text(typed) == TextOf(def); };
        auto* edit = qobject_cast<QLineEdit*>(w);
        auto* slider = qobject_cast<QSlider*>(w);
        auto* list = qobject_cast<QComboBox*>(w);
        bool kindOk = false;
        switch (def.kind) {
            case ControlKind::Label: kindOk = shows(qobject_cast<QLabel*>(w), [](auto* l) { return l->text(); }); break;
            case ControlKind::GroupBox:
                kindOk = shows(dynamic_cast<GroupFrame*>(w), [](auto* g) { return g->Title(); });
                break;
            case ControlKind::EditBox: kindOk = edit && !edit->isReadOnly(); break;
            case ControlKind::ValueBox: kindOk = edit && edit->isReadOnly(); break;
            case ControlKind::PushButton:
                kindOk = shows(qobject_cast<QPushButton*>(w), [](auto* b) { return b->text(); });
                break;
            case ControlKind::CheckBox:
                kindOk = shows(qobject_cast<QCheckBox*>(w), [](auto* c) { return c->text(); });
                break;
            case ControlKind::Slider:
                kindOk =
                    slider && slider->orientation() == Qt::Horizontal && slider->tickPosition() == QSlider::NoTicks;
                break;
            case ControlKind::List: kindOk = list && !list->isEditable(); break;
        }
        EXPECT_TRUE(kindOk) << "item " << def.place;
        QRect expected = du.Rect(def.rect);
        // Closed, a list has the style's height; its template height is the opened drop-down's.
        if (list != nullptr) expected.setHeight(list->sizeHint().height());
        EXPECT_EQ(w->geometry(), expected) << "item " << def.place;
    }
}

TEST_F(FormWidgetTest, PixelsOfSomeRows) {
    EXPECT_EQ(widget->size(), QSize(716, 490));
    EXPECT_EQ(widget->WidgetAt(1)->geometry(), QRect(7, 11, 67, 14));                   // "Patch name" 4,6,38,8
    EXPECT_EQ(Get<QLineEdit>(ctl::PatchName)->geometry(), QRect(81, 7, 319, 21));       // 46,4,182,12
    EXPECT_EQ(Get<QSlider>(ctl::Env1Attack)->geometry(), QRect(60, 348, 224, 21));      // 34,199,128,12
    EXPECT_EQ(Get<QPushButton>(ctl::QuickLoad)->geometry(), QRect(403, 5, 21, 25));     // 230,3,12,14
    EXPECT_EQ(Get<QComboBox>(ctl::FilterType)->geometry().topLeft(), QPoint(511, 47));  // 292,27,110,192
    EXPECT_EQ(Get<QComboBox>(ctl::FilterType)->width(), 193);
    // 192 units of drop-down hold all 17 filter types.
    EXPECT_GE(Get<QComboBox>(ctl::FilterType)->maxVisibleItems(), 17);
}

TEST_F(FormWidgetTest, StateChangesRedrawWithoutHandlers) {
    EXPECT_EQ(Get<QComboBox>(ctl::MidiChannel)->currentText(), "1");
    EXPECT_EQ(Get<QComboBox>(ctl::Dco1Wave)->itemText(5), "S&H");
    EXPECT_EQ(Get<QSlider>(ctl::Step)->maximum(), 7);

    state.SetPos(ctl::Dco1Amp, 300);
    state.SetCheck(ctl::Boost, true);
    state.Enable(ctl::Cutoff2, false);
    state.SetText(ctl::PatchName, "Bells");
    state.SetCurSel(ctl::FilterType, 4);
    EXPECT_EQ(Get<QSlider>(ctl::Dco1Amp)->value(), 255);
    EXPECT_TRUE(Get<QCheckBox>(ctl::Boost)->isChecked());
    EXPECT_FALSE(Get<QSlider>(ctl::Cutoff2)->isEnabled());
    EXPECT_EQ(Get<QLineEdit>(ctl::PatchName)->text(), "Bells");
    EXPECT_EQ(Get<QComboBox>(ctl::FilterType)->currentIndex(), 4);
    state.SetCurSel(ctl::FilterType, -1);
    EXPECT_EQ(Get<QComboBox>(ctl::FilterType)->currentIndex(), -1);
    EXPECT_TRUE(ports.bytes.empty());  // the program's own changes run no list, box or slider handler
}

TEST_F(FormWidgetTest, KeyStepsRunTheHandlerOncePerNotification) {
    auto* step = Get<QSlider>(ctl::Step);  // parameter 24, range 0..7, value box 1078
    QTest::keyClick(step, Qt::Key_Right);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {24, 1}}));
    EXPECT_EQ(Get<QLineEdit>(ctl::StepBox)->text(), "1");

    ports.bytes.clear();
    QTest::keyClick(step, Qt::Key_End);
    QTest::keyClick(step, Qt::Key_Right);  // already at the end: the notification still comes, once
    QTest::keyClick(step, Qt::Key_Left);
    QTest::keyClick(step, Qt::Key_PageDown);  // a page is a fifth of the range, at least 1
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {24, 7}, {16, 1}, {24, 7}, {16, 1}, {24, 6}, {16, 1}, {24, 5}}));

    // Octave 0..15 pages by 3, a 0..255 slider by 51; the arrow keys by 1.
    ports.bytes.clear();
    dlg.UserSelected(ctl::Dco1Row3Mode, 0);
    ports.bytes.clear();
    QTest::keyClick(Get<QSlider>(ctl::Dco1Octave), Qt::Key_PageUp);
    QTest::keyClick(Get<QSlider>(ctl::Env1Attack), Qt::Key_PageUp);
    QTest::keyClick(Get<QSlider>(ctl::Env1Attack), Qt::Key_Up);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {30, 3}, {16, 1}, {108, 51}, {16, 1}, {108, 52}}));
}

TEST_F(FormWidgetTest, TheWheelTurnsOnlyTheControlWithTheFocus) {
    widget->show();
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget.get()));
    auto* attack = Get<QSlider>(ctl::Env1Attack);
    auto* wave = Get<QComboBox>(ctl::Dco1Wave);
    const auto wheel = [](QWidget* target) {
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    };
    Get<QSlider>(ctl::Env1Decay)->setFocus();
    wheel(attack);
    wheel(wave);
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(state.GetPos(ctl::Env1Attack), 0);

    attack->setFocus();
    wheel(attack);
    EXPECT_FALSE(ports.bytes.empty());
}

TEST_F(FormWidgetTest, DragRunsTheHandlerPerMoveAndOnceAtRelease) {
    auto* arpeg = Get<QSlider>(ctl::Arpeg);  // parameter 23, source list 1034
    widget->show();
    const int grip = arpeg->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, arpeg) / 2;
    const auto mouse = [&](QEvent::Type type, int x, Qt::MouseButtons buttons) {
        const QPointF at(x, arpeg->height() / 2);
        QMouseEvent event(type, at, arpeg->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(arpeg, &event);
    };
    mouse(QEvent::MouseButtonPress, grip, Qt::LeftButton);
    EXPECT_TRUE(ports.bytes.empty());  // taking hold of the thumb is no notification
    mouse(QEvent::MouseMove, grip + 40, Qt::LeftButton);
    mouse(QEvent::MouseMove, grip + 80, Qt::LeftButton);
    const int moved = arpeg->sliderPosition();
    ASSERT_GT(moved, 0);
    ASSERT_LT(moved, 127);
    mouse(QEvent::MouseButtonRelease, grip + 80, Qt::NoButton);

    ASSERT_EQ(ports.bytes.size(), 3u * 2 * 3);  // two moves and the release, two messages each
    const Bytes last = CC({{16, 1}, {23, moved}, {16, 1}, {23, moved}});
    EXPECT_EQ(Bytes(ports.bytes.end() - 12, ports.bytes.end()), last);
    EXPECT_EQ(Get<QComboBox>(ctl::ArpegSource)->currentText(), QString::number(moved));
}

TEST_F(FormWidgetTest, ValueBoxTypingSetsItsSlider) {
    auto* box = Get<QLineEdit>(ctl::StepBox);
    EXPECT_EQ(box->focusPolicy(), Qt::ClickFocus);
    // Read-only on screen; its handler acts when the text changes by other means, such as a tool that types.
    box->setReadOnly(false);
    QTest::keyClicks(box, "5x");  // digits only
    EXPECT_EQ(Get<QSlider>(ctl::Step)->value(), 5);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {24, 5}}));
    ports.bytes.clear();
    QTest::keyClicks(box, "9");  // 59: the slider stops at 7 and the box shows it
    EXPECT_EQ(box->text(), "7");
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {24, 7}}));
}

TEST_F(FormWidgetTest, ClicksAndTyping) {
    auto* legato = Get<QCheckBox>(ctl::EnvLegato);
    legato->click();
    EXPECT_TRUE(legato->isChecked());
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {25, 2}}));
    legato->click();
    EXPECT_FALSE(legato->isChecked());
    EXPECT_EQ(dlg.m_switchBits, 0);

    auto* name = Get<QLineEdit>(ctl::PatchName);
    QTest::keyClicks(name, "Pad");
    name->setCursorPosition(1);
    QTest::keyClicks(name, "i");  // typing in the middle keeps the cursor where it is
    EXPECT_EQ(dlg.m_patchName, "Piad");
    EXPECT_EQ(name->cursorPosition(), 2);

    dialogs.commentAnswers.push_back("warm");
    Get<QPushButton>(ctl::Comment)->click();
    EXPECT_EQ(dlg.m_comment, "warm");
}

// The name box takes no more than the patch's name field stores: 255 bytes.
TEST_F(FormWidgetTest, NameBoxTakesWhatItsFieldStoresAndKeepsTheCursorWhereTypingStopped) {
    auto* name = Get<QLineEdit>(ctl::PatchName);
    name->setFocus();
    name->insert(QString(300, QLatin1Char('n')));  // a paste
    EXPECT_EQ(name->text(), QString(255, QLatin1Char('n')));
    EXPECT_EQ(dlg.m_patchName, std::string(255, 'n'));
    EXPECT_EQ(name->cursorPosition(), 255);
    name->setCursorPosition(10);
    name->del();  // room for one more
    QTest::keyClicks(name, "xyz");
    EXPECT_EQ(name->text(), QString(10, QLatin1Char('n')) + "x" + QString(244, QLatin1Char('n')));
    EXPECT_EQ(name->cursorPosition(), 11);
}

TEST_F(FormWidgetTest, FilterTypeChosenInItsListSetsLabelsAndRows) {
    auto* type = Get<QComboBox>(ctl::FilterType);
    const auto row = [&](int slider, int list, int label) {
        const bool on = widget->WidgetForId(slider)->isEnabled();
        EXPECT_EQ(widget->WidgetForId(list)->isEnabled(), on);
        EXPECT_EQ(widget->WidgetForId(label)->isEnabled(), on);
        return on;
    };
    const auto row1 = [&] { return row(ctl::Cutoff1, ctl::Cutoff1Source, ctl::Cutoff1Label); };
    const auto row2 = [&] { return row(ctl::Cutoff2, ctl::Cutoff2Source, ctl::Cutoff2Label); };
    const auto labels = [&] {
        return Get<QLabel>(ctl::Cutoff1Label)->text() + "|" + Get<QLabel>(ctl::Cutoff2Label)->text();
    };
    const auto boost = [&] { return widget->WidgetForId(ctl::Boost)->isEnabled(); };

    QTest::keyClick(type, Qt::Key_Home);
    EXPECT_EQ(labels(), "N/A|N/A");
    EXPECT_FALSE(row1());
    EXPECT_FALSE(row2());
    EXPECT_FALSE(boost());

    QTest::keyClick(type, Qt::Key_Down);
    EXPECT_EQ(type->currentText(), "DCO1 => Low Pass");
    EXPECT_EQ(labels(), "Freq.|N/A");
    EXPECT_TRUE(row1());
    EXPECT_FALSE(row2());

    state.SetCurSel(ctl::FilterType, 10);
    ports.bytes.clear();
    QTest::keyClick(type, Qt::Key_Down);  // "DCO1+2 => Band Pass"
    EXPECT_EQ(labels(), "Freq.|Width");
    EXPECT_TRUE(row2());
    EXPECT_TRUE(boost());
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {20, 0x43}}));

    QTest::keyClick(type, Qt::Key_End);
    EXPECT_EQ(labels(), "Freq. 1|Freq. 2");
    EXPECT_FALSE(boost());
}

TEST_F(FormWidgetTest, TabVisitsTheTemplateOrder) {
    std::vector<int> expected;
    for (const ControlDef& def : FormControls()) {
        if (def.kind != ControlKind::Label && def.kind != ControlKind::GroupBox && def.kind != ControlKind::ValueBox)
            expected.push_back(def.id);
    }
    ASSERT_EQ(expected.size(), 62u);
    widget->show();
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget.get()));
    widget->WidgetForId(ctl::PatchName)->setFocus();

    std::vector<int> visited;
    for (std::size_t i = 0; i <= expected.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        visited.push_back(focus->objectName().toInt());
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    expected.push_back(ctl::PatchName);  // and round again
    EXPECT_EQ(visited, expected);
}

// ---- the main window ------------------------------------------------------------------------------------

struct FrameTest : ::testing::Test, EditorRig {
    std::unique_ptr<CMainFrame> frame;

    void SetUp() override {
        Gui();
        frame = std::make_unique<CMainFrame>(app);
    }
    bool Start() { return app.InitInstance(*frame, std::nullopt); }
};

TEST_F(FrameTest, MenuTitlesItemsAndIds) {
    // Each item as "text=id"; a separator as "-".
    const std::vector<std::pair<QString, QStringList>> expected{
        {"&File",
         {"&New=57600", "&Open...=57601", "Save &As...=57604", "&Export MIDI file...=32773", "Patch &Library...=32782",
          "-", "&Save=57603", "Save to &Library=32783", "-", "Recent File=57616", "-", "E&xit=57665"}},
        {"&Edit",
         {"&Undo=57643", "&Redo=57644", "-", "&Compare=32779", "&Mutate...=32780", "M&orph...=32787",
          "&Variations...=32788", "-", "&Envelopes=32795"}},
        {"&MIDI Options",
         {"&Transmit All=32772", "-", "Output &Device...=32774", "Test &Note...=32775", "-", "&Play Test Note=32776",
          "&Hold Test Note=32777", "All Notes &Off=32778", "-", "MIDI &Monitor...=32781", "-", "&Input Device...=32784",
          "MIDI Th&ru=32785", "&Controllers...=32786"}},
        {"&Help", {"&About QuarnEdit=57664"}},
    };
    const QList<QMenu*> menus = frame->Menus();
    ASSERT_EQ(menus.size(), 4);
    for (std::size_t m = 0; m < expected.size(); ++m) {
        QMenu* menu = menus[qsizetype(m)];
        EXPECT_EQ(menu->title(), expected[m].first);
        QStringList shown;
        for (QAction* a : menu->actions()) {
            // The original commands keep the menu's letters alone; keys belong to the ones added beside them.
            static const QList<int> kOriginal{57600, 57601, 57604, 32773, 57603, 57665, 32772, 32774, 57664};
            if (kOriginal.contains(a->data().toInt())) {
                EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
            }
            if (!a->isVisible()) continue;
            shown.push_back(a->isSeparator() ? QString("-") : a->text() + "=" + QString::number(a->data().toInt()));
        }
        EXPECT_EQ(shown, expected[m].second);
    }
    EXPECT_FALSE(menus[0]->actions()[9]->isEnabled());  // the empty recent-file list's placeholder
    EXPECT_EQ(menus[0]->actions()[4]->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
    EXPECT_EQ(menus[1]->actions().last()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+E")));
    // No two commands share a key.
    QList<QKeySequence> keys;
    for (QMenu* menu : menus)
        for (QAction* a : menu->actions())
            for (const QKeySequence& key : a->shortcuts()) {
                if (key.isEmpty()) continue;
                EXPECT_FALSE(keys.contains(key)) << key.toString().toStdString();
                keys.push_back(key);
            }
}

TEST_F(FrameTest, RecentFilesReplaceThePlaceholder) {
    for (int i = 0; i < 10; ++i) profile.recent.push_back("/p/" + std::to_string(i) + ".qnp");
    profile.recent[1] = "/p/Rock & Roll.qnp";
    profile.recent[2] = "/home/someone/patches/very/deep/folder/lead.qnp";
    ASSERT_TRUE(Start());  // start-up hands the profile's list to the menu

    const auto recentShown = [&] {
        std::vector<QAction*> out;
        for (QAction* a : frame->Menus()[0]->actions()) {
            if (a->isVisible() && a->data().toInt() >= 57616 && a->data().toInt() < 57626) out.push_back(a);
        }
        return out;
    };
    std::vector<QAction*> recent = recentShown();
    ASSERT_EQ(recent.size(), 10u);
    EXPECT_EQ(recent[0]->text(), "&1 /p/0.qnp");
    EXPECT_EQ(recent[1]->text(), "&2 /p/Rock && Roll.qnp");
    EXPECT_EQ(recent[2]->text(), "&3 /home/.../deep/folder/lead.qnp");
    EXPECT_EQ(recent[9]->text(), "1&0 /p/9.qnp");
    EXPECT_EQ(recent[9]->data().toInt(), 57625);

    dialogs.messages.clear();
    recent[4]->trigger();  // a file that does not open: the core reports it and drops it from the list
    EXPECT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(recentShown().size(), 9u);

    frame->RecentFilesChanged({});
    recent = recentShown();
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(recent[0]->text(), "Recent File");
}

TEST_F(FrameTest, StartUpShowsTheWindowCentredWithItsCaption) {
    EXPECT_EQ(CMainFrame::CentredPosition(QRect(0, 0, 1024, 768)), QPoint(148, 81));
    EXPECT_EQ(CMainFrame::CentredPosition(QRect(0, 0, 640, 480)), QPoint(-44, -62));  // truncated toward zero
    EXPECT_EQ(CMainFrame::CentredPosition(QRect(0, 30, 1280, 994)), QPoint(276, 30 + 208 - 14));

    ASSERT_TRUE(Start());
    ASSERT_TRUE(frame->isVisible());
    ASSERT_NE(frame->Form(), nullptr);
    // Offscreen windows have no decorations: the whole window is the client area.
    EXPECT_EQ(frame->frameGeometry().size(), QSize(728, 577));
    EXPECT_EQ(frame->pos(), CMainFrame::CentredPosition(QGuiApplication::primaryScreen()->availableGeometry()));
    EXPECT_EQ(frame->windowHandle()->title(), "Untitled - QuarnEdit");
    frame->TitleChanged("odd[*].qnp");
    EXPECT_EQ(frame->windowHandle()->title(), "odd[*].qnp - QuarnEdit");
    frame->TitleChanged("Untitled");
    EXPECT_EQ(QApplication::focusWidget(), frame->Form()->WidgetForId(ctl::PatchName));

    // The form on screen is the core's form.
    qobject_cast<QCheckBox*>(frame->Form()->WidgetForId(ctl::EnvLegato))->click();
    EXPECT_EQ(app.form().m_switchBits, 2);

    // An edit marks the caption, and Exit asks; No closes without saving.
    EXPECT_EQ(frame->windowHandle()->title(), "Untitled* - QuarnEdit");
    dialogs.answers = {MessageAnswer::No};
    frame->Menus()[0]->actions().back()->trigger();
    EXPECT_EQ(Texts().back(), "Save changes to Untitled?");
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(FrameTest, TheMonitorWindowShowsWhatIsSentAndStopsListeningWhenClosed) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(app.OnCommand(cmd::MidiMonitor));
    CMidiMonitorWnd* monitor = frame->MonitorWindow();
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(monitor->isVisible());
    app.form().UserMovedSlider(ctl::Dco1Amp, 200);
    monitor->Update();
    const QStringList lines = monitor->Lines()->toPlainText().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.last().endsWith("B0 1D 48  DCO1 Amp. = 200")) << lines.last().toStdString();

    // Clear empties the window, and what was sent before does not come back.
    auto* clear = monitor->findChild<QPushButton*>();
    for (auto* button : monitor->findChildren<QPushButton*>())
        if (button->text() == "C&lear") clear = button;
    ASSERT_EQ(clear->text(), "C&lear");
    clear->click();
    EXPECT_TRUE(monitor->Lines()->toPlainText().isEmpty());
    monitor->Update();
    EXPECT_TRUE(monitor->Lines()->toPlainText().isEmpty());
    app.form().UserMovedSlider(ctl::Dco1Amp, 202);
    monitor->Update();
    EXPECT_EQ(monitor->Lines()->toPlainText().split('\n').size(), 2);  // the page, then the parameter

    monitor->close();  // deleted on close
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frame->MonitorWindow(), nullptr);
    ports.bytes.clear();
    app.form().UserMovedSlider(ctl::Dco1Amp, 201);
    EXPECT_EQ(ports.bytes, CC({{16, 2}, {29, 73}}));
}

// Undo and Redo by their keys, Ctrl+Y as well as Ctrl+Shift+Z, also while a text box has the focus.
TEST_F(FrameTest, UndoAndRedoKeys) {
    ASSERT_TRUE(Start());
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    auto* amp = qobject_cast<QSlider*>(frame->Form()->WidgetForId(ctl::Dco1Amp));
    amp->setFocus();
    const int start = amp->value();
    QTest::keyClick(amp, Qt::Key_Right);
    EXPECT_EQ(amp->value(), start + 1);
    for (const QKeySequence& redo :
         {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}) {
        SCOPED_TRACE(redo.toString().toStdString());
        QTest::keySequence(amp, QKeySequence(Qt::CTRL | Qt::Key_Z));
        EXPECT_EQ(amp->value(), start);
        QTest::keySequence(amp, redo);
        EXPECT_EQ(amp->value(), start + 1);
    }
    auto* name = qobject_cast<QLineEdit*>(frame->Form()->WidgetForId(ctl::PatchName));
    name->setFocus();
    QTest::keySequence(name, QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(amp->value(), start);
    QTest::keySequence(name, QKeySequence(Qt::CTRL | Qt::Key_Y));
    EXPECT_EQ(amp->value(), start + 1);
}

TEST_F(FrameTest, CompareShowsTheOriginalInTheCaptionAndRefusesEditsInTheStatusLine) {
    ASSERT_TRUE(Start());
    QTemporaryDir dir;
    ASSERT_TRUE(app.document().OnSaveDocument((dir.path() + "/saved.qnp").toStdString()));  // the original
    app.form().UserMovedSlider(ctl::Dco1Amp, 5);
    ASSERT_TRUE(app.OnCommand(cmd::EditCompare));
    EXPECT_EQ(frame->windowHandle()->title(), "Untitled* - QuarnEdit [Original]");
    EXPECT_FALSE(frame->statusBar()->isVisible());
    auto* amp = qobject_cast<QSlider*>(frame->Form()->WidgetForId(ctl::Dco1Amp));
    QTest::keyClick(amp, Qt::Key_Right);
    EXPECT_EQ(amp->value(), app.form().form().GetPos(ctl::Dco1Amp));  // the slider did not move
    EXPECT_TRUE(frame->statusBar()->isVisible());
    EXPECT_EQ(frame->statusBar()->currentMessage(), "The original is shown: press F2 to return to your edit.");
    ASSERT_TRUE(app.OnCommand(cmd::EditCompare));
    EXPECT_EQ(frame->windowHandle()->title(), "Untitled* - QuarnEdit");
    EXPECT_FALSE(frame->statusBar()->isVisible());
    EXPECT_EQ(amp->value(), 5);
}

TEST_F(FrameTest, CtrlLOpensTheLibraryWhereTheSelectionIsAuditionedAndEnterOpensIt) {
    ASSERT_TRUE(Start());
    QTemporaryDir dir;
    const std::string user = (dir.path() + "/patches").toStdString();
    app.Library().SetUserFolder(user);
    // Two patches, saved to the library by the program itself.
    app.form().UserEdited(ctl::PatchName, "Bass");
    app.form().UserMovedSlider(ctl::Dco1Amp, 40);
    ASSERT_TRUE(app.OnCommand(cmd::SaveToLibrary));
    EXPECT_EQ(frame->statusBar()->currentMessage().toStdString(), "Saved to the library as " + user + "/Bass.qnp");
    app.form().UserEdited(ctl::PatchName, "Keys");
    app.form().UserMovedSlider(ctl::Dco1Amp, 90);
    ASSERT_TRUE(app.OnCommand(cmd::SaveToLibrary));
    app.form().UserMovedSlider(ctl::Dco1Amp, 7);  // the document's unsaved edit
    LibrarySetup setup;
    setup.userFolder = user;
    setup.makeCache = [] { return std::make_unique<MemoryCatalogCache>(); };
    frame->SetLibrarySetup(setup);

    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_L, Qt::ControlModifier);
    CLibraryWnd* wnd = frame->LibraryWindow();
    ASSERT_NE(wnd, nullptr);
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_EQ(wnd->windowTitle(), "Patch Library");
    ASSERT_TRUE(QTest::qWaitFor([&] { return wnd->Model()->rowCount() == 2 && !wnd->Indexing(); }, 20000));
    const auto rowOf = [&](const std::string& name) {
        LibraryModel& model = *wnd->Model();
        for (int r = 0; r < model.rowCount(); ++r)
            if (DisplayName(*model.EntryAt(model.index(r, 0))) == name) return model.index(r, 0);
        return QModelIndex();
    };

    // Audition: the selected patch goes out at once, without a question, and the document stays as it was.
    wnd->AuditionBox()->setChecked(true);
    dialogs.messages.clear();
    ports.bytes.clear();
    wnd->List()->setCurrentIndex(rowOf("Keys"));
    const Bytes keys = std::exchange(ports.bytes, {});
    EXPECT_FALSE(keys.empty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(app.form().m_dco1Amp, 7);
    EXPECT_EQ(frame->windowHandle()->title(), "Untitled* - QuarnEdit");

    // Enter opens it: the save question (No), then the transmit question (Yes) sends what audition sent.
    dialogs.answers = {MessageAnswer::No, MessageAnswer::Yes};
    QTest::keyClick(wnd->List(), Qt::Key_Return);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Save changes to Untitled?", "Transmit all data from Keys"}));
    EXPECT_EQ(frame->windowHandle()->title(), "Keys.qnp - QuarnEdit");
    EXPECT_EQ(app.form().m_dco1Amp, 90);
    EXPECT_EQ(std::exchange(ports.bytes, {}), keys);

    // Another patch heard, then the window closes: the synthesizer gets the document's patch back.
    wnd->List()->setCurrentIndex(rowOf("Bass"));
    const Bytes bass = std::exchange(ports.bytes, {});
    EXPECT_FALSE(bass.empty());
    EXPECT_NE(bass, keys);
    wnd->close();
    // Only what Bass changed goes back, and the synthesizer holds Keys again.
    EXPECT_EQ(InstrumentModel::HeldAfter({bass, ports.bytes}), InstrumentModel::HeldAfter({keys}));
    EXPECT_LT(ports.bytes.size(), keys.size());
    EXPECT_EQ(app.form().m_patchName, "Keys");

    // Ctrl+L again brings back the same window.
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(frame->LibraryWindow(), wnd);
    EXPECT_TRUE(wnd->isVisible());
}

// ---- dialogs --------------------------------------------------------------------------------------------

TEST(DialogsTest, MessageBoxes) {
    Gui();
    QtUserDialogs dialogs;
    QWidget main;
    dialogs.SetMainWindow(&main);
    OnNextMessageBox(
        [&](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), "QuarnEdit");  // no caption of its own
            EXPECT_EQ(box->text(), "Couldn't open input file");
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            EXPECT_EQ(box->parentWidget(), nullptr);
        },
        QMessageBox::Ok);
    EXPECT_EQ(dialogs.ShowMessage({"Couldn't open input file", ""}), MessageAnswer::Ok);

    OnNextMessageBox(
        [&](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), "Question");
            EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
            EXPECT_EQ(box->parentWidget(), &main);
        },
        QMessageBox::No);
    EXPECT_EQ(dialogs.ShowMessage({"Transmit all data from X", "Question", MessageButtons::YesNo, MessageIcon::None,
                                   MessageOwner::MainWindow}),
              MessageAnswer::No);

    EXPECT_EQ(QtUserDialogs::NameFilters({{"Standard MIDI files (*.mid)", "*.mid"}, {"All Files (*.*)", "*.*"}}),
              QStringList({"Standard MIDI files (*.mid)", "All Files (*.*)"}));
    EXPECT_EQ(QtUserDialogs::NameFilters({{"Patches", "*.qnp"}}), QStringList({"Patches (*.qnp)"}));
}

TEST(DialogsTest, SaveDialogStartsBesideTheFileAndRefusesAMissingFolder) {
    Gui();
    QTemporaryDir dir;
    QtUserDialogs dialogs;
    QString shownFolder, shownFile, problem;
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<SaveFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shownFolder = dialog->directory().absolutePath();
        shownFile = dialog->selectedFiles().value(0);
        // A name in a folder that does not exist: the dialog says so and stays open.
        dialog->selectFile(dir.path() + "/missing/patch.qnp");
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            problem = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        dialog->accept();
        EXPECT_TRUE(dialog->isVisible());
        dialog->reject();
    });
    const std::string initial = (dir.path() + "/Lead.qnp").toStdString();
    EXPECT_EQ(dialogs.AskSaveFileName({"qnp", {{"Quarn Patch (*.qnp)", "*.qnp"}}, true, initial}), std::nullopt);
    EXPECT_EQ(shownFolder, dir.path());
    EXPECT_EQ(shownFile, dir.path() + "/Lead.qnp");
    EXPECT_EQ(problem, "The folder \"" + dir.path() + "/missing\" does not exist. Choose a folder that does.");
}

TEST(DialogsTest, DeviceDialogSelection) {
    Gui();
    const std::vector<std::string> names{"Port A", "Port B", "Port C"};
    CMidiOptionsDlg dialog(names, 1);
    EXPECT_EQ(dialog.windowTitle(), "MIDI Options");
    EXPECT_EQ(dialog.DeviceList()->currentText(), "Port B");
    EXPECT_EQ(dialog.size(), QSize(332, 89));  // 221 x 55 units of its template font, 6 x 13
    dialog.DeviceList()->setCurrentIndex(2);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.DeviceIndex(), 2);

    CMidiOptionsDlg gone(names, 5);  // a device that has gone: nothing selected, and OK keeps the id
    EXPECT_EQ(gone.DeviceList()->currentIndex(), -1);
    gone.accept();
    EXPECT_EQ(gone.DeviceIndex(), 5);
}

TEST(DialogsTest, TheInputDeviceDialogIsTheSameDialogForSources) {
    Gui();
    CMidiOptionsDlg dialog({"None", "Keys A", "Knobs B"}, 0, nullptr, CMidiOptionsDlg::Direction::Input);
    EXPECT_EQ(dialog.windowTitle(), "MIDI Options");
    EXPECT_EQ(dialog.DeviceList()->accessibleName(), "MIDI Input Device");
    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
    EXPECT_EQ(labels, QStringList{"MIDI Input Device:"});
    EXPECT_EQ(dialog.DeviceList()->currentText(), "None");
    EXPECT_EQ(dialog.size(), QSize(332, 89));
    // A keyboard plugged in while it is open: the list follows, the choice stays.
    dialog.SetDevices({"None", "New", "Keys A", "Knobs B"});
    EXPECT_EQ(dialog.DeviceList()->currentText(), "None");
    dialog.DeviceList()->setCurrentIndex(2);
    dialog.accept();
    EXPECT_EQ(dialog.DeviceIndex(), 2);
}

TEST(DialogsTest, CommentLayoutAndFocusOrderAreItsTemplates) {
    Gui();
    CCommentDlg dialog;
    EXPECT_EQ(dialog.size(), QSize(498, 301));  // 332 x 185 units of 6 x 13
    EXPECT_EQ(dialog.Editor()->geometry(), QRect(2, 2, 494, 265));
    // The tab key visits OK, Cancel and the text, in the template's order.
    QStringList order;
    QWidget* w = dialog.Editor();
    for (int i = 0; i < 3; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
        order << (qobject_cast<QPushButton*>(w) != nullptr ? qobject_cast<QPushButton*>(w)->text()
                                                           : QStringLiteral("text"));
    }
    EXPECT_EQ(order, QStringList({"text", "OK", "Cancel"}));
}

TEST(DialogsTest, CommentLimitAndNewLines) {
    Gui();
    CCommentDlg dialog;
    dialog.SetText("first");
    dialog.show();
    QTextEdit* edit = dialog.Editor();
    edit->moveCursor(QTextCursor::End);
    QTest::keyClick(edit, Qt::Key_Return);  // a new line, not OK
    QTest::keyClicks(edit, "second");
    EXPECT_TRUE(dialog.isVisible());
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetText(), "first\nsecond");

    dialog.SetText("");  // blank lines typed are lines like any other
    dialog.show();
    QTest::keyClicks(edit, "a");
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClicks(edit, "b");
    QTest::keyClick(edit, Qt::Key_Return);
    dialog.accept();
    EXPECT_EQ(dialog.GetText(), "a\n\n\nb\n");

    dialog.SetText(std::string(2047, 'a'));  // typing stops at 2048 characters
    dialog.show();
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, "xyz");
    EXPECT_EQ(edit->toPlainText().size(), 2048);
    EXPECT_TRUE(edit->toPlainText().endsWith("ax"));

    dialog.SetText(std::string(2050, 'b'));  // a longer text that came in is refused at OK
    dialog.setResult(QDialog::Rejected);
    OnNextMessageBox(
        [](QMessageBox* box) {
            EXPECT_EQ(box->text(), "Please enter no more than 2048 characters.");
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
        },
        QMessageBox::Ok);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.isVisible());
}

// The no-break space (0xA0 in a file of the original platform) and the line separator U+2028 are characters
// of the comment like any other: the editor keeps them, OK on a text left alone gives it back as it came.
TEST(DialogsTest, CommentKeepsEveryCharacterAndOkOnAnUntouchedTextChangesNothing) {
    Gui();
    const std::string text =
        "a\xC2\xA0"
        "b\xE2\x80\xA8"
        "c\nd\xE2\x80\xA9"
        "e";
    CCommentDlg dialog;
    dialog.SetText(text);
    dialog.show();
    dialog.accept();
    EXPECT_EQ(dialog.GetText(), text);

    // An edit keeps them too; only the paragraph mark was a line break to the editor all along.
    dialog.SetText(text);
    dialog.show();
    dialog.Editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(dialog.Editor(), "!");
    dialog.accept();
    EXPECT_EQ(dialog.GetText(),
              "a\xC2\xA0"
              "b\xE2\x80\xA8"
              "c\nd\ne!");

    // The whole way, from a patch of the original platform through the real dialog: nothing changes.
    RecordingPorts ports;
    CountingPause pause;
    QtUserDialogs real;
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app{{ports, pause, profile, real, location, libraries, clock, recovery}};
    app.form().OnInitialUpdate();
    PatchRecord legacy;
    legacy.patchName = "Pad";
    legacy.comment =
        "no\xA0"
        "break\r\nline";
    app.form().FillFromRecord(legacy);
    std::string shown;
    QTimer::singleShot(0, [&] {
        auto* comment = dynamic_cast<CCommentDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(comment, nullptr);
        shown = comment->Editor()->toPlainText().toStdString();
        comment->accept();
    });
    app.form().UserClicked(ctl::Comment);
    EXPECT_EQ(shown, "no break\nline");
    EXPECT_EQ(app.form().m_comment,
              "no\xA0"
              "break\r\nline");
    EXPECT_FALSE(app.document().IsModified());
    EXPECT_FALSE(app.form().CanUndo());
}

// The dialog counts what the comment takes once stored: a line break is CR LF, a letter its bytes in the
// encoding the comment is kept in. Typing stops where the field is full, and the dialog says what is left.
TEST(DialogsTest, CommentStopsWhereItsFieldIsFullAndSaysWhatIsLeft) {
    Gui();
    CCommentDlg dialog({10, TextEncoding::Utf8});
    dialog.SetText("abc\nde");
    dialog.show();
    QTextEdit* edit = dialog.Editor();
    EXPECT_EQ(dialog.RoomLine()->text(), "3 bytes left");
    EXPECT_EQ(edit->accessibleDescription(), "3 bytes left");
    edit->moveCursor(QTextCursor::End);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dialog.RoomLine()->text(), "1 byte left");
    edit->insertPlainText(QString::fromUtf8("\xC3\xA9"));  // two bytes: refused
    EXPECT_EQ(edit->toPlainText(), "abc\nde\n");
    QTest::keyClicks(edit, "xy");
    EXPECT_EQ(edit->toPlainText(), "abc\nde\nx");
    EXPECT_EQ(dialog.RoomLine()->text(), "0 bytes left");
    edit->moveCursor(QTextCursor::Start);
    edit->insertPlainText("12345");  // a paste at the start: none of it fits, the rest stays
    EXPECT_EQ(edit->toPlainText(), "abc\nde\nx");
    dialog.accept();
    EXPECT_EQ(dialog.GetText(), "abc\nde\nx");

    // A paste is cut where the room ends; in the code page a letter takes one byte.
    CCommentDlg legacy({6, TextEncoding::Windows1252});
    legacy.SetText("");
    legacy.show();
    legacy.Editor()->insertPlainText(QString::fromUtf8("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"));
    EXPECT_EQ(legacy.Editor()->toPlainText(), QString::fromUtf8("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"));
    EXPECT_EQ(legacy.RoomLine()->text(), "0 bytes left");
    // Omega is not in the code page: the comment would go in UTF-8, twice as long, so it is refused.
    legacy.Editor()->moveCursor(QTextCursor::Start);
    legacy.Editor()->textCursor().deleteChar();
    legacy.Editor()->insertPlainText(QString::fromUtf8("\xCE\xA9"));
    EXPECT_EQ(legacy.Editor()->toPlainText(), QString::fromUtf8("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"));
}

// ---- profile --------------------------------------------------------------------------------------------

TEST(ProfileTest, ValuesAndRecentFilesRoundTrip) {
    Gui();
    QTemporaryDir dir;
    const QString path = dir.path() + "/QuarnEdit/QuarnEdit.INI";
    {
        QSettingsProfile profile(path);
        EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Output", 7), 7);
        EXPECT_TRUE(profile.RecentFiles().empty());
        profile.WriteProfileInt("Options", "MIDI Output", 3);
        profile.WriteRecentFiles({"/a/one.qnp", "/b/two.qnp", "/c/three.qnp"});
        profile.WriteRecentFiles({"/b/two, too.qnp", "/a/Über;one=1.qnp"});
    }
    QSettingsProfile again(path);
    EXPECT_EQ(again.GetProfileInt("Options", "MIDI Output", 0), 3);
    EXPECT_EQ(again.RecentFiles(), (std::vector<std::string>{"/b/two, too.qnp", "/a/Über;one=1.qnp"}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[Options]"));
    EXPECT_FALSE(text.contains("File3"));
    EXPECT_TRUE(QSettingsProfile::DefaultPath().endsWith("/QuarnEdit/QuarnEdit.INI"));
}

TEST(ProfileTest, DamagedOrOddFilesGiveDefaults) {
    Gui();
    QTemporaryDir dir;
    const auto file = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.path() + "/" + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(char((i * 7919 + 13) % 256));
    const QString damaged = file("garbage.INI", garbage);
    {
        QSettingsProfile profile(damaged);
        EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Output", 0), 0);
        EXPECT_TRUE(profile.RecentFiles().empty());
        profile.WriteProfileInt("Options", "MIDI Output", 2);  // writing replaces the damaged file
    }
    EXPECT_EQ(QSettingsProfile(damaged).GetProfileInt("Options", "MIDI Output", 0), 2);

    QSettingsProfile odd(file("odd.INI", "[Options]\nMIDI Output=abc\n[Recent File List]\nFile2=/x.qnp\n"));
    EXPECT_EQ(odd.GetProfileInt("Options", "MIDI Output", 5), 0);  // present but not a number
    EXPECT_EQ(odd.RecentFiles(), std::vector<std::string>{"/x.qnp"});
    QSettingsProfile lead(file("lead.INI", "[Options]\nMIDI Output= 12 ports\n"));
    EXPECT_EQ(lead.GetProfileInt("Options", "MIDI Output", 0), 12);

    QSettingsProfile directory(dir.path());  // a directory where the file should be
    EXPECT_EQ(directory.GetProfileInt("Options", "MIDI Output", 4), 4);
}

}  // namespace
