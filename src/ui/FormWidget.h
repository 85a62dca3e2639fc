// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/FormState.h"
#include "editor/ports/FormWindow.h"
#include "ui/DialogUnits.h"

#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class CMainDlg;

// The editor form on screen: one widget per item of the form's template, placed by its rectangle in
// dialog units. It is a view of the form's control state: it redraws a widget whenever that state
// changes, and hands every user action to the form, which decides what follows.
class FormWidget : public QWidget, public FormObserver, public FormWindow {
public:
    explicit FormWidget(CMainDlg& form, QWidget* parent = nullptr);
    ~FormWidget() override;
    FormWidget(const FormWidget&) = delete;
    FormWidget& operator=(const FormWidget&) = delete;

    // The widget of a control id, or null for an id the form does not have.
    QWidget* WidgetForId(int id) const;
    // The widget of the template's item at `place` (1-based), labels and group boxes included.
    QWidget* WidgetAt(int place) const;
    const DialogUnits& Units() const { return m_units; }

    void ControlChanged(int id) override;
    // The control a learn waits for (none: nullopt): marked on screen, and its description says so.
    void SetLearnTarget(std::optional<int> id);
    std::optional<int> LearnTarget() const { return m_learnTarget; }

    // Asked on a right-click (or the keyboard's context-menu keys) on a control, with its id, or on the form
    // itself with kNoId; true when it took the click, else the control's own menu opens.
    using ControlMenuHandler = std::function<bool(int id, const QPoint& globalPos)>;
    void SetControlMenuHandler(ControlMenuHandler handler) { m_controlMenu = std::move(handler); }

    std::uintptr_t WindowId() override;
    std::pair<int, int> ClientOriginOnScreen() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* CreateItem(const ControlDef& def);
    // Gives every control the name and description screen readers say, as the form's labels read now.
    void NameControls();

    CMainDlg& m_form;
    FormState& m_state;
    DialogUnits m_units;
    std::vector<QWidget*> m_items;  // in template order
    std::map<int, QWidget*> m_byId;
    std::map<int, std::vector<std::string>> m_shownEntries;  // what each list shows, as the form holds it
    ControlMenuHandler m_controlMenu;
    std::optional<int> m_learnTarget;
};
