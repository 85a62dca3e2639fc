// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/EditHistory.h"

class CMainDlg;

// Puts one step of the history back into the form: its numbers, each through the handler the user's change would
// run, in the order a whole-patch transmission sends the patch, and its text. `before` chooses the values before
// the step (undo) or after it (redo). The instrument then holds what a whole-patch transmission would send.
void ApplyEditStep(CMainDlg& dlg, const EditHistory::StepView& step, bool before);
