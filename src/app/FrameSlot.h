// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window as the application's rooms reach it, or nothing before start-up.

#include "app/ports/FrameView.h"

#include <functional>
#include <string>
#include <utility>

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
    // A notice that does not interrupt (FrameView::ShowNotice), logged too where one listens (the MIDI monitor).
    void ShowNotice(const std::string& text) const {
        Tell([&](FrameView& f) { f.ShowNotice(text); });
        if (m_noticeLog) m_noticeLog(text);
    }
    // Who else hears the notices; unset: nobody.
    void SetNoticeLog(std::function<void(const std::string&)> log) { m_noticeLog = std::move(log); }

private:
    FrameView* m_frame = nullptr;
    std::function<void(const std::string&)> m_noticeLog;
};
