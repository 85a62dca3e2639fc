// SPDX-License-Identifier: GPL-3.0-or-later
// The program worked from the keyboard alone: every step a key press sent where the focus is, no mouse.
#include "EditorRig.h"
#include "GuiHelpers.h"

#include "app/Commands.h"
#include "app/DocumentLibraryHost.h"
#include "app/MidiMonitor.h"
#include "library/MemoryCatalogCache.h"
#include "patch/PatchFile.h"
#include "ui/Accessibility.h"
#include "ui/CCommentDlg.h"
#include "ui/CControllersDlg.h"
#include "ui/CLibraryWnd.h"
#include "ui/CMainFrame.h"
#include "ui/CMidiMonitorWnd.h"
#include "ui/CMidiOptionsDlg.h"
#include "ui/CMutateDlg.h"
#include "ui/CTestNoteDlg.h"
#include "ui/FormWidget.h"
#include "ui/LibraryModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

const auto* const kFolders = ::testing::AddGlobalTestEnvironment(new HermeticFolders);

// Counts the mouse's button presses anywhere in the program: a keyboard test must see none.
class NoMouse : public QObject {
public:
    NoMouse() { qApp->installEventFilter(this); }
    ~NoMouse() override { qApp->removeEventFilter(this); }
    int presses = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) ++presses;
        return QObject::eventFilter(watched, event);
    }
};

// A key where the focus is now, as the keyboard delivers it.
void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::activePopupWidget();
    if (target == nullptr) target = QApplication::focusWidget();
    if (target == nullptr) target = QApplication::activeWindow();
    ASSERT_NE(target, nullptr) << "nothing has the keyboard";
    QTest::keyClick(target, key, modifiers);
}

void Type(const QString& text) {
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClicks(QApplication::focusWidget(), text);
}

// Until the keyboard's input goes to `window`.
bool HasKeyboard(QWidget* window) {
    return QTest::qWaitFor([window] {
        QWidget* focus = QApplication::focusWidget();
        return focus != nullptr && focus->window() == window;
    });
}

// Tab until `done` holds, at most once round every widget of the window.
bool TabUntil(QWidget* window, const std::function<bool(QWidget*)>& done) {
    const auto count = window->findChildren<QWidget*>().size();
    for (qsizetype i = 0; i <= count; ++i) {
        if (done(QApplication::focusWidget())) return true;
        Key(Qt::Key_Tab);
    }
    return done(QApplication::focusWidget());
}

// The widgets Tab visits going once round the window, from where the focus is.
std::set<QWidget*> TabRound(QWidget* window) {
    std::set<QWidget*> seen;
    const auto count = window->findChildren<QWidget*>().size();
    for (qsizetype i = 0; i <= count; ++i) {
        seen.insert(QApplication::focusWidget());
        Key(Qt::Key_Tab);
    }
    return seen;
}

// Every control a user works in `window`: what takes the focus by Tab, is shown and is enabled.
std::set<QWidget*> Controls(QWidget* window) {
    std::set<QWidget*> out;
    for (QWidget* w : window->findChildren<QWidget*>())
        if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisibleTo(window) && w->isEnabled() &&
            w->focusProxy() == nullptr && w->window() == window)
            out.insert(w);
    return out;
}

struct KeyboardTest : ::testing::Test, EditorRig {
    std::unique_ptr<CMainFrame> frame;
    std::filesystem::path dir =
        std::filesystem::path(std::getenv("HOME")) / ::testing::UnitTest::GetInstance()->current_test_info()->name();

    void SetUp() override {
        Gui();
        std::filesystem::create_directories(dir);
        location.dir = QUARN_PROGRAM_DIR "/";  // where default.qnp is
        frame = std::make_unique<CMainFrame>(app);
        frame->SetFormCreatedHandler([this](FormWidget& form) { app.form().SetWindow(&form); });
        ASSERT_TRUE(app.InitInstance(*frame, std::nullopt));
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }
    void TearDown() override {
        app.form().SetWindow(nullptr);
        frame.reset();
    }
};

