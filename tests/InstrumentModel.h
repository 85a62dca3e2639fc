// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <span>
#include <utility>

// The instrument as the bytes reach it: controller 16 chooses the page, and every other controller keeps the last
// value it was sent together with the page it came on. Anything but a Control Change on channel 1 leaves it.
struct InstrumentModel {
    using Parameters = std::map<int, std::pair<int, int>>;  // controller: page, value
    int page = 0;
    Parameters parameters;
    void Take(std::span<const std::uint8_t> bytes) {
        for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {
            if (bytes[i] != 0xB0) continue;
            if (bytes[i + 1] == 16) {
                page = bytes[i + 2];
            } else {
                parameters[bytes[i + 1]] = {page, bytes[i + 2]};
            }
        }
    }
    // What an instrument holds once each of `heard` has reached it, in order.
    static Parameters HeldAfter(std::initializer_list<std::span<const std::uint8_t>> heard) {
        InstrumentModel model;
        for (const std::span<const std::uint8_t> bytes : heard) model.Take(bytes);
        return model.parameters;
    }
};
