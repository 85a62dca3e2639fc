// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in quick-load library for the tests: it answers what QUARN_TEST_QUICKLOAD_ANSWER holds, and
// with QUARN_TEST_QUICKLOAD_UNTERMINATED set it fills the whole buffer and leaves no terminator. Each call
// leaves what it was given in QUARN_TEST_QUICKLOAD_CALL: "<buffer> <window> <x> <y>".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef QUARN_WITHOUT_ENTRY
extern "C" __attribute__((visibility("default"))) int RunQuickLoadMenuA(char* buffer, std::uintptr_t window,
                                                                        std::int32_t x, std::int32_t y) {
    char call[400];
    std::snprintf(call, sizeof call, "%.260s %ju %d %d", buffer, static_cast<std::uintmax_t>(window), x, y);
    setenv("QUARN_TEST_QUICKLOAD_CALL", call, 1);
    const char* answer = std::getenv("QUARN_TEST_QUICKLOAD_ANSWER");
    if (answer == nullptr) answer = "";
    if (std::getenv("QUARN_TEST_QUICKLOAD_UNTERMINATED") != nullptr) {
        std::memset(buffer, 'q', 261);
        return 1;
    }
    std::strncpy(buffer, answer, 260);
    buffer[260] = '\0';
    return 1;
}
#else
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return 0; }
#endif
