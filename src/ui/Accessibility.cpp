// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Accessibility.h"

#include "ui/CEnvelopeWnd.h"
#include "ui/GroupFrame.h"
#include "ui/TextUnits.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <memory>

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
    // One run without attributes, so that the whole entry is spoken.
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return TextUnit(Entry(), offset, type, 0, start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return TextUnit(Entry(), offset, type, -1, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return TextUnit(Entry(), offset, type, 1, start, end);
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

// A one-line text box, read whole. Qt's own reports each character as an attribute run of its own that ends
// where it starts, and a screen reader that speaks a line run by run stops one character short ("Init Sa"); and
// it never answers when asked for the word or sentence at the end of the text, where the caret usually is.
// Edits from a screen reader go through the box as typing does: its validator, then textEdited.
class LineEditAccessible : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface {
public:
    explicit LineEditAccessible(QLineEdit* edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

    QLineEdit* Edit() const { return static_cast<QLineEdit*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        if (t == QAccessible::EditableTextInterface) return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // What the box shows: a password box only its mask.
    QString Shown() const { return Edit()->echoMode() == QLineEdit::Normal ? Edit()->text() : Edit()->displayText(); }

    QString text(QAccessible::Text t) const override {
        QString s = t == QAccessible::Value ? Shown() : QString();
        if (s.isEmpty()) s = QAccessibleWidget::text(t);
        if (s.isEmpty() && t == QAccessible::Description) s = Edit()->placeholderText();
        return s;
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (t != QAccessible::Value) return QAccessibleWidget::setText(t, text);
        if (Edit()->isReadOnly()) return;
        Edit()->selectAll();
        Edit()->insert(text);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = true;
        s.readOnly = Edit()->isReadOnly();
        s.passwordEdit = Edit()->echoMode() != QLineEdit::Normal;
        s.selectableText = true;
        return s;
    }

    // QAccessibleTextInterface
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index != 0 || !Edit()->hasSelectedText()) return;
        *start = Edit()->selectionStart();
        *end = Edit()->selectionEnd();
    }
    int selectionCount() const override { return Edit()->hasSelectedText() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index == 0) Edit()->deselect();
    }
    void setSelection(int index, int start, int end) override {
        if (index != 0) return;
        start = Clamped(start);
        end = end < 0 ? characterCount() : Clamped(end);
        Edit()->setSelection(start, end - start);
    }
    int cursorPosition() const override { return Edit()->cursorPosition(); }
    void setCursorPosition(int position) override { Edit()->setCursorPosition(Clamped(position)); }
    QString text(int start, int end) const override {
        const QString shown = Shown();
        end = end < 0 ? static_cast<int>(shown.size()) : Clamped(end);
        start = std::clamp(start, 0, end);
        return shown.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(Shown().size()); }

    // The box has no formatting of its own: all of its text is one run without attributes.
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return TextUnit(Shown(), Caret(offset), type, 0, start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return TextUnit(Shown(), Caret(offset), type, -1, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return TextUnit(Shown(), Caret(offset), type, 1, start, end);
    }

    QRect characterRect(int offset) const override {
        const QString shown = Edit()->displayText();
        if (offset < 0 || offset >= shown.size()) return {};
        // From the caret, which the box places with its margins and scrolling.
        const QRect caret = Edit()->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        const QFontMetrics metrics = Edit()->fontMetrics();
        const int x = caret.x() + metrics.horizontalAdvance(shown.left(offset)) -
                      metrics.horizontalAdvance(shown.left(Edit()->cursorPosition()));
        const QRect rect(x, caret.y(), metrics.horizontalAdvance(shown.at(offset)), caret.height());
        return {Edit()->mapToGlobal(rect.topLeft()), rect.size()};
    }
    int offsetAtPoint(const QPoint& point) const override {
        return Edit()->cursorPositionAt(Edit()->mapFromGlobal(point));
    }
    void scrollToSubstring(int start, int end) override {
        Edit()->setCursorPosition(Clamped(end));
        Edit()->setCursorPosition(Clamped(start));
    }

    // QAccessibleEditableTextInterface
    void deleteText(int start, int end) override { replaceText(start, end, {}); }
    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
    void replaceText(int start, int end, const QString& text) override {
        if (Edit()->isReadOnly()) return;
        start = Clamped(start);
        end = std::max(start, end < 0 ? characterCount() : Clamped(end));
        Edit()->setSelection(start, end - start);
        if (text.isEmpty() && end > start) {
            Edit()->del();
        } else {
            Edit()->insert(text);
        }
    }

private:
    int Clamped(int offset) const { return std::clamp(offset, 0, characterCount()); }
    // The bridge asks for the unit at the caret as offset -2.
    int Caret(int offset) const { return offset == -2 ? Edit()->cursorPosition() : offset; }
};

// A spin box: its value, and its text read through its box as a one-line text box is (Qt's own reads it through
// Qt's line edit interface, with the same faults).
class SpinBoxAccessible : public QAccessibleWidget,
                          public QAccessibleValueInterface,
                          public QAccessibleTextInterface,
                          public QAccessibleEditableTextInterface {
public:
    SpinBoxAccessible(QAbstractSpinBox* spin, QLineEdit* edit)
        : QAccessibleWidget(spin, QAccessible::SpinBox), m_text(std::make_unique<LineEditAccessible>(edit)) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        if (t == QAccessible::EditableTextInterface) return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return static_cast<QAbstractSpinBox*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !static_cast<QAbstractSpinBox*>(widget())->isReadOnly();
        s.readOnly = !s.editable;
        return s;
    }

    // QAccessibleValueInterface: QSpinBox and QDoubleSpinBox alike, by their properties.
    QVariant currentValue() const override { return widget()->property("value"); }
    void setCurrentValue(const QVariant& value) override { widget()->setProperty("value", value); }
    QVariant maximumValue() const override { return widget()->property("maximum"); }
    QVariant minimumValue() const override { return widget()->property("minimum"); }
    QVariant minimumStepSize() const override { return widget()->property("singleStep"); }

    // QAccessibleTextInterface and QAccessibleEditableTextInterface: the box's.
    void selection(int index, int* start, int* end) const override { m_text->selection(index, start, end); }
    int selectionCount() const override { return m_text->selectionCount(); }
    void addSelection(int start, int end) override { m_text->addSelection(start, end); }
    void removeSelection(int index) override { m_text->removeSelection(index); }
    void setSelection(int index, int start, int end) override { m_text->setSelection(index, start, end); }
    int cursorPosition() const override { return m_text->cursorPosition(); }
    void setCursorPosition(int position) override { m_text->setCursorPosition(position); }
    QString text(int start, int end) const override { return m_text->text(start, end); }
    int characterCount() const override { return m_text->characterCount(); }
    QString attributes(int offset, int* start, int* end) const override {
        return m_text->attributes(offset, start, end);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return m_text->textAtOffset(offset, type, start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return m_text->textBeforeOffset(offset, type, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return m_text->textAfterOffset(offset, type, start, end);
    }
    QRect characterRect(int offset) const override { return m_text->characterRect(offset); }
    int offsetAtPoint(const QPoint& point) const override { return m_text->offsetAtPoint(point); }
    void scrollToSubstring(int start, int end) override { m_text->scrollToSubstring(start, end); }
    void deleteText(int start, int end) override { m_text->deleteText(start, end); }
    void insertText(int offset, const QString& text) override { m_text->insertText(offset, text); }
    void replaceText(int start, int end, const QString& text) override { m_text->replaceText(start, end, text); }

private:
    // Not in the tree: the spin box reads its text through it.
    std::unique_ptr<LineEditAccessible> m_text;
};

// Shown for a moment to say a message: screen readers speak a notification that appears, wherever the focus is.
class Announcer : public QWidget {
public:
    using QWidget::QWidget;
};

class NotificationAccessible : public QAccessibleWidget {
public:
    explicit NotificationAccessible(Announcer* announcer) : QAccessibleWidget(announcer, QAccessible::Notification) {}
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
    // Also the box inside an editable list, which reads its text through it.
    if (auto* edit = qobject_cast<QLineEdit*>(object)) return new LineEditAccessible(edit);
    if (qobject_cast<QSpinBox*>(object) != nullptr || qobject_cast<QDoubleSpinBox*>(object) != nullptr) {
        auto* spin = static_cast<QAbstractSpinBox*>(object);
        if (auto* edit = spin->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly))
            return new SpinBoxAccessible(spin, edit);
    }
    // The frame has no meta-object of its own.
    if (auto* frame = dynamic_cast<GroupFrame*>(object)) return new GroupAccessible(frame);
    if (auto* announcer = dynamic_cast<Announcer*>(object)) return new NotificationAccessible(announcer);
    // A picture, said by its name and its words.
    if (auto* envelope = dynamic_cast<EnvelopeView*>(object))
        return new QAccessibleWidget(envelope, QAccessible::Graphic);
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

// A text box that the Tab key reaches selects its text as it takes the focus, and Qt tells screen readers of the
// selection before the focus: they then speak the selected text as if the caret had moved in the box they were
// in, and never the box's name. Told of the focus first, they speak the box, its name and its text.
class FocusBeforeSelection : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn && qobject_cast<QLineEdit*>(watched) != nullptr &&
            QAccessible::isActive()) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason) {
                QAccessibleEvent focus(watched, QAccessible::Focus);
                QAccessible::updateAccessibility(&focus);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (installed || qApp == nullptr) return;
    installed = true;
    QAccessible::installFactory(Factory);
    qApp->installEventFilter(new KeyboardContextMenus(qApp));
    qApp->installEventFilter(new FocusBeforeSelection(qApp));
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

void Announce(QWidget* window, const QString& text) {
    if (window == nullptr || text.isEmpty()) return;
    // Found by its name: it has no meta-object of its own, which findChild would need to tell it from others.
    const QString name = QStringLiteral("quarn-announcer");
    auto* announcer = dynamic_cast<Announcer*>(window->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly));
    if (announcer == nullptr) {
        announcer = new Announcer(window);
        announcer->setObjectName(name);
        announcer->setFixedSize(0, 0);
        announcer->hide();
    }
    // From the event loop, where a message box that the same news opens is already up: it says the text itself.
    QTimer::singleShot(0, announcer, [announcer, text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && box->text() == text)
            return;
        announcer->hide();
        announcer->setAccessibleName(text);
        announcer->show();
    });
}
