#include "Fakes.h"

#include "app/CQuarnEditApp.h"
#include "app/Services.h"
#include "editor/CMainDlg.h"
#include "platform/QSettingsProfile.h"
#include "ui/CCommentDlg.h"
#include "ui/CMainFrame.h"
#include "ui/CMidiOptionsDlg.h"
#include "ui/DialogUnits.h"
#include "ui/FormWidget.h"
#include "ui/GroupFrame.h"
#include "ui/QtUserDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

namespace {

// One application for the whole program, on the offscreen platform so no display is needed.
QApplication& Gui() {
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

class MapProfile : public Profile {
public:
    std::map<std::string, int> ints;
    std::vector<std::string> recent;
    int GetProfileInt(const std::string& s, const std::string& k, int d) override {
        auto it = ints.find(s + "/" + k);
        return it == ints.end() ? d : it->second;
    }
    void WriteProfileInt(const std::string& s, const std::string& k, int v) override { ints[s + "/" + k] = v; }
    std::vector<std::string> RecentFiles() override { return recent; }
    void WriteRecentFiles(const std::vector<std::string>& paths) override { recent = paths; }
};

class NowhereLocation : public ProgramLocation {
public:
    std::string ProgramDirectory() override { return "/nonexistent/quarnedit-test/"; }
};

// Runs `check` on the next modal window that opens, then closes it with `button` (or by closing it).
void OnNextModal(std::function<void(QWidget*)> check, QMessageBox::StandardButton button = QMessageBox::NoButton) {
    QTimer::singleShot(0, [check = std::move(check), button] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        check(modal);
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box != nullptr && button != QMessageBox::NoButton) {
            box->button(button)->click();
        } else {
            modal->close();
        }
    });
}

QString TextOf(const ControlDef& def) { return QString::fromUtf8(def.text.data(), static_cast<qsizetype>(def.text.size())); }

// ---- dialog units ---------------------------------------------------------------------------------------

TEST(DialogUnitsTest, MulDivRoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(409, 7, 4), 716);  // 715.75
    EXPECT_EQ(MulDiv(110, 7, 4), 193);  // 192.5
    EXPECT_EQ(MulDiv(185, 14, 8), 324);  // 323.75
    EXPECT_EQ(MulDiv(3, 14, 8), 5);     // 5.25
    EXPECT_EQ(MulDiv(-3, 7, 4), -5);    // -5.25
    EXPECT_EQ(MulDiv(-110, 7, 4), -193);
    EXPECT_EQ(MulDiv(5, 3, 0), -1);
}

TEST(DialogUnitsTest, FormFontBaseUnits) {
    Gui();
    // Arial 9 pt, served by a font with Arial's metrics: 364 pixels for the 52 letters, 14 pixels high.
    const QFontMetrics metrics(FormFont());
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const DialogUnits du = DialogUnits::ForFont(FormFont());
    EXPECT_EQ(du.baseX, (letters / 26 + 1) / 2);
    EXPECT_EQ(du.baseY, metrics.height());
    EXPECT_EQ(du.baseX, 7) << "fonts-liberation missing? letters " << letters;
    EXPECT_EQ(du.baseY, 14);
}

// ---- the form on screen ---------------------------------------------------------------------------------

