// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ControllerMenu.h"

#include "app/ControllerLearn.h"

#include <QAction>
#include <QMenu>
#include <QPoint>
#include <QPointer>

bool ShowControllerMenu(ControllerLearn& learn, int target, const QPoint& globalPos, QWidget* parent) {
    if (learn.IsLearning()) {
        learn.CancelLearn();
        return true;
    }
    if (!learn.CanLearn(target)) return false;
    QMenu menu(parent);
    menu.setAccessibleName(QStringLiteral("Controller"));
    QAction* learnAction = menu.addAction(QStringLiteral("&Learn Controller"));
    QAction* forgetAction = learn.BindingOf(target) ? menu.addAction(QStringLiteral("&Forget Controller")) : nullptr;
    QAction* chosen = menu.exec(globalPos);
    if (chosen == nullptr) return true;
    if (chosen == learnAction) learn.BeginLearn(target);
    if (chosen == forgetAction) learn.Forget(target);
    return true;
}
