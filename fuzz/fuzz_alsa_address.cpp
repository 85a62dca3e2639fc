// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the sequencer address from arbitrary port names. Whenever one is found, the name really ends in a
// space and "C:P", C and P plain decimal numbers with the address's values, so a strange name never points
// the watch for a lost device at another port.
#include "platform/AlsaAddress.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_alsa_address: %s\n", what);
    std::abort();
}

bool Decimal(std::string_view s, int value) {
    if (s.empty()) return false;
    long n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
        if (n > 100000) return false;
    }
    return n == value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const std::optional<int> address = AlsaPortAddress(name);
    if (!address) return 0;
    Require(*address >= 0 && *address <= 0xFFFF, "address out of range");
    const std::size_t space = name.rfind(' ');
    Require(space != std::string_view::npos, "an address from a name without a space");
    const std::string_view tail = name.substr(space + 1);
    const std::size_t colon = tail.find(':');
    Require(colon != std::string_view::npos, "an address from a name without a colon at its end");
    Require(Decimal(tail.substr(0, colon), *address >> 8), "the client is not the number in the name");
    Require(Decimal(tail.substr(colon + 1), *address & 0xFF), "the port is not the number in the name");
    return 0;
}