struct FormWidgetTest : ::testing::Test {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;
    CQuarnEditApp app{ports, pause};
    CMainDlg dlg{app, dialogs};
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
        const QRect r = du.Rect(def.rect);
        bool kindOk = false;
        switch (def.kind) {
            case ControlKind::Label: kindOk = qobject_cast<QLabel*>(w) && static_cast<QLabel*>(w)->text() == TextOf(def); break;
            case ControlKind::GroupBox:
                kindOk = dynamic_cast<GroupFrame*>(w) && static_cast<GroupFrame*>(w)->Title() == TextOf(def);
                break;
            case ControlKind::EditBox: kindOk = qobject_cast<QLineEdit*>(w) && !static_cast<QLineEdit*>(w)->isReadOnly(); break;
            case ControlKind::ValueBox: kindOk = qobject_cast<QLineEdit*>(w) && static_cast<QLineEdit*>(w)->isReadOnly(); break;
            case ControlKind::PushButton: kindOk = qobject_cast<QPushButton*>(w) != nullptr; break;
            case ControlKind::CheckBox: kindOk = qobject_cast<QCheckBox*>(w) != nullptr; break;
            case ControlKind::Slider:
                kindOk = qobject_cast<QSlider*>(w) && static_cast<QSlider*>(w)->orientation() == Qt::Horizontal &&
                         static_cast<QSlider*>(w)->tickPosition() == QSlider::NoTicks;
                break;
            case ControlKind::List: kindOk = qobject_cast<QComboBox*>(w) && !static_cast<QComboBox*>(w)->isEditable(); break;
        }
        EXPECT_TRUE(kindOk) << "item " << def.place;
        if (def.kind == ControlKind::List) {
            // Closed, a list has the style's height; its template height is the opened drop-down's.
            EXPECT_EQ(w->geometry(), QRect(r.x(), r.y(), r.width(), w->sizeHint().height())) << def.place;
        } else {
            EXPECT_EQ(w->geometry(), r) << "item " << def.place;
        }
    }
    EXPECT_EQ(Get<QPushButton>(ctl::Comment)->text(), "&Comment");
}

TEST_F(FormWidgetTest, PixelsOfSomeRows) {
    ASSERT_EQ(widget->Units().baseX, 7);
    ASSERT_EQ(widget->Units().baseY, 14);
    EXPECT_EQ(widget->size(), QSize(716, 490));
    EXPECT_EQ(widget->WidgetAt(1)->geometry(), QRect(7, 11, 67, 14));           // "Patch name" 4,6,38,8
    EXPECT_EQ(Get<QLineEdit>(ctl::PatchName)->geometry(), QRect(81, 7, 319, 21));  // 46,4,182,12
    EXPECT_EQ(Get<QSlider>(ctl::Env1Attack)->geometry(), QRect(60, 348, 224, 21));  // 34,199,128,12
    EXPECT_EQ(Get<QPushButton>(ctl::QuickLoad)->geometry(), QRect(403, 5, 21, 25));  // 230,3,12,14
    const QRect type = Get<QComboBox>(ctl::FilterType)->geometry();                // 292,27,110,192
    EXPECT_EQ(QRect(type.x(), type.y(), type.width(), 0), QRect(511, 47, 193, 0));
    // 192 units of drop-down hold every one of the 17 filter types.
    EXPECT_GE(Get<QComboBox>(ctl::FilterType)->maxVisibleItems(), 17);
}

TEST_F(FormWidgetTest, StateChangesRedrawWithoutHandlers) {
    EXPECT_EQ(Get<QComboBox>(ctl::MidiChannel)->count(), 16);
    EXPECT_EQ(Get<QComboBox>(ctl::MidiChannel)->currentText(), "1");
    EXPECT_EQ(Get<QComboBox>(ctl::Dco1Wave)->itemText(5), "S&H");
    EXPECT_EQ(Get<QSlider>(ctl::Step)->maximum(), 7);
    EXPECT_EQ(Get<QSlider>(ctl::Dco1Octave)->maximum(), 15);

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
    EXPECT_EQ(dlg.m_step, 1);

    ports.bytes.clear();
    QTest::keyClick(step, Qt::Key_End);
    QTest::keyClick(step, Qt::Key_Right);  // already at the end: the notification still comes, once
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {24, 7}, {16, 1}, {24, 7}}));
    EXPECT_EQ(step->value(), 7);

    ports.bytes.clear();
    QTest::keyClick(step, Qt::Key_Left);
    QTest::keyClick(step, Qt::Key_PageDown);  // a page is 10: down to 0
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {24, 6}, {16, 1}, {24, 0}}));
}