TEST_F(KeyboardTest, FindAuditionOpenChangeUndoAndSaveAsWithoutTheMouse) {
    const std::string user = (dir / "patches").string();
    app.Library().SetUserFolder(user);
    for (const auto& [name, amp] : {std::pair{"Bass", 40}, std::pair{"Keys", 90}}) {
        app.form().UserEdited(ctl::PatchName, name);
        app.form().UserMovedSlider(ctl::Dco1Amp, amp);
        ASSERT_TRUE(app.OnCommand(cmd::SaveToLibrary));
    }
    dialogs.answers = {MessageAnswer::No};  // the edits above are not kept
    ASSERT_TRUE(app.OnCommand(cmd::FileNew));
    LibrarySetup setup;
    setup.userFolder = user;
    setup.makeCache = [] { return std::make_unique<MemoryCatalogCache>(); };
    frame->SetLibrarySetup(setup);
    const NoMouse mouse;

    // Open the library.
    Key(Qt::Key_L, Qt::ControlModifier);
    CLibraryWnd* library = frame->LibraryWindow();
    ASSERT_NE(library, nullptr);
    ASSERT_TRUE(HasKeyboard(library));
    ASSERT_TRUE(QTest::qWaitFor([&] { return library->Model()->rowCount() == 2 && !library->Indexing(); }, 20000));

    // Audition on, by its mnemonic; then find the patch and step onto it: it is heard at once.
    Key(Qt::Key_A, Qt::AltModifier);
    // A mnemonic presses its button as a click would show it, a moment later.
    ASSERT_TRUE(QTest::qWaitFor([&] { return library->AuditionBox()->isChecked(); }));
    Key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), library->FilterBox());
    Type("keys");
    ASSERT_TRUE(QTest::qWaitFor([&] { return library->Model()->rowCount() == 1; }, 5000));
    ports.bytes.clear();
    Key(Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), library->List());
    EXPECT_FALSE(ports.bytes.empty());
    EXPECT_EQ(app.form().m_patchName, "Init Saw");  // heard, not opened: the default patch stays

    // Open it: the transmit question is answered, the document is the patch.
    dialogs.messages.clear();
    Key(Qt::Key_Return);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Keys"});
    EXPECT_EQ(app.form().m_patchName, "Keys");
    EXPECT_EQ(app.form().m_dco1Amp, 90);

    // Leave the library; in the editor, Tab to DCO1 Amp. and move it a step.
    Key(Qt::Key_Escape);
    EXPECT_FALSE(library->isVisible());
    frame->activateWindow();
    ASSERT_TRUE(HasKeyboard(frame.get()));
    QWidget* amp = frame->Form()->WidgetForId(ctl::Dco1Amp);
    ASSERT_TRUE(TabUntil(frame.get(), [&](QWidget* w) { return w == amp; }));
    Key(Qt::Key_Right);
    EXPECT_EQ(app.form().m_dco1Amp, 91);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(app.form().m_dco1Amp, 90);
    EXPECT_EQ(qobject_cast<QSlider*>(amp)->value(), 90);

    // Save As from the File menu, by its mnemonics.
    const std::filesystem::path saved = dir / "Keys copy.qnp";
    dialogs.savePaths = {saved.string()};
    Key(Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000));
    Key(Qt::Key_A);
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_EQ(frame->windowHandle()->title(), "Keys copy.qnp - QuarnEdit");
    EXPECT_EQ(mouse.presses, 0);
}

TEST_F(KeyboardTest, ShiftF10AndTheMenuKeyOpenAControlsContextMenuUnderIt) {
    QWidget* amp = frame->Form()->WidgetForId(ctl::Dco1Amp);
    amp->setContextMenuPolicy(Qt::CustomContextMenu);
    std::vector<QPoint> asked;
    QObject::connect(amp, &QWidget::customContextMenuRequested, amp, [&](const QPoint& at) { asked.push_back(at); });
    amp->setFocus();
    Key(Qt::Key_F10, Qt::ShiftModifier);
    Key(Qt::Key_Menu);
    EXPECT_EQ(asked, (std::vector<QPoint>{amp->rect().center(), amp->rect().center()}));
    EXPECT_EQ(app.form().m_dco1Amp, app.form().form().GetPos(ctl::Dco1Amp));  // nothing else happened

    // Where the window system makes a context menu event of the key too, before or after it, one menu opens.
    const auto platformMenu = [&] {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(3, 4), amp->mapToGlobal(QPoint(3, 4)));
        QApplication::sendEvent(amp, &menu);
    };
    asked.clear();
    platformMenu();
    Key(Qt::Key_Menu);
    QTest::keyPress(amp, Qt::Key_Menu);
    platformMenu();
    QTest::keyRelease(amp, Qt::Key_Menu);
    EXPECT_EQ(asked, (std::vector<QPoint>{QPoint(3, 4), amp->rect().center()}));

    // A text box's own menu opens the same way, and Escape closes it.
    QWidget* name = frame->Form()->WidgetForId(ctl::PatchName);
    name->setFocus();
    Key(Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }));
    Key(Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
    EXPECT_EQ(QApplication::focusWidget(), name);
}

