#pragma once

#include "app/Services.h"

// The directory of the running program, from the application object.
class QtProgramLocation : public ProgramLocation {
public:
    std::string ProgramDirectory() override;
};
