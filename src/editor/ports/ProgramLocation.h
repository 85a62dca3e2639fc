// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Where the program itself lies; the default patch and the quick-load library sit beside it.
class ProgramLocation {
public:
    virtual ~ProgramLocation() = default;
    // The program's directory, ending with its separator.
    virtual std::string ProgramDirectory() = 0;
};
