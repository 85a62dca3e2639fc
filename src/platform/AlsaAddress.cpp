// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AlsaAddress.h"

namespace {

// 0..255 written in plain decimal digits, at most three of them.
std::optional<int> Byte(std::string_view digits) {
    if (digits.empty() || digits.size() > 3) return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 255) return std::nullopt;
    return value;
}

}  // namespace

std::optional<int> AlsaPortAddress(std::string_view name) {
    const std::size_t space = name.rfind(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view address = name.substr(space + 1);
    const std::size_t colon = address.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::optional<int> client = Byte(address.substr(0, colon));
    const std::optional<int> port = Byte(address.substr(colon + 1));
    if (!client || !port) return std::nullopt;
    return (*client << 8) | *port;
}
