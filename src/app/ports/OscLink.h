// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One argument of an OSC message: its type tag and, for the types the session protocol uses, its value.
// Any other type keeps its tag only, so that a check of the types still sees it.
struct OscArgument {
    char type = 's';  // 'i' int32, 'f' float32, 's' string; others carry no value here
    std::int32_t i = 0;
    float f = 0;
    std::string s;

    static OscArgument Int(std::int32_t value) { return {'i', value, 0, {}}; }
    static OscArgument Text(std::string value) { return {'s', 0, 0, std::move(value)}; }
};

struct OscMessage {
    std::string path;
    std::vector<OscArgument> args;

    // The type tags in order ("sss"), as OSC writes them after the comma.
    std::string Types() const {
        std::string types;
        for (const OscArgument& a : args) types += a.type;
        return types;
    }
};

// Where the session manager's messages go: the platform sends each as one OSC datagram.
class OscLink {
public:
    virtual ~OscLink() = default;
    virtual void Send(const OscMessage& message) = 0;
};
