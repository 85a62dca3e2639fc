// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window as the application's rooms reach it, or nothing before start-up.

#include "app/ports/FrameView.h"

// The window around the form, as every part of the application reaches it: there from start-up on, and absent
// before it and in the window-less commands, when what it would be told goes nowhere.
class FrameSlot {
public:
    void Attach(FrameView& frame) { m_frame = &frame; }
    FrameView* Get() const { return m_frame; }
    // Runs `tell` on the window when there is one.
    template <typename Action>
    void Tell(Action&& tell) const {
        if (m_frame != nullptr) tell(*m_frame);
    }
    void ShowStatus(const std::string& text) const {
        Tell([&](FrameView& f) { f.ShowStatus(text); });
    }
    void CommandsChanged() const {
        Tell([](FrameView& f) { f.CommandsChanged(); });
    }

private:
    FrameView* m_frame = nullptr;
};