TEST_F(FormWidgetTest, DragRunsTheHandlerPerMoveAndOnceAtRelease) {
    auto* arpeg = Get<QSlider>(ctl::Arpeg);  // parameter 23, source list 1034
    widget->show();
    const int handle = arpeg->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, arpeg);
    const int y = arpeg->height() / 2;
    const auto send = [&](QEvent::Type type, int x, Qt::MouseButtons buttons) {
        const QPointF local(x, y);
        QMouseEvent event(type, local, arpeg->mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(arpeg, &event);
    };
    send(QEvent::MouseButtonPress, handle / 2, Qt::LeftButton);
    EXPECT_TRUE(ports.bytes.empty());  // grabbing the thumb is no notification
    send(QEvent::MouseMove, handle / 2 + 40, Qt::LeftButton);
    send(QEvent::MouseMove, handle / 2 + 80, Qt::LeftButton);
    const int moved = arpeg->sliderPosition();
    ASSERT_GT(moved, 0);
    ASSERT_LT(moved, 255);
    send(QEvent::MouseButtonRelease, handle / 2 + 80, Qt::NoButton);

    ASSERT_EQ(ports.bytes.size(), 3u * 2 * 3);  // two moves and the release, two messages each
    const Bytes last = CC({{16, 1}, {23, moved}});
    EXPECT_TRUE(std::equal(last.begin(), last.end(), ports.bytes.end() - 12));
    EXPECT_TRUE(std::equal(last.begin(), last.end(), ports.bytes.end() - 6));
    EXPECT_EQ(Get<QComboBox>(ctl::ArpegSource)->itemText(0), QString::number(moved));
    EXPECT_EQ(Get<QComboBox>(ctl::ArpegSource)->currentIndex(), 0);
}

TEST_F(FormWidgetTest, ValueBoxTypingSetsItsSlider) {
    auto* box = Get<QLineEdit>(ctl::StepBox);
    EXPECT_EQ(box->focusPolicy(), Qt::ClickFocus);
    // Read-only on screen; the handler runs when the text changes by other means, such as a tool that types.
    box->setReadOnly(false);
    QTest::keyClicks(box, "5");
    EXPECT_EQ(Get<QSlider>(ctl::Step)->value(), 5);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {24, 5}}));
    ports.bytes.clear();
    QTest::keyClicks(box, "x");  // digits only
    EXPECT_TRUE(ports.bytes.empty());
    QTest::keyClicks(box, "9");  // 59: the slider stops at 7 and the box shows it
    EXPECT_EQ(Get<QSlider>(ctl::Step)->value(), 7);
    EXPECT_EQ(box->text(), "7");
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {24, 7}}));
}

TEST_F(FormWidgetTest, ClicksAndTyping) {
    auto* legato = Get<QCheckBox>(ctl::EnvLegato);
    legato->click();
    EXPECT_TRUE(legato->isChecked());
    EXPECT_EQ(dlg.m_switchBits, 2);
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {25, 2}}));
    legato->click();
    EXPECT_FALSE(legato->isChecked());
    EXPECT_EQ(dlg.m_switchBits, 0);

    auto* name = Get<QLineEdit>(ctl::PatchName);
    name->setFocus();
    QTest::keyClicks(name, "Pad");
    name->setCursorPosition(1);
    QTest::keyClicks(name, "i");  // typing in the middle keeps the cursor where it is
    EXPECT_EQ(dlg.m_patchName, "Piad");
    EXPECT_EQ(name->cursorPosition(), 2);

    dialogs.commentAnswers.push_back("warm");
    Get<QPushButton>(ctl::Comment)->click();
    EXPECT_EQ(dlg.m_comment, "warm");
}

