// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

// The program's icon, painted in code so that no image plug-in is needed; resources/quarnedit.svg is
// the same picture for the desktop.
QIcon AppIcon();
