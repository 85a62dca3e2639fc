// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>

class CQuarnEditApp;

// Menu command ids.
namespace cmd {
constexpr int FileNew = 57600, FileOpen = 57601, FileSave = 57603, FileSaveAs = 57604, FirstRecentFile = 57616,
              AppAbout = 57664, AppExit = 57665, TransmitAll = 32772, ExportMidiFile = 32773, OutputDevice = 32774,
              EditUndo = 57643, EditRedo = 57644, TestNoteSettings = 32775, PlayTestNote = 32776, HoldTestNote = 32777,
              AllNotesOff = 32778, EditCompare = 32779, EditMutate = 32780, MidiMonitor = 32781, PatchLibrary = 32782,
              SaveToLibrary = 32783, InputDevice = 32784, MidiThru = 32785, Controllers = 32786, EditMorph = 32787,
              EditVariations = 32788, EnvelopeWindow = 32795;
}  // namespace cmd

// The menu as data: the window builds its menu bar from these rows, and every command comes back to
// CQuarnEditApp::OnCommand with its id. Adding a command is one row here and one handler.
enum class RowKind { Command, Separator, RecentFiles };
struct CommandRow {
    RowKind kind;
    int id;                // for RecentFiles the id of the first entry; the others follow
    const char* label;     // with its mnemonic
    const char* shortcut;  // key sequences in portable text, "; " between several ("Ctrl+Z"), or empty
    void (*run)(CQuarnEditApp& app);
    bool (*enabled)(const CQuarnEditApp& app) = nullptr;      // null: always enabled
    std::string (*text)(const CQuarnEditApp& app) = nullptr;  // null: the label
    bool (*checked)(const CQuarnEditApp& app) = nullptr;      // null: not a command that is on or off
    // Runs as it is while the original patch is shown; any other command first returns to the edit.
    bool whileComparing = false;
};

struct MenuDef {
    const char* title;
    std::span<const CommandRow> rows;
};

// The menus in menu-bar order.
std::span<const MenuDef> MenuBar();
// The row of a command id, or null.
const CommandRow* FindCommand(int id);
