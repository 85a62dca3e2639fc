// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ports/Clock.h"

// Time from the steady clock; timers are QTimers, so they fire in the Qt event loop, on its thread.
class QtClock : public Clock {
public:
    std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
    std::unique_ptr<Timer> CreateTimer(std::function<void()> onTimeout) override;
};
