#include "platform/QtProgramLocation.h"

#include <QCoreApplication>

std::string QtProgramLocation::ProgramDirectory() { return QCoreApplication::applicationDirPath().toStdString() + "/"; }
