// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Accessibility.h"

#include "ui/GroupFrame.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScopedValueRollback>

#include <algorithm>

namespace {

QString WithoutMnemonic(QString text) {
    // "&&" is a shown ampersand; a single one only marks the mnemonic.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

// A drop-down list as screen readers should hear it: its own name, its entry as value (the entry's
// Qt::AccessibleTextRole where the program gave one, such as "fixed value"), its opened list as its child.
// The entry is also its read-only text, which is where screen readers look for what a list shows.
class NamedListAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit NamedListAccessible(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

    QComboBox* List() const { return static_cast<QComboBox*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString Entry() const {
        const QVariant spoken = List()->currentData(Qt::AccessibleTextRole);
        return spoken.isValid() ? spoken.toString() : List()->currentText();
    }

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? Entry() : QAccessibleWidget::text(t);
    }

    // QAccessibleTextInterface: the entry, read only, without a cursor of its own.
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        const QString entry = Entry();
        if (end < 0 || end > entry.size()) end = static_cast<int>(entry.size());
        start = std::clamp(start, 0, end);
        return entry.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(Entry().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(List()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child->object() == List()->view() ? 0 : -1;
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = List()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name == showMenuAction() || name == pressAction()) {
            if (List()->view()->isVisible()) {
                List()->hidePopup();
            } else {
                List()->showPopup();
            }
            return;
        }
        QAccessibleWidget::doAction(name);
    }
};

class GroupAccessible : public QAccessibleWidget {
public:
    explicit GroupAccessible(GroupFrame* frame) : QAccessibleWidget(frame, QAccessible::Grouping) {}
    QString text(QAccessible::Text t) const override {
        const QString own = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && own.isEmpty()) return static_cast<GroupFrame*>(widget())->Title();
        return own;
    }
};

QAccessibleInterface* Factory(const QString& /*className*/, QObject* object) {
    if (auto* list = qobject_cast<QComboBox*>(object); list != nullptr && !list->isEditable())
        return new NamedListAccessible(list);
    // The frame has no meta-object of its own.
    if (auto* frame = dynamic_cast<GroupFrame*>(object)) return new GroupAccessible(frame);
    return nullptr;
}

// Opens context menus from the keyboard. On X11 the window system turns the context-menu key into a context
// menu event of its own as well as the key; whichever comes first opens the menu and the other is passed by, so
// that no menu opens twice, until the key is let go.
class KeyboardContextMenus : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::ContextMenu:
                if (m_sending || static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Keyboard) break;
                if (m_menuKey == MenuKey::OpenedHere) return true;
                m_menuKey = MenuKey::OpenedByPlatform;
                break;
            case QEvent::KeyPress: {
                if (!watched->isWidgetType()) break;
                const auto* key = static_cast<QKeyEvent*>(event);
                if (key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier) {
                    if (m_menuKey == MenuKey::OpenedByPlatform) break;
                    if (m_menuKey == MenuKey::OpenedHere) return true;  // held down
                    if (!OpenMenu(static_cast<QWidget*>(watched))) break;
                    m_menuKey = MenuKey::OpenedHere;
                    return true;
                }
                if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier && !key->isAutoRepeat())
                    return OpenMenu(static_cast<QWidget*>(watched));
                break;
            }
            case QEvent::KeyRelease:
                if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Menu &&
                    !static_cast<QKeyEvent*>(event)->isAutoRepeat())
                    m_menuKey = MenuKey::Up;
                break;
            default: break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool OpenMenu(QWidget* target) {
        // An open menu takes its keys itself.
        if (QApplication::activePopupWidget() != nullptr) return false;
        if (QWidget* focus = QApplication::focusWidget()) target = focus;
        if (target == nullptr || target->contextMenuPolicy() == Qt::NoContextMenu) return false;
        // Under the control, where a screen magnifier shows it: in a text box at the cursor.
        QPoint pos = target->rect().center();
        if (target->testAttribute(Qt::WA_InputMethodEnabled)) {
            const QRect cursor = target->inputMethodQuery(Qt::ImCursorRectangle).toRect();
            if (cursor.isValid() && target->rect().contains(cursor.center())) pos = cursor.center();
        }
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, pos, target->mapToGlobal(pos), Qt::NoModifier);
        const QScopedValueRollback sending(m_sending, true);
        QApplication::sendEvent(target, &menu);
        return true;
    }

    enum class MenuKey { Up, OpenedHere, OpenedByPlatform };
    bool m_sending = false;
    MenuKey m_menuKey = MenuKey::Up;
};

}  // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (installed || qApp == nullptr) return;
    installed = true;
    QAccessible::installFactory(Factory);
    qApp->installEventFilter(new KeyboardContextMenus(qApp));
}

void NameBuddies(QWidget* root) {
    for (QLabel* label : root->findChildren<QLabel*>()) {
        QWidget* buddy = label->buddy();
        if (buddy == nullptr || !buddy->accessibleName().isEmpty()) continue;
        QString text = WithoutMnemonic(label->text()).trimmed();
        if (text.endsWith(QLatin1Char(':'))) text.chop(1);
        buddy->setAccessibleName(text);
    }
}
