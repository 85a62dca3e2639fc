// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// One parameter change: a controller number and the value to transmit.
class ParamMessage {
public:
    ParamMessage(std::int32_t parameter, std::int32_t value) : m_parameter(parameter), m_value(value) {}
    virtual ~ParamMessage() = default;
    ParamMessage(const ParamMessage&) = default;
    ParamMessage& operator=(const ParamMessage&) = default;

    std::int32_t parameter() const { return m_parameter; }
    std::int32_t value() const { return m_value; }

private:
    std::int32_t m_parameter;
    std::int32_t m_value;
};
