#pragma once

#include "editor/ports/ProgramLocation.h"

// The directory of the running program, from the application object.
class QtProgramLocation : public ProgramLocation {
public:
    std::string ProgramDirectory() override;
};
