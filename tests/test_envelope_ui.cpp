// SPDX-License-Identifier: GPL-3.0-or-later
// The envelope pictures' window: it follows a slider, a learned knob and the morph, says its shape to screen
// readers, opens from the keyboard, and is open again at the next start when it was open at the end.
#include "EditorRig.h"
#include "GuiHelpers.h"

#include "app/Commands.h"
#include "app/ControllerLearn.h"
#include "app/ports/Profile.h"
#include "editor/EnvelopeShape.h"
#include "editor/Morph.h"
#include "editor/ParameterMap.h"
#include "ui/CEnvelopeWnd.h"
#include "ui/CMainFrame.h"
#include "ui/FormWidget.h"

#include <QAccessible>
#include <QLineEdit>
#include <QTest>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

const auto* const kFolders = ::testing::AddGlobalTestEnvironment(new HermeticFolders);

constexpr const char* kOpenKey = "Options/Envelope Window";

std::size_t SlotOf(int control) {
    return static_cast<std::size_t>(std::find(kSlotControls.begin(), kSlotControls.end(), control) -
                                    kSlotControls.begin());
}

// Saves a window's picture where QUARN_SCREENSHOTS names a folder (for looking at, never for comparing), and the
// same on a dark palette.
void Shot(QWidget* window, const QString& name) {
    const char* folder = std::getenv("QUARN_SCREENSHOTS");
    if (folder == nullptr) return;
    window->grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Base, QColor(0x1c, 0x1c, 0x1c));
    dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Mid, QColor(0x50, 0x50, 0x50));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe6));
    const QPalette before = window->palette();
    window->setPalette(dark);
    window->grab().save(QString::fromUtf8(folder) + "/" + name + "-dark.png");
    window->setPalette(before);
}

struct EnvelopeWindow : ::testing::Test, EditorRig {
    std::unique_ptr<CMainFrame> frame;
    FakeInputPorts inputs;
    std::string what;

    void SetUp() override {
        Gui();
        location.dir = QUARN_PROGRAM_DIR "/";  // where default.qnp is
        app.Inputs().SetPorts(&inputs);
        profile.ints["Options/MIDI Input"] = 1;
        profile.strings["Options/MIDI Input Name"] = "Knobs B";
    }
    void Start() {
        frame = std::make_unique<CMainFrame>(app);
        frame->SetFormCreatedHandler([this](FormWidget& form) { app.form().SetWindow(&form); });
        ASSERT_TRUE(app.InitInstance(*frame, std::nullopt));
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }
    void TearDown() override {
        app.form().SetWindow(nullptr);
        frame.reset();
        app.Inputs().SetPorts(nullptr);
    }
    EnvelopeView* Env(int index) const {
        CEnvelopeWnd* window = frame->EnvelopeWindow();
        return window != nullptr ? window->View(index) : nullptr;
    }
    // The picture shows what the form holds now, once the event loop ran.
    bool Shows(int index) const {
        return QTest::qWaitFor([&] {
            const EnvelopeControls& section = EnvelopeSections()[static_cast<std::size_t>(index)];
            return Env(index) != nullptr && Env(index)->Values() == ReadEnvelope(dlg.form(), section);
        });
    }
    QString Said(int index) const {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(Env(index));
        return face != nullptr ? face->text(QAccessible::Description) : QString();
    }
};

TEST_F(EnvelopeWindow, FollowsASliderAKnobAndTheMorphOneRedrawPerChange) {
    Start();
    ASSERT_TRUE(app.OnCommand(cmd::EnvelopeWindow));
    ASSERT_NE(frame->EnvelopeWindow(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame->EnvelopeWindow()));
    EXPECT_TRUE(app.IsCommandChecked(cmd::EnvelopeWindow));
    ASSERT_TRUE(Shows(0) && Shows(1));

    // The user's drag, which the form's own view is never told of.
    dlg.UserBeganDrag(ctl::Env1Attack);
    dlg.UserMovedSlider(ctl::Env1Attack, 51);
    dlg.UserEndedGesture(ctl::Env1Attack);
    ASSERT_TRUE(Shows(0));
    EXPECT_EQ(Env(0)->Values().attack, 51);
    EXPECT_DOUBLE_EQ(Env(0)->Shape().line[1].time, 0.2);
    // The box's setting is in the shape.
    dlg.UserClicked(ctl::Env1Loop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Env(0)->Shape().loop.has_value(); }));
    dlg.UserClicked(ctl::Env2FreeRun);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Env(1)->Shape().freeRunFrom.has_value() == dlg.form().IsChecked(ctl::Env2FreeRun); }));

    // A knob learned to ENV2 Sustain.
    app.Controllers().BeginLearn(ctl::Env2Sustain);
    ASSERT_TRUE(app.Controllers().OnInputControlChange(0, 74, 0, 0, what));
    ASSERT_TRUE(app.Controllers().OnInputControlChange(0, 74, 64, 0, what));
    ASSERT_EQ(dlg.form().GetPos(ctl::Env2Sustain), 128);
    ASSERT_TRUE(Shows(1));
    EXPECT_EQ(Env(1)->Values().sustain, 128);

    // ENV2's offset follows a source: the picture has no level for it, and says which.
    dlg.UserSelected(ctl::Env2OffsetSource, 8);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Env(1)->Shape().baselineFollows; }));
    EXPECT_TRUE(Env(1)->accessibleDescription().endsWith("offset follows Vel."));

    // The morph fills the whole form at each step: the picture reads it once per step, not once per control.
    PatchRecord b = dlg.CaptureRecord();
    dlg.UserMovedSlider(ctl::Env1Release, 0);
    ASSERT_TRUE(app.OnCommand(cmd::EditMorph));
    MorphSession* morph = app.Sound().Morph();
    ASSERT_NE(morph, nullptr);
    b.valueSlots[SlotOf(ctl::Env1Release)] = 250;
    morph->SetPatchB(b, "B");
    ASSERT_TRUE(Shows(0));
    const int before = Env(0)->Refreshes();
    morph->SetPosition(1000);
    ASSERT_TRUE(Shows(0));
    EXPECT_EQ(Env(0)->Values().release, 250);
    EXPECT_EQ(Env(0)->Refreshes(), before + 1);
    morph->SetPosition(500);
    ASSERT_TRUE(Shows(0));
    EXPECT_EQ(Env(0)->Values().release, 125);
    Shot(frame->EnvelopeWindow(), QStringLiteral("envelopes"));
}

