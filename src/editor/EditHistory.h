// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "patch/PatchRecord.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The patch's numbers as an edit changes them: the value slots, the stored list selections, the two words.
constexpr std::size_t kEditFieldCount = kRecordValueCount + kRecordSelectionCount + 2;
constexpr std::size_t kSwitchBitsField = kRecordValueCount + kRecordSelectionCount;
constexpr std::size_t kFilterBitsField = kSwitchBitsField + 1;
using EditFields = std::array<std::int32_t, kEditFieldCount>;

// The patch's texts, each as its stored bytes.
enum class EditText : std::uint8_t { PatchName, Author, Comment };
constexpr std::size_t kEditTextCount = 3;
using EditTexts = std::array<std::string, kEditTextCount>;

// How the user's actions on one control make up one undo step.
enum class Gesture : std::uint8_t {
    Press,   // keys, wheel, clicks, choices: one step with the presses on the same control within a second
    Drag,    // a slider drag, press to release
    Typing,  // in one text box, until the focus leaves it
    Single,  // a step of its own (the Comment dialog's OK)
    // A hardware controller's knob: its moves of one control, until another edit (or an undo) comes between.
    // A knob has no press and no release to end it.
    Controller,
};

// The undo and redo history of one document: what each step changed, before and after, so the form can put
// either back. Steps are stored compactly, as long editing sessions make many of them.
class EditHistory {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::chrono::milliseconds kPressMergeWindow{1000};

    // Packed: most steps are a change or two of one number, and a session makes thousands of them.
    struct [[gnu::packed]] FieldChange {
        std::uint8_t field;
        std::int32_t before;
        std::int32_t after;
    };
    struct TextChange {
        EditText text;
        std::string before;
        std::string after;
    };
    // One step to apply: its control, its number changes in the order they were made, its text change if any.
    struct StepView {
        int control;
        std::span<const FieldChange> fields;
        const TextChange* text;
    };

    // Records what one user action on `control` changed. It joins the step of the gesture in progress when the
    // gesture goes on; a step that comes to change nothing is dropped. A change drops every step that was undone.
    void Record(int control, Gesture gesture, TimePoint now, const EditFields& before, const EditFields& after,
                const EditTexts& textsBefore, const EditTexts& textsAfter);
    // The drag ended or the focus left the text box: the next action starts a step of its own.
    void EndGesture(int control);
    void Clear();

    bool CanUndo() const { return m_position > 0; }
    bool CanRedo() const { return m_position < m_steps.size(); }
    // The control of the step Undo or Redo would apply; only when there is one.
    int UndoControl() const { return m_steps[m_position - 1].control; }
    int RedoControl() const { return m_steps[m_position].control; }
    // Moves one step back or forward and returns the step to apply (its before values for an undo, its after
    // values for a redo). Only when CanUndo / CanRedo.
    StepView Undo();
    StepView Redo();

    std::size_t StepCount() const { return m_steps.size(); }
    // The heap the history holds, in bytes.
    std::size_t MemoryBytes() const;

private:
    struct Step {
        std::uint32_t firstField;
        std::int32_t text;  // index into m_texts, or -1
        std::uint16_t control;
        std::uint16_t fieldCount;
    };
    struct OpenGesture {
        int control;
        Gesture gesture;
        TimePoint last;
    };

    bool Continues(int control, Gesture gesture, TimePoint now) const;
    void TruncateRedo();
    void DropLastStep();
    StepView View(const Step& step) const;

    std::vector<Step> m_steps;
    std::vector<FieldChange> m_fields;
    std::vector<TextChange> m_texts;
    std::size_t m_position = 0;  // steps before it are done, steps from it on are undone
    std::optional<OpenGesture> m_open;
    bool m_openHasStep = false;  // whether the open gesture's step is the last one
};
