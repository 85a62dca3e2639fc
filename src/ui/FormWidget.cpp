// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FormWidget.h"

#include "editor/CMainDlg.h"
#include "editor/ControlNames.h"
#include "editor/ParameterMap.h"
#include "ui/ControllerMenu.h"
#include "ui/GroupFrame.h"
#include "ui/UiText.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

namespace {

QString TextOf(const ControlDef& def) {
    return QString::fromUtf8(def.text.data(), static_cast<qsizetype>(def.text.size()));
}

bool InTabOrder(ControlKind kind) {
    switch (kind) {
        case ControlKind::EditBox:
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
        case ControlKind::Slider:
        case ControlKind::List: return true;
        case ControlKind::Label:
        case ControlKind::GroupBox:
        case ControlKind::ValueBox: return false;
    }
    return false;
}

// A list's template height is that of the opened drop-down; the closed box keeps the style's own height,
// and whatever is left below it holds the visible entries.
int VisibleEntries(int dropDownPixels, int closedHeight, int entryHeight) {
    return std::max(1, (dropDownPixels - closedHeight - 2) / std::max(1, entryHeight));
}

}  // namespace

FormWidget::FormWidget(CMainDlg& form, QWidget* parent) : QWidget(parent), m_form(form), m_state(form.form()) {
    setFont(FormFont());
    m_units = DialogUnits::ForFont(font());
    setFixedSize(m_units.X(kFormWidthDlu), m_units.Y(kFormHeightDlu));

    // Created in template order, so the focus chain starts out in template order too. Where items overlap
    // the later one lies on top, which keeps the "QL" button whole over the end of the "Author" label.
    QWidget* previousStop = nullptr;
    for (const ControlDef& def : FormControls()) {
        QWidget* item = CreateItem(def);
        m_items.push_back(item);
        if (def.id != kNoId) m_byId[def.id] = item;
        if (InTabOrder(def.kind)) {
            if (previousStop != nullptr) QWidget::setTabOrder(previousStop, item);
            previousStop = item;
        }
    }

    m_state.SetObserver(this);
    for (const auto& [id, widget] : m_byId) ControlChanged(id);
    NameControls();
}

void FormWidget::NameControls() {
    for (const ControlDef& def : FormControls()) {
        if (def.id == kNoId || def.kind == ControlKind::Label) continue;
        QWidget* widget = WidgetForId(def.id);
        const QString name = ToQString(AccessibleName(m_state, def.id));
        if (widget->accessibleName() != name) widget->setAccessibleName(name);
        const QString description =
            def.id == m_learnTarget ? LearnWaitingDescription() : ToQString(AccessibleDescription(m_state, def.id));
        if (widget->accessibleDescription() != description) widget->setAccessibleDescription(description);
    }
}

FormWidget::~FormWidget() { m_state.SetObserver(nullptr); }

void FormWidget::SetLearnTarget(std::optional<int> id) {
    if (id && !m_byId.contains(*id)) id.reset();
    if (id == m_learnTarget) return;
    if (m_learnTarget) MarkLearnTarget(WidgetForId(*m_learnTarget), false);
    m_learnTarget = id;
    if (m_learnTarget) MarkLearnTarget(WidgetForId(*m_learnTarget), true);
    NameControls();
}