TEST_F(EnvelopeWindow, SaysItsShapeInWordsThatChangeWithTheValues) {
    Start();
    ASSERT_TRUE(app.OnCommand(cmd::EnvelopeWindow));
    ASSERT_TRUE(Shows(0));
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(Env(0));
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::Graphic);
    EXPECT_EQ(face->text(QAccessible::Name), "ENV1 envelope");
    EXPECT_EQ(Said(0).toStdString(),
              DescribeEnvelope("ENV1", ReadEnvelope(dlg.form(), EnvelopeSections()[0]), EnvelopeMode::Loop));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Env(1))->text(QAccessible::Name), "ENV2 envelope");
    Shot(frame->EnvelopeWindow(), QStringLiteral("envelopes-default"));

    // Qt tells screen readers whenever the description changes; here it changes with the values, ENV2's not.
    const QString env2 = Said(1);
    dlg.UserMovedSlider(ctl::Env1Level, 255);
    dlg.UserMovedSlider(ctl::Env1Attack, 0);
    dlg.UserMovedSlider(ctl::Env1Sustain, 204);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return Said(0).startsWith("ENV1: instant attack to full level, decay to 80 %, ");
    })) << Said(0).toStdString();
    EXPECT_EQ(Said(1), env2);
    dlg.UserMovedSlider(ctl::Env1Sustain, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Said(0).contains(", decay to 0 %, "); })) << Said(0).toStdString();
    // Reached with Tab, so that a screen reader says it.
    EXPECT_EQ(Env(0)->focusPolicy(), Qt::StrongFocus);
}

TEST_F(EnvelopeWindow, OpensFromTheKeyboardEvenInATextBoxAndEscapeClosesIt) {
    Start();
    QWidget* name = frame->Form()->WidgetForId(ctl::PatchName);
    name->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return name->hasFocus(); }));
    QTest::keyClick(name, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_NE(frame->EnvelopeWindow(), nullptr);
    EXPECT_EQ(profile.ints[kOpenKey], 1);
    CEnvelopeWnd* window = frame->EnvelopeWindow();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == window->View(0); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->EnvelopeWindow() == nullptr; }));
    EXPECT_EQ(profile.ints[kOpenKey], 0);
    EXPECT_FALSE(app.IsCommandChecked(cmd::EnvelopeWindow));
    // The command both opens and closes it.
    ASSERT_TRUE(app.OnCommand(cmd::EnvelopeWindow));
    ASSERT_NE(frame->EnvelopeWindow(), nullptr);
    ASSERT_TRUE(app.OnCommand(cmd::EnvelopeWindow));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->EnvelopeWindow() == nullptr; }));
    EXPECT_EQ(profile.ints[kOpenKey], 0);
}

TEST_F(EnvelopeWindow, OpenAtTheEndIsOpenAtTheNextStart) {
    profile.ints[kOpenKey] = 1;
    Start();
    ASSERT_NE(frame->EnvelopeWindow(), nullptr);
    EXPECT_TRUE(app.IsCommandChecked(cmd::EnvelopeWindow));
    ASSERT_TRUE(Shows(0) && Shows(1));
    // The program ends with it open: the profile still says open.
    frame->close();
    frame.reset();
    EXPECT_EQ(profile.ints[kOpenKey], 1);
}

struct EnvelopeProfile : EnvelopeWindow, ::testing::WithParamInterface<int> {};

TEST_P(EnvelopeProfile, AnEntryOtherThanOneLeavesItShut) {
    profile.ints[kOpenKey] = GetParam();
    Start();
    EXPECT_EQ(frame->EnvelopeWindow(), nullptr);
    EXPECT_FALSE(app.IsCommandChecked(cmd::EnvelopeWindow));
}
INSTANTIATE_TEST_SUITE_P(Hostile, EnvelopeProfile, ::testing::Values(0, 2, -1, INT_MIN, INT_MAX));

}  // namespace