TEST_F(FormWidgetTest, FilterTypeChosenInItsListSetsLabelsAndRows) {
    auto* type = Get<QComboBox>(ctl::FilterType);
    const auto rowEnabled = [&](int slider, int list, int label) {
        const bool s = widget->WidgetForId(slider)->isEnabled();
        EXPECT_EQ(widget->WidgetForId(list)->isEnabled(), s);
        EXPECT_EQ(widget->WidgetForId(label)->isEnabled(), s);
        return s;
    };
    const auto label = [&](int id) { return Get<QLabel>(id)->text(); };

    QTest::keyClick(type, Qt::Key_Home);
    EXPECT_EQ(label(ctl::Cutoff1Label), "N/A");
    EXPECT_EQ(label(ctl::Cutoff2Label), "N/A");
    EXPECT_FALSE(rowEnabled(ctl::Cutoff1, ctl::Cutoff1Source, ctl::Cutoff1Label));
    EXPECT_FALSE(rowEnabled(ctl::Cutoff2, ctl::Cutoff2Source, ctl::Cutoff2Label));
    EXPECT_FALSE(widget->WidgetForId(ctl::Boost)->isEnabled());

    QTest::keyClick(type, Qt::Key_Down);  // "DCO1 => Low Pass"
    EXPECT_EQ(type->currentText(), "DCO1 => Low Pass");
    EXPECT_EQ(label(ctl::Cutoff1Label), "Freq.");
    EXPECT_TRUE(rowEnabled(ctl::Cutoff1, ctl::Cutoff1Source, ctl::Cutoff1Label));
    EXPECT_FALSE(rowEnabled(ctl::Cutoff2, ctl::Cutoff2Source, ctl::Cutoff2Label));

    state.SetCurSel(ctl::FilterType, 10);
    ports.bytes.clear();
    QTest::keyClick(type, Qt::Key_Down);  // "DCO1+2 => Band Pass": both rows and Boost
    EXPECT_EQ(label(ctl::Cutoff2Label), "Width");
    EXPECT_TRUE(rowEnabled(ctl::Cutoff2, ctl::Cutoff2Source, ctl::Cutoff2Label));
    EXPECT_TRUE(widget->WidgetForId(ctl::Boost)->isEnabled());
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {20, 0x43}}));

    QTest::keyClick(type, Qt::Key_End);
    EXPECT_EQ(label(ctl::Cutoff1Label), "Freq. 1");
    EXPECT_EQ(label(ctl::Cutoff2Label), "Freq. 2");
    EXPECT_FALSE(widget->WidgetForId(ctl::Boost)->isEnabled());
    EXPECT_EQ(dlg.m_filterMode, 3);
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

struct FrameTest : ::testing::Test {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;
    MapProfile profile;
    NowhereLocation location;
    CQuarnEditApp app{ports, pause};
    std::unique_ptr<CMainFrame> frame;

    void SetUp() override {
        Gui();
        frame = std::make_unique<CMainFrame>(app, dialogs);
        app.AttachShell({profile, dialogs, location, *frame});
    }
};

TEST_F(FrameTest, MenuTitlesItemsAndIds) {
    struct Item {
        QString text;
        int id;  // 0: separator
    };
    const std::vector<std::pair<QString, std::vector<Item>>> expected{
        {"&File",
         {{"&New", 57600},
          {"&Open...", 57601},
          {"Save &As...", 57604},
          {"&Export MIDI file...", 32773},
          {"", 0},
          {"&Save", 57603},
          {"", 0},
          {"Recent File", 57616},
          {"", 0},
          {"E&xit", 57665}}},
        {"&MIDI Options", {{"&Transmit All", 32772}, {"", 0}, {"Output &Device...", 32774}}},
        {"&Help", {{"&About QuarnEdit", 57664}}},
    };
    const QList<QMenu*> menus = frame->Menus();
    ASSERT_EQ(menus.size(), 3);
    for (std::size_t m = 0; m < expected.size(); ++m) {
        QMenu* menu = menus[static_cast<qsizetype>(m)];
        EXPECT_EQ(menu->title(), expected[m].first);
        std::vector<QAction*> shown;
        for (QAction* a : menu->actions()) {
            EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
            if (a->isVisible()) shown.push_back(a);
        }
        ASSERT_EQ(shown.size(), expected[m].second.size()) << m;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const Item& item = expected[m].second[i];
            EXPECT_EQ(shown[i]->isSeparator(), item.id == 0) << m << "/" << i;
            if (item.id == 0) continue;
            EXPECT_EQ(shown[i]->text(), item.text);
            EXPECT_EQ(shown[i]->data().toInt(), item.id);
        }
    }
    EXPECT_FALSE(menus[0]->actions()[7]->isEnabled());  // the empty recent-file list's placeholder
}

