// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditHistory.h"

#include <algorithm>

bool EditHistory::Continues(int control, Gesture gesture, TimePoint now) const {
    if (!m_open || m_open->control != control || m_open->gesture != gesture) return false;
    switch (gesture) {
        case Gesture::Drag:
        case Gesture::Typing:
        case Gesture::Controller: return true;
        case Gesture::Press: return now - m_open->last < kPressMergeWindow;
        case Gesture::Single: return false;
    }
    return false;
}

void EditHistory::TruncateRedo() {
    if (m_position == m_steps.size()) return;
    const Step& first = m_steps[m_position];
    m_fields.resize(first.firstField);
    const auto withText = std::find_if(m_steps.begin() + static_cast<std::ptrdiff_t>(m_position), m_steps.end(),
                                       [](const Step& s) { return s.text >= 0; });
    if (withText != m_steps.end()) m_texts.resize(static_cast<std::size_t>(withText->text));
    m_steps.resize(m_position);
}

void EditHistory::DropLastStep() {
    const Step& last = m_steps.back();
    m_fields.resize(last.firstField);
    if (last.text >= 0) m_texts.resize(static_cast<std::size_t>(last.text));
    m_steps.pop_back();
    m_position = m_steps.size();
    m_openHasStep = false;
}

void EditHistory::Record(int control, Gesture gesture, TimePoint now, const EditFields& before, const EditFields& after,
                         const EditTexts& textsBefore, const EditTexts& textsAfter) {
    const bool merge = Continues(control, gesture, now) && m_openHasStep;
    m_open = OpenGesture{control, gesture, now};

    if (!merge) {
        const bool changed = before != after || textsBefore != textsAfter;
        m_openHasStep = changed;
        // An action that changes nothing is no step, and leaves what can be redone.
        if (!changed) return;
    }
    TruncateRedo();
    if (!merge) {
        m_steps.push_back({static_cast<std::uint32_t>(m_fields.size()), -1, static_cast<std::uint16_t>(control), 0});
        m_position = m_steps.size();
    }

    Step& step = m_steps.back();
    for (std::size_t i = 0; i < kEditFieldCount; ++i) {
        if (before[i] == after[i]) continue;
        const auto first = m_fields.begin() + step.firstField;
        const auto known = std::find_if(first, m_fields.end(), [i](const FieldChange& c) { return c.field == i; });
        if (known != m_fields.end()) {
            known->after = after[i];
        } else {
            m_fields.push_back({static_cast<std::uint8_t>(i), before[i], after[i]});
        }
    }
    // A number brought back where the step found it is no change at all.
    const auto kept = std::remove_if(m_fields.begin() + step.firstField, m_fields.end(),
                                     [](const FieldChange& c) { return c.before == c.after; });
    m_fields.erase(kept, m_fields.end());
    step.fieldCount = static_cast<std::uint16_t>(m_fields.size() - step.firstField);

    for (std::size_t t = 0; t < kEditTextCount; ++t) {
        if (textsBefore[t] == textsAfter[t]) continue;
        if (step.text < 0) {
            step.text = static_cast<std::int32_t>(m_texts.size());
            m_texts.push_back({static_cast<EditText>(t), textsBefore[t], textsAfter[t]});
        } else {
            m_texts[static_cast<std::size_t>(step.text)].after = textsAfter[t];
        }
    }
    if (step.text >= 0) {
        const TextChange& text = m_texts[static_cast<std::size_t>(step.text)];
        if (text.before == text.after) {
            m_texts.pop_back();
            step.text = -1;
        }
    }
    if (step.fieldCount == 0 && step.text < 0) DropLastStep();
}

void EditHistory::EndGesture(int control) {
    if (!m_open || m_open->control != control) return;
    m_open.reset();
    m_openHasStep = false;
}

void EditHistory::Clear() {
    m_steps.clear();
    m_fields.clear();
    m_texts.clear();
    m_position = 0;
    m_open.reset();
    m_openHasStep = false;
}

EditHistory::StepView EditHistory::View(const Step& step) const {
    return {step.control, std::span(m_fields).subspan(step.firstField, step.fieldCount),
            step.text >= 0 ? &m_texts[static_cast<std::size_t>(step.text)] : nullptr};
}

EditHistory::StepView EditHistory::Undo() {
    m_open.reset();
    m_openHasStep = false;
    return View(m_steps[--m_position]);
}

EditHistory::StepView EditHistory::Redo() {
    m_open.reset();
    m_openHasStep = false;
    return View(m_steps[m_position++]);
}

std::size_t EditHistory::MemoryBytes() const {
    std::size_t bytes = m_steps.capacity() * sizeof(Step) + m_fields.capacity() * sizeof(FieldChange) +
                        m_texts.capacity() * sizeof(TextChange);
    // Texts longer than a string keeps inside itself live on the heap.
    for (const TextChange& t : m_texts)
        for (const std::string* s : {&t.before, &t.after})
            if (s->capacity() > std::string().capacity()) bytes += s->capacity() + 1;
    return bytes;
}
