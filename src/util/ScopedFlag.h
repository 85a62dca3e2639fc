// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Sets a flag for the length of a scope and clears it when the scope ends, by return or by exception.
// The flag is cleared, not restored: the program's flags are plain on/off switches whose owner clears them
// whatever they were before.
template <typename Flag>
class ScopedFlag {
public:
    explicit ScopedFlag(Flag& flag) : m_flag(flag) { m_flag = Flag{1}; }
    ~ScopedFlag() { m_flag = Flag{0}; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    Flag& m_flag;
};
