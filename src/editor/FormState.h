// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ControlTable.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

// The live state of one control of the form.
struct ControlState {
    ControlKind kind = ControlKind::Label;
    int position = 0;
    int rangeMin = 0;
    int rangeMax = 100;  // a slider's range before the form sets it
    std::vector<std::string> entries;
    int selection = -1;  // -1: no selection
    bool checked = false;
    bool enabled = true;
    std::string text;
};

// Told whenever a control's state changes, so a view can redraw it.
class FormObserver {
public:
    virtual ~FormObserver() = default;
    virtual void ControlChanged(int id) = 0;
};

// Told of every change of a control's state, whoever made it: what draws the patch beside the form (the
// envelope pictures) follows the user's moves too, which the form's own view is never told of.
class FormWatcher {
public:
    virtual ~FormWatcher() = default;
    virtual void ControlStateChanged(int id) = 0;
};

// Who changes a control: the program, or the user through the control's widget, which already shows the
// change and so is not told about it again.
enum class ChangeOrigin { Program, User };

// The state of every control of the form that has an id, with the platform's rules for controls:
// changes made by the program raise no notification, except writing the text of an edit or value box,
// which raises its change notification as it would on the platform.
class FormState {
public:
    FormState();

    bool Has(int id) const;
    const ControlState& Get(int id) const;
    // Get without the check, for ids taken from the form's own tables.
    const ControlState& Peek(int id) const { return m_states[static_cast<std::size_t>(id - ctl::First)]; }

    // Sliders: the position is clamped to the range.
    int GetPos(int id) const { return Get(id).position; }
    void SetPos(int id, int position, ChangeOrigin origin = ChangeOrigin::Program);
    void SetRange(int id, int minimum, int maximum);
    // How far a page step (Page Up/Down, a click beside the thumb) moves: a fifth of the range, at least 1.
    int GetPageSize(int id) const;

    // Lists: a selection outside the entries becomes "no selection" (-1).
    int GetCurSel(int id) const { return Get(id).selection; }
    void SetCurSel(int id, int index, ChangeOrigin origin = ChangeOrigin::Program);
    int GetCount(int id) const { return static_cast<int>(Get(id).entries.size()); }
    // Empties the list and fills it with the given entries, leaving no selection.
    void SetEntries(int id, std::vector<std::string> entries);
    // Replaces the text of one entry (an index outside the entries changes nothing), leaving no selection.
    void SetEntryText(int id, int index, std::string text);

    bool IsChecked(int id) const { return Get(id).checked; }
    void SetCheck(int id, bool checked, ChangeOrigin origin = ChangeOrigin::Program);

    bool IsEnabled(int id) const { return Get(id).enabled; }
    void Enable(int id, bool enabled);

    const std::string& GetText(int id) const { return Get(id).text; }
    // Raises the text-change notification for edit and value boxes.
    void SetText(int id, std::string text, ChangeOrigin origin = ChangeOrigin::Program);
    // Shows a text the program has already acted on: the view redraws, no change notification is raised.
    void ShowText(int id, std::string text);

    // Tells the view to show the control's state again (after a user's change that was refused).
    void Refresh(int id) { Changed(id); }

    void SetObserver(FormObserver* observer) { m_observer = observer; }
    void SetTextChangedHandler(std::function<void(int id)> handler) { m_textChanged = std::move(handler); }
    // Watchers hear every change, of either origin, after it is made; each removes itself before it goes.
    void AddWatcher(FormWatcher* watcher);
    void RemoveWatcher(FormWatcher* watcher);

private:
    ControlState& Mutable(int id);
    void Changed(int id, ChangeOrigin origin = ChangeOrigin::Program);

    std::array<ControlState, ctl::Last - ctl::First + 1> m_states;
    std::array<bool, ctl::Last - ctl::First + 1> m_present{};
    FormObserver* m_observer = nullptr;
    std::vector<FormWatcher*> m_watchers;
    std::function<void(int)> m_textChanged;
};