TEST_F(FrameTest, RecentFilesReplaceThePlaceholder) {
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) paths.push_back("/p/" + std::to_string(i) + ".qnp");
    paths[1] = "/p/Rock & Roll.qnp";
    paths[2] = "/home/someone/patches/very/deep/folder/lead.qnp";
    profile.recent = paths;
    ASSERT_TRUE(app.InitInstance(std::nullopt));  // start-up hands the profile's list to the menu

    std::vector<QAction*> recent;
    for (QAction* a : frame->Menus()[0]->actions()) {
        const int id = a->data().toInt();
        if (a->isVisible() && id >= 57616 && id < 57626) recent.push_back(a);
    }
    ASSERT_EQ(recent.size(), 10u);
    EXPECT_EQ(recent[0]->text(), "&1 /p/0.qnp");
    EXPECT_EQ(recent[1]->text(), "&2 /p/Rock && Roll.qnp");
    EXPECT_EQ(recent[2]->text(), "&3 /home/.../deep/folder/lead.qnp");
    EXPECT_EQ(recent[9]->text(), "1&0 /p/9.qnp");
    EXPECT_EQ(recent[0]->data().toInt(), 57616);

    dialogs.messages.clear();
    recent[4]->trigger();  // a file that does not open: the core reports it and drops it from the list
    EXPECT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(app.RecentFiles().size(), 9u);

    frame->RecentFilesChanged({});
    int visibleRecent = 0;
    for (QAction* a : frame->Menus()[0]->actions()) visibleRecent += a->isVisible() && a->data().toInt() == 57616;
    EXPECT_EQ(visibleRecent, 1);  // only the placeholder
}

TEST_F(FrameTest, StartUpShowsTheWindowCentredWithItsCaption) {
    EXPECT_EQ(CMainFrame::CentredPosition(QRect(0, 0, 1024, 768)), QPoint(148, 81));
    EXPECT_EQ(CMainFrame::CentredPosition(QRect(0, 0, 640, 480)), QPoint(-44, -62));  // truncated toward zero
    EXPECT_EQ(CMainFrame::CentredPosition(QRect(0, 30, 1280, 994)), QPoint(276, 30 + 208 - 14));

    ASSERT_TRUE(app.InitInstance(std::nullopt));
    ASSERT_TRUE(frame->isVisible());
    ASSERT_NE(frame->Form(), nullptr);
    // Without window decorations (offscreen) the client area is the whole window.
    EXPECT_EQ(frame->frameGeometry().size(), QSize(728, 577));
    EXPECT_EQ(frame->frameGeometry().topLeft(),
              CMainFrame::CentredPosition(QGuiApplication::primaryScreen()->availableGeometry()));
    EXPECT_EQ(frame->windowTitle(), "Untitled - QuarnEdit");
    frame->TitleChanged("odd[*].qnp");
    EXPECT_EQ(frame->windowHandle()->title(), "odd[*].qnp - QuarnEdit");
    EXPECT_EQ(frame->Form()->WidgetForId(ctl::PatchName), QApplication::focusWidget());

    // The form on screen is the core's form: a click there reaches it.
    static_cast<QCheckBox*>(frame->Form()->WidgetForId(ctl::EnvLegato))->click();
    EXPECT_EQ(app.form()->m_switchBits, 2);

    frame->Menus()[0]->actions().back()->trigger();  // Exit
    EXPECT_FALSE(frame->isVisible());
}

// ---- dialogs --------------------------------------------------------------------------------------------

