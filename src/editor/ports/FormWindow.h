// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <utility>

// Where the form's window is, for the quick-load menu.
class FormWindow {
public:
    virtual ~FormWindow() = default;
    virtual std::uintptr_t WindowId() = 0;
    // The top-left corner of the form's client area in screen coordinates.
    virtual std::pair<int, int> ClientOriginOnScreen() = 0;
};
