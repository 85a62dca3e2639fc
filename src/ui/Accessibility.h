// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

// What screen readers and keyboard users need beyond Qt's own handling, for every window of the program:
// - a drop-down list is named by its accessible name (or its label) and reports its entry as its value; Qt's
//   own list on this desktop calls the list by its entry, so that twenty lists would all be called "1";
// - a group frame is a group, named by its title;
// - Shift+F10 and the context-menu key open the context menu of the control with the focus, under that control,
//   once a press also where the window system makes a context-menu event of the key itself.
// Call once, after the application object exists; later calls change nothing.
void InstallAccessibility();

// Every label in `root` with a buddy gives its text, without mnemonic and closing colon, as the buddy's
// accessible name, where the buddy has none of its own ("&Amount:" names its spin box "Amount").
void NameBuddies(QWidget* root);

// Says `text` once to a screen reader, as a notification that appears in `window`, wherever the focus is: Qt's
// status bar only renames itself, which screen readers pass over unless it has the focus. Nothing is said where a
// message box that opens for the same news says it.
void Announce(QWidget* window, const QString& text);
