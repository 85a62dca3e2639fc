// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The context menu of a control that a knob of the user's controller can move.

class ControllerLearn;
class QPoint;
class QString;
class QWidget;

// A right-click (or Shift+F10, or the menu key) on `target`: "Learn Controller", and "Forget Controller" when a
// controller moves it. While a learn waits, the right-click cancels it instead, wherever it is. False when
// neither applies (no learn waits and `target` follows no knob), so the widget's own menu may open.
bool ShowControllerMenu(ControllerLearn& learn, int target, const QPoint& globalPos, QWidget* parent);

// Marks `control` as the one a learn waits for, with a frame in the highlight colour around it that takes no
// clicks; `waiting` false takes the frame away. The control's accessible description, which says it too, is
// its window's to set (it knows what the description is otherwise).
void MarkLearnTarget(QWidget* control, bool waiting);
// What a control that waits for a learn says to a screen reader.
QString LearnWaitingDescription();
