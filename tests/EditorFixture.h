// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "EditorRig.h"

#include <gtest/gtest.h>

#include <vector>

// A test on a shown form whose port sink has the first port open.
struct EditorFixture : ::testing::Test, EditorRig {
    void SetUp() override { ASSERT_TRUE(ShowAndOpen()); }

    // The parameter messages on the wire as (page, controller, value) from page + parameter CC pairs.
    struct Sent {
        int page, parameter, value;
        bool operator==(const Sent&) const = default;
    };
    std::vector<Sent> SentMessages() const {
        std::vector<Sent> out;
        const Bytes& b = ports.bytes;
        EXPECT_EQ(b.size() % 6, 0u);
        for (std::size_t i = 0; i + 5 < b.size(); i += 6) {
            EXPECT_EQ(b[i + 1], 16);
            out.push_back({b[i + 2], b[i + 4], b[i + 5]});
        }
        return out;
    }

    // Every message a Control Change on channel 1 and every data byte below 0x80.
    void ExpectWellFormedWire() const {
        for (std::size_t i = 0; i < ports.bytes.size(); ++i) {
            if (i % 3 == 0) {
                EXPECT_EQ(ports.bytes[i], 0xB0) << "byte " << i;
            } else {
                EXPECT_LT(ports.bytes[i], 0x80) << "byte " << i;
            }
        }
    }
};
