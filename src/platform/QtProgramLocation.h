// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ports/ProgramLocation.h"

// The directory of the running program, from the application object.
class QtProgramLocation : public ProgramLocation {
public:
    std::string ProgramDirectory() override;
};