TEST_F(KeyboardTest, TabReachesEveryControlOfTheLibraryAndTheMonitorAndEscapeLeaves) {
    LibrarySetup setup;
    setup.userFolder = (dir / "patches").string();
    setup.makeCache = [] { return std::make_unique<MemoryCatalogCache>(); };
    frame->SetLibrarySetup(setup);
    Key(Qt::Key_L, Qt::ControlModifier);
    CLibraryWnd* library = frame->LibraryWindow();
    ASSERT_TRUE(HasKeyboard(library));
    EXPECT_EQ(TabRound(library), Controls(library));

    // Remove Folder's menu opens by its mnemonic, and Escape closes only the menu. The menu runs its own loop
    // until it closes, so Escape is pressed from within it.
    int triesLeft = 500;
    bool closed = false;
    std::function<void()> escape = [&] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            QTest::keyClick(menu, Qt::Key_Escape);
            closed = true;
        } else if (--triesLeft > 0) {
            QTimer::singleShot(10, escape);
        }
    };
    QTimer::singleShot(0, escape);
    Key(Qt::Key_R, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed || triesLeft == 0; }));
    EXPECT_TRUE(closed);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(library->isVisible());
    // The offscreen platform leaves the closed menu's window active, where a desktop gives the window back.
    library->activateWindow();
    ASSERT_TRUE(HasKeyboard(library));

    // The list sorts from its context menu as from its column titles: by Author, then by Author backwards.
    ASSERT_TRUE(TabUntil(library, [&](QWidget* w) { return w == library->List(); }));
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        Key(Qt::Key_F10, Qt::ShiftModifier);
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
        Key(Qt::Key_A);
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
        EXPECT_EQ(library->List()->header()->sortIndicatorSection(), 1);
        EXPECT_EQ(library->List()->header()->sortIndicatorOrder(), order);
    }
    Key(Qt::Key_Escape);
    EXPECT_FALSE(library->isVisible());

    frame->activateWindow();
    ASSERT_TRUE(HasKeyboard(frame.get()));
    ASSERT_TRUE(app.OnCommand(cmd::MidiMonitor));
    CMidiMonitorWnd* monitor = frame->MonitorWindow();
    ASSERT_TRUE(HasKeyboard(monitor));
    EXPECT_EQ(TabRound(monitor), Controls(monitor));
    EXPECT_EQ(Controls(monitor).size(), 4u);  // the lines and three buttons
    Key(Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->MonitorWindow() == nullptr; }));
}

// Each dialog: Tab visits all of it, Escape leaves it without taking anything.
TEST(KeyboardDialogs, TabReachesEveryControlAndEscapeCancels) {
    Gui();
    CMidiOptionsDlg device({"Port A", "Port B"}, 0);
    CMutateDlg mutate(MutationSettings{});
    CTestNoteDlg note(TestNoteSettings{});
    CCommentDlg comment;
    CControllersDlg controllers({{74, 1, "DCO1 Amp.", false}, {7, 2, "Filter Type / routing", true}});
    for (QDialog* dialog : std::vector<QDialog*>{&device, &mutate, &note, &comment, &controllers}) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(HasKeyboard(dialog));
        const std::set<QWidget*> controls = Controls(dialog);
        EXPECT_GE(controls.size(), 3u);
        EXPECT_EQ(TabRound(dialog), controls);
        // A label's mnemonic takes the keyboard to its control (else the label shows a bare "&").
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            const qsizetype amp = label->text().indexOf(QLatin1Char('&'));
            if (amp < 0) continue;
            ASSERT_NE(label->buddy(), nullptr) << label->text().toStdString();
            Key(static_cast<Qt::Key>(label->text().at(amp + 1).toUpper().unicode()), Qt::AltModifier);
            EXPECT_EQ(QApplication::focusWidget(), label->buddy()) << label->text().toStdString();
        }
        Key(Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
    }
}

// A message is said as a notification that appears in the window, named by the message and too small to see,
// once a message; a message box that is open with the same text says it itself, and no notification appears.
TEST(Announcements, EachMessageAppearsOnceUnlessAMessageBoxSaysIt) {
    Gui();
    QWidget window;
    window.show();
    const auto announcers = [&] { return window.findChildren<QWidget*>(QStringLiteral("quarn-announcer")); };
    Announce(&window, QStringLiteral("Port A is gone."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return announcers().size() == 1 && announcers()[0]->isVisible(); }));
    QWidget* announcer = announcers()[0];
    EXPECT_EQ(announcer->accessibleName(), "Port A is gone.");
    EXPECT_EQ(announcer->size(), QSize(0, 0));
    Announce(&window, QStringLiteral("Port A is back."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return announcer->accessibleName() == "Port A is back."; }));
    EXPECT_EQ(announcers().size(), 1);

    // While a box is open: said if the box says something else, left to the box if it says the same.
    const auto announcedOver = [&](const QString& boxText, const QString& message) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("QuarnEdit"), boxText, QMessageBox::Ok, &window);
        bool shown = false;
        QTimer::singleShot(0, &box, [&] {
            Announce(&window, message);
            // Zero timers run in the order they were started: this one after the announcement's.
            QTimer::singleShot(0, &box, [&] {
                shown = announcer->accessibleName() == message;
                box.accept();
            });
        });
        box.exec();
        return shown;
    };
    EXPECT_TRUE(announcedOver(QStringLiteral("Save the changes?"), QStringLiteral("Port B is gone.")));
    EXPECT_FALSE(announcedOver(QStringLiteral("Port C is gone."), QStringLiteral("Port C is gone.")));
    EXPECT_EQ(announcer->accessibleName(), "Port B is gone.");
}

}  // namespace
