// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Context menus in window tests: what the next one offers, and choosing an entry.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

// What the next context menu offers; chooses the entry `choose` names (with its mnemonic), or closes it.
struct MenuAnswer {
    QStringList offered;
    bool opened = false;
};
inline void OnNextMenu(MenuAnswer& answer, const QString& choose, int triesLeft = 500) {
    QTimer::singleShot(triesLeft == 500 ? 0 : 10, [&answer, choose, triesLeft] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr && triesLeft > 0) return OnNextMenu(answer, choose, triesLeft - 1);
        ASSERT_NE(menu, nullptr) << "no menu opened";
        answer.opened = true;
        for (QAction* action : menu->actions()) answer.offered << action->text();
        for (QAction* action : menu->actions()) {
            if (action->text() != choose) continue;
            menu->setActiveAction(action);
            return QTest::keyClick(menu, Qt::Key_Return);
        }
        menu->close();
    });
}