TEST(DialogsTest, MessageBoxCaptionButtonsAndAnswer) {
    Gui();
    QtUserDialogs dialogs;
    QWidget main;
    dialogs.SetMainWindow(&main);
    OnNextModal(
        [&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), "QuarnEdit");
            EXPECT_EQ(box->text(), "Couldn't open input file");
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            EXPECT_EQ(box->parentWidget(), nullptr);
        },
        QMessageBox::Ok);
    EXPECT_EQ(dialogs.ShowMessage({"Couldn't open input file", ""}), MessageAnswer::Ok);

    OnNextModal(
        [&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
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

TEST(DialogsTest, DeviceDialogSelection) {
    Gui();
    const std::vector<std::string> names{"Port A", "Port B", "Port C"};
    {
        CMidiOptionsDlg dialog(names, 1);
        EXPECT_EQ(dialog.windowTitle(), "MIDI Options");
        EXPECT_EQ(dialog.DeviceList()->count(), 3);
        EXPECT_EQ(dialog.DeviceList()->currentIndex(), 1);
        const DialogUnits du = DialogUnits::ForFont(dialog.font());
        EXPECT_EQ(dialog.size(), QSize(du.X(221), du.Y(55)));
        dialog.DeviceList()->setCurrentIndex(2);
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.DeviceIndex(), 2);
    }
    {
        CMidiOptionsDlg dialog(names, 5);  // a device that has gone: nothing selected, OK keeps the id
        EXPECT_EQ(dialog.DeviceList()->currentIndex(), -1);
        dialog.accept();
        EXPECT_EQ(dialog.DeviceIndex(), 5);
    }
}

TEST(DialogsTest, CommentLimitAndNewLines) {
    Gui();
    CCommentDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Comment");
    dialog.SetText("first");
    dialog.show();
    QTextEdit* edit = dialog.Editor();
    edit->moveCursor(QTextCursor::End);
    QTest::keyClick(edit, Qt::Key_Return);  // a new line, not OK
    QTest::keyClicks(edit, "second");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(edit->toPlainText(), "first\nsecond");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetText(), "first\nsecond");

    // Typing stops at 2048 characters.
    dialog.SetText(std::string(2047, 'a'));
    dialog.show();
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, "xyz");
    EXPECT_EQ(edit->toPlainText().size(), 2048);
    EXPECT_TRUE(edit->toPlainText().endsWith("ax"));

    // A longer text that came in is refused at OK, and the dialog stays open.
    const std::string tooLong(2050, 'b');
    dialog.SetText(tooLong);
    dialog.setResult(QDialog::Rejected);
    EXPECT_EQ(edit->toPlainText().size(), 2050);
    OnNextModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "Please enter no more than 2048 characters.");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
    }, QMessageBox::Ok);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.isVisible());
}

// ---- profile --------------------------------------------------------------------------------------------

TEST(ProfileTest, ValuesAndRecentFilesRoundTrip) {
    Gui();
    QTemporaryDir dir;
    const QString path = dir.path() + "/QuarnEdit/QuarnEdit.INI";
    {
        QSettingsProfile profile(path);
        EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Output", 0), 0);
        EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Output", 7), 7);
        EXPECT_TRUE(profile.RecentFiles().empty());
        profile.WriteProfileInt("Options", "MIDI Output", 3);
        profile.WriteRecentFiles({"/a/one.qnp", "/b/two.qnp", "/c/three.qnp"});
        profile.WriteRecentFiles({"/b/two.qnp", "/a/one.qnp"});
    }
    QSettingsProfile again(path);
    EXPECT_EQ(again.GetProfileInt("Options", "MIDI Output", 0), 3);
    EXPECT_EQ(again.RecentFiles(), (std::vector<std::string>{"/b/two.qnp", "/a/one.qnp"}));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[Options]"));
    EXPECT_FALSE(text.contains("File3"));
}

TEST(ProfileTest, DamagedOrOddFilesGiveDefaults) {
    Gui();
    QTemporaryDir dir;
    const auto writeFile = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.path() + "/" + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919 + 13) % 256));
    garbage += "\n[Options\nMIDI Output\n=\n\x00\xff[[[]]]";
    {
        QSettingsProfile profile(writeFile("garbage.INI", garbage));
        EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Output", 0), 0);
        EXPECT_NO_THROW(profile.RecentFiles());
        profile.WriteProfileInt("Options", "MIDI Output", 2);  // writing replaces the damaged file
        EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Output", 0), 2);
    }
    EXPECT_EQ(QSettingsProfile(dir.path() + "/garbage.INI").GetProfileInt("Options", "MIDI Output", 0), 2);
    {
        QSettingsProfile profile(writeFile("text.INI", "[Options]\nMIDI Output=abc\n[Recent File List]\nFile2=/x.qnp\n"));
        EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Output", 5), 0);  // present but not a number
        EXPECT_EQ(profile.RecentFiles(), std::vector<std::string>{"/x.qnp"});
    }
    {
        QSettingsProfile profile(writeFile("lead.INI", "[Options]\nMIDI Output= 12 ports\n"));
        EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Output", 0), 12);
    }
    {
        QSettingsProfile profile(dir.path());  // a directory where the file should be
        EXPECT_EQ(profile.GetProfileInt("Options", "MIDI Output", 4), 4);
        EXPECT_TRUE(profile.RecentFiles().empty());
    }
    EXPECT_TRUE(QSettingsProfile::DefaultPath().endsWith("/QuarnEdit/QuarnEdit.INI"));
}

}  // namespace
