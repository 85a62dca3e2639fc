// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>

// A one-shot timer: it calls its function once, on the program's own thread, when its time has come.
class Timer {
public:
    virtual ~Timer() = default;
    // (Re)starts the timer; a running one starts over.
    virtual void Start(std::chrono::milliseconds delay) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
};

// Time as the program sees it, and its timers.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point Now() = 0;
    virtual std::unique_ptr<Timer> CreateTimer(std::function<void()> onTimeout) = 0;
};