QWidget* FormWidget::CreateItem(const ControlDef& def) {
    const QRect rect = m_units.Rect(def.rect);
    const int id = def.id;
    QWidget* item = nullptr;

    switch (def.kind) {
        case ControlKind::Label: {
            auto* label = new QLabel(TextOf(def), this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            // A label is only text: a click on it reaches whatever lies below.
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
            item = label;
            break;
        }
        case ControlKind::GroupBox: {
            item = new GroupFrame(TextOf(def), this);
            item->setAccessibleName(TextOf(def));
            break;
        }
        case ControlKind::EditBox:
        case ControlKind::ValueBox: {
            auto* edit = new QLineEdit(this);
            if (def.kind == ControlKind::ValueBox) {
                edit->setReadOnly(true);
                edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
                edit->setFocusPolicy(Qt::ClickFocus);
                // Shown on the window's colour, as a box that cannot be typed into.
                QPalette palette = edit->palette();
                palette.setColor(QPalette::Base, palette.color(QPalette::Window));
                edit->setPalette(palette);
            }
            // Only the user's typing: the program's own writes arrive through the state with signals blocked.
            connect(edit, &QLineEdit::textEdited, this, [this, id, edit](const QString& text) {
                const int cursor = edit->cursorPosition();
                m_form.UserEdited(id, FromQString(text));
                // The form took less than was typed, as its field was full: the cursor stays where the typing
                // was taken up to, not at the end where showing the text put it.
                const auto refused = static_cast<int>(text.size() - edit->text().size());
                if (refused > 0) edit->setCursorPosition(std::max(0, cursor - refused));
            });
            edit->installEventFilter(this);
            item = edit;
            break;
        }
        case ControlKind::PushButton: {
            auto* button = new QPushButton(TextOf(def), this);
            button->setAutoDefault(false);
            connect(button, &QPushButton::clicked, this, [this, id] { m_form.UserClicked(id); });
            item = button;
            break;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(TextOf(def), this);
            // The form toggles its own state; the box is then redrawn from it.
            connect(box, &QCheckBox::clicked, this, [this, id] { m_form.UserClicked(id); });
            box->installEventFilter(this);
            item = box;
            break;
        }
        case ControlKind::Slider: {
            auto* slider = new QSlider(Qt::Horizontal, this);
            slider->setTickPosition(QSlider::NoTicks);
            slider->setFocusPolicy(Qt::StrongFocus);
            // Every notification runs the handler once. Steps, keys and the wheel arrive as actions, with the
            // new position already in sliderPosition(); a drag arrives as moves and one release. A drag also
            // raises a move action after each sliderMoved, which is the same notification and is skipped.
            connect(slider, &QAbstractSlider::actionTriggered, this, [this, id, slider](int action) {
                if (action == QAbstractSlider::SliderMove && slider->isSliderDown()) return;
                m_form.UserMovedSlider(id, slider->sliderPosition());
            });
            connect(slider, &QAbstractSlider::sliderMoved, this,
                    [this, id](int position) { m_form.UserMovedSlider(id, position); });
            // A drag is one undo step, from the press to the release.
            connect(slider, &QAbstractSlider::sliderPressed, this, [this, id] { m_form.UserBeganDrag(id); });
            connect(slider, &QAbstractSlider::sliderReleased, this, [this, id, slider] {
                m_form.UserMovedSlider(id, slider->sliderPosition());
                m_form.UserEndedGesture(id);
            });
            slider->installEventFilter(this);
            item = slider;
            break;
        }
        case ControlKind::List: {
            auto* list = new QComboBox(this);
            list->setEditable(false);
            list->setInsertPolicy(QComboBox::NoInsert);
            list->setMaxVisibleItems(
                VisibleEntries(rect.height(), list->sizeHint().height(), QFontMetrics(font()).height()));
            connect(list, &QComboBox::activated, this, [this, id](int index) { m_form.UserSelected(id, index); });
            list->installEventFilter(this);
            item = list;
            break;
        }
    }

    if (def.kind == ControlKind::List) {
        item->setGeometry(rect.x(), rect.y(), rect.width(), static_cast<QComboBox*>(item)->sizeHint().height());
    } else {
        item->setGeometry(rect);
    }
    item->setObjectName(id != kNoId ? QString::number(id) : QStringLiteral("item%1").arg(def.place));
    return item;
}

bool FormWidget::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    switch (event->type()) {
        case QEvent::Wheel:
            // The wheel turns only the control that has the keyboard focus; passing over another changes nothing.
            if (widget != nullptr && !widget->hasFocus()) return true;
            break;
        case QEvent::FocusOut:
            // Typing in a box is one undo step until the focus leaves it.
            if (widget != nullptr && !widget->objectName().isEmpty())
                m_form.UserEndedGesture(widget->objectName().toInt());
            break;
        case QEvent::ContextMenu:
            // A control given a menu of its own keeps it.
            if (widget != nullptr && m_controlMenu && widget->contextMenuPolicy() == Qt::DefaultContextMenu) {
                bool isId = false;
                const int id = widget->objectName().toInt(&isId);
                if (isId && m_controlMenu(id, static_cast<QContextMenuEvent*>(event)->globalPos())) return true;
            }
            break;
        case QEvent::ShortcutOverride: {
            // Undo and redo are the editor's, also while a text box has the focus.
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
                key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y))
                return true;
            break;
        }
        default: break;
    }
    return QWidget::eventFilter(watched, event);
}

