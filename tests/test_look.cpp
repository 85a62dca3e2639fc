// SPDX-License-Identifier: GPL-3.0-or-later
// The form stays readable: every text fits where the template puts it, at the template's font and at a larger
// one, and no text lies over another but where the template itself overlaps two items.
#include "EditorRig.h"
#include "GuiHelpers.h"

#include "editor/ControlTable.h"
#include "editor/ParameterMap.h"
#include "ui/CAboutDlg.h"
#include "ui/DialogUnits.h"
#include "ui/FormWidget.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <gtest/gtest.h>

namespace {

const auto* const kFolders = ::testing::AddGlobalTestEnvironment(new HermeticFolders);

// The rectangle a text item's words take up, in the form's pixels; empty for other items.
QRect TextRect(QWidget* w) {
    const QFontMetrics metrics(w->font());
    if (auto* label = qobject_cast<QLabel*>(w))
        return {w->geometry().topLeft(), QSize(metrics.horizontalAdvance(label->text()), metrics.height())};
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton option;
        option.initFrom(box);
        const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, box) +
                              box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, box);
        return {w->geometry().topLeft() + QPoint(indicator, 0),
                QSize(metrics.horizontalAdvance(box->text()), metrics.height())};
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        const QString shown = QString(button->text()).remove(QLatin1Char('&'));
        const QSize size(metrics.horizontalAdvance(shown), metrics.height());
        return {w->geometry().center() - QPoint(size.width() / 2, size.height() / 2), size};
    }
    return {};
}

struct LookTest : ::testing::Test, EditorRig {
    void SetUp() override {
        Gui();
        dlg.OnInitialUpdate();
        FillAsLoaded();
    }

    // Every text that does not fit its item, or runs into another item, as "text: why".
    std::vector<std::string> Problems(FormWidget& view) {
        std::vector<std::string> problems;
        for (const ControlDef& def : FormControls()) {
            QWidget* w = view.WidgetAt(def.place);
            const QRect text = TextRect(w);
            if (text.isEmpty()) continue;
            const std::string name = qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text().toStdString()
                                     : qobject_cast<QCheckBox*>(w)
                                         ? qobject_cast<QCheckBox*>(w)->text().toStdString()
                                         : qobject_cast<QPushButton*>(w)->text().toStdString();
            if (text.right() > w->geometry().right() + 1) problems.push_back(name + ": cut off");
            for (const ControlDef& other : FormControls()) {
                if (other.place == def.place || other.kind == ControlKind::GroupBox) continue;
                QWidget* o = view.WidgetAt(other.place);
                // The template's own overlap: the "QL" button lies over the start of the "Author" label.
                if ((def.text == "Author" && other.id == ctl::QuickLoad) ||
                    (def.id == ctl::QuickLoad && other.text == "Author"))
                    continue;
                if (o->geometry().intersects(text))
                    problems.push_back(name + ": under item " + std::to_string(other.place));
            }
        }
        return problems;
    }
};

TEST_F(LookTest, EveryTextFitsForEveryFilterTypeAtTheTemplatesFontAndALargerOne) {
    for (const int points : {kFormFontPointSize, kFormFontPointSize * 3 / 2}) {
        SCOPED_TRACE(points);
        FormWidget view(dlg);
        QFont font = FormFont();
        font.setPointSize(points);
        view.setFont(font);
        // The larger font lays the form out again in its own dialog units, as the template would be.
        const DialogUnits du = DialogUnits::ForFont(font);
        for (const ControlDef& def : FormControls()) {
            QWidget* w = view.WidgetAt(def.place);
            QRect r = du.Rect(def.rect);
            if (def.kind == ControlKind::List) r.setHeight(w->sizeHint().height());  // closed
            w->setGeometry(r);
        }
        for (int type = 0; type < static_cast<int>(kFilterTypes.size()); ++type) {
            form.SetCurSel(ctl::FilterType, type);
            dlg.OnFilterTypeChanged();
            EXPECT_EQ(Problems(view), std::vector<std::string>{}) << "filter type " << type;
        }
    }
}

// The About box says under which licence the program is free, beside the version, and every text of it fits:
// no word cut off, none under the OK button.
TEST(AboutLook, TheLicenceLineFitsBesideTheVersion) {
    Gui();
    CAboutDlg about;
    about.show();
    auto* licence = about.findChild<QLabel*>(QStringLiteral("licence"));
    ASSERT_NE(licence, nullptr);
    EXPECT_EQ(licence->text(), QStringLiteral("Free software: GNU GPL version 3 or later"));
    const QPushButton* ok = about.findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;  // the icon
        const QRect text = TextRect(const_cast<QLabel*>(label));
        EXPECT_LE(text.right(), label->geometry().right()) << label->text().toStdString();
        EXPECT_LE(text.right(), about.width()) << label->text().toStdString();
        EXPECT_FALSE(text.intersects(ok->geometry())) << label->text().toStdString();
    }
    if (const char* folder = std::getenv("QUARN_SCREENSHOTS"))
        about.grab().save(QString::fromUtf8(folder) + "/about.png");
}

}  // namespace
