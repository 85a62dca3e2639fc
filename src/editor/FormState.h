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

// The state of every control of the form that has an id, with the platform's rules for controls:
// changes made by the program raise no notification, except writing the text of an edit or value box,
// which raises its change notification as it would on the platform.
class FormState {
public:
    FormState();

    bool Has(int id) const;
    const ControlState& Get(int id) const;

    // Sliders: the position is clamped to the range.
    int GetPos(int id) const { return Get(id).position; }
    void SetPos(int id, int position);
    void SetRange(int id, int minimum, int maximum);

    // Lists: a selection outside the entries becomes "no selection" (-1).
    int GetCurSel(int id) const { return Get(id).selection; }
    void SetCurSel(int id, int index);
    int GetCount(int id) const { return static_cast<int>(Get(id).entries.size()); }
    void ResetContent(int id);
    void AddString(int id, std::string entry);
    // Empties the list and fills it with the given entries, leaving no selection.
    void SetEntries(int id, std::vector<std::string> entries);

    bool IsChecked(int id) const { return Get(id).checked; }
    void SetCheck(int id, bool checked);

    bool IsEnabled(int id) const { return Get(id).enabled; }
    void Enable(int id, bool enabled);

    const std::string& GetText(int id) const { return Get(id).text; }
    // Raises the text-change notification for edit and value boxes.
    void SetText(int id, std::string text);

    void SetObserver(FormObserver* observer) { m_observer = observer; }
    void SetTextChangedHandler(std::function<void(int id)> handler) { m_textChanged = std::move(handler); }

private:
    ControlState& Mutable(int id);
    void Changed(int id);

    std::array<ControlState, ctl::Last - ctl::First + 1> m_states;
    std::array<bool, ctl::Last - ctl::First + 1> m_present{};
    FormObserver* m_observer = nullptr;
    std::function<void(int)> m_textChanged;
};