void FormWidget::contextMenuEvent(QContextMenuEvent* event) {
    // Between the controls, and on labels, which let the mouse through.
    if (m_controlMenu && m_controlMenu(kNoId, event->globalPos())) return event->accept();
    QWidget::contextMenuEvent(event);
}

QWidget* FormWidget::WidgetForId(int id) const {
    const auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

QWidget* FormWidget::WidgetAt(int place) const {
    if (place < 1 || place > static_cast<int>(m_items.size())) return nullptr;
    return m_items[static_cast<std::size_t>(place - 1)];
}

void FormWidget::ControlChanged(int id) {
    QWidget* widget = WidgetForId(id);
    if (widget == nullptr) return;
    const ControlState& state = m_state.Get(id);
    const QSignalBlocker blocker(widget);
    widget->setEnabled(state.enabled);

    switch (state.kind) {
        case ControlKind::Slider: {
            auto* slider = static_cast<QSlider*>(widget);
            slider->setRange(state.rangeMin, state.rangeMax);
            slider->setPageStep(m_state.GetPageSize(id));
            slider->setSingleStep(1);
            slider->setValue(state.position);
            break;
        }
        case ControlKind::List: {
            auto* list = static_cast<QComboBox*>(widget);
            // Compared as the form holds them: a moved slider changes only the first entry of its source
            // list, and rewriting that one entry costs far less than emptying and refilling the list.
            std::vector<std::string>& shown = m_shownEntries[id];
            if (shown != state.entries) {
                if (shown.size() == state.entries.size() && list->count() == static_cast<int>(shown.size())) {
                    for (std::size_t i = 0; i < shown.size(); ++i)
                        if (shown[i] != state.entries[i])
                            list->setItemText(static_cast<int>(i), ToQString(state.entries[i]));
                } else {
                    QStringList entries;
                    entries.reserve(static_cast<qsizetype>(state.entries.size()));
                    for (const std::string& entry : state.entries) entries.push_back(ToQString(entry));
                    list->clear();
                    list->addItems(entries);
                }
                shown = state.entries;
                // A source list's first entry is the slider's value; a screen reader says "fixed value".
                const std::string spoken = SpokenEntry(m_state, id, 0);
                if (!shown.empty() && spoken != shown.front())
                    list->setItemData(0, ToQString(spoken), Qt::AccessibleTextRole);
            }
            if (list->currentIndex() != state.selection) list->setCurrentIndex(state.selection);
            // The row-3 slider is called what its mode list shows.
            if (!m_items.empty() && FindRow(kOscillators, &Oscillator::modeList, id) != nullptr) NameControls();
            break;
        }
        case ControlKind::CheckBox: static_cast<QCheckBox*>(widget)->setChecked(state.checked); break;
        case ControlKind::EditBox:
        case ControlKind::ValueBox: {
            auto* edit = static_cast<QLineEdit*>(widget);
            // Rewriting the text the user is typing would move the cursor to its end.
            const QString text = ToQString(state.text);
            if (edit->text() != text) edit->setText(text);
            break;
        }
        case ControlKind::Label:
            static_cast<QLabel*>(widget)->setText(ToQString(state.text));
            // The rows it labels are called what it shows now.
            if (!m_items.empty()) NameControls();
            break;
        case ControlKind::PushButton: static_cast<QPushButton*>(widget)->setText(ToQString(state.text)); break;
        case ControlKind::GroupBox: static_cast<GroupFrame*>(widget)->SetTitle(ToQString(state.text)); break;
    }
}

std::uintptr_t FormWidget::WindowId() { return static_cast<std::uintptr_t>(window()->winId()); }

std::pair<int, int> FormWidget::ClientOriginOnScreen() {
    const QPoint origin = mapToGlobal(QPoint(0, 0));
    return {origin.x(), origin.y()};
}
