// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ControllerMenu.h"

#include "app/ControllerLearn.h"

#include <QAction>
#include <QFrame>
#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QString>

bool ShowControllerMenu(ControllerLearn& learn, int target, const QPoint& globalPos, QWidget* parent) {
    if (learn.IsLearning()) {
        learn.CancelLearn();
        return true;
    }
    if (!learn.CanLearn(target)) return false;
    QMenu menu(parent);
    menu.setAccessibleName(QStringLiteral("Controller"));
    QAction* learnAction = menu.addAction(QStringLiteral("&Learn Controller"));
    // Forget names what it forgets: the controller, as the Controllers dialog lists it.
    QAction* forgetAction = nullptr;
    if (const std::optional<ControllerBinding> bound = learn.BindingOf(target)) {
        QString controller = QStringLiteral("CC %1").arg(bound->controller);
        if (bound->fine) controller += QStringLiteral("/%1").arg(bound->controller + 32);
        forgetAction = menu.addAction(QStringLiteral("&Forget Controller (%1)").arg(controller));
    }
    QAction* chosen = menu.exec(globalPos);
    if (chosen == nullptr) return true;
    if (chosen == learnAction) learn.BeginLearn(target);
    if (chosen == forgetAction) learn.Forget(target);
    return true;
}

namespace {

// The frame's name among its parent's children: one control waits at a time, so one frame is enough.
constexpr const char* kMarkName = "quarn-learn-mark";
constexpr int kMarkMargin = 3;

}  // namespace

void MarkLearnTarget(QWidget* control, bool waiting) {
    if (control == nullptr || control->parentWidget() == nullptr) return;
    QWidget* parent = control->parentWidget();
    auto* mark = parent->findChild<QFrame*>(QString::fromLatin1(kMarkName), Qt::FindDirectChildrenOnly);
    if (!waiting) {
        delete mark;
        return;
    }
    if (mark == nullptr) {
        mark = new QFrame(parent);
        mark->setObjectName(QString::fromLatin1(kMarkName));
        // Drawn over the control, it lets every click and key through to it.
        mark->setAttribute(Qt::WA_TransparentForMouseEvents);
        mark->setFocusPolicy(Qt::NoFocus);
        mark->setStyleSheet(
            QStringLiteral("QFrame#%1 { border: 2px dashed palette(highlight); background: transparent; }")
                .arg(QString::fromLatin1(kMarkName)));
    }
    mark->setGeometry(control->geometry().adjusted(-kMarkMargin, -kMarkMargin, kMarkMargin, kMarkMargin));
    mark->show();
    mark->raise();
}

QString LearnWaitingDescription() {
    return QStringLiteral("Learn Controller waits: move a knob or slider on your controller");
}
