#include "main/Program.h"

Program::Program(UserDialogs& dialogs)
    : libraries(location.ProgramDirectory()), app({ports, pause, profile, dialogs, location, libraries, clock, recovery}) {}
