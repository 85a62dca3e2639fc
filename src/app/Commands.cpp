#include "app/Commands.h"

#include "app/CQuarnEditApp.h"
#include "app/ports/Profile.h"

#include <array>

namespace {

constexpr CommandRow Separator() { return {RowKind::Separator, 0, "", "", nullptr, nullptr}; }

const std::array kFileMenu{
    CommandRow{RowKind::Command, cmd::FileNew, "&New", "", [](CQuarnEditApp& a) { a.OnFileNew(); }, nullptr},
    CommandRow{RowKind::Command, cmd::FileOpen, "&Open...", "", [](CQuarnEditApp& a) { a.OnFileOpen(); }, nullptr},
    CommandRow{RowKind::Command, cmd::FileSaveAs, "Save &As...", "", [](CQuarnEditApp& a) { a.OnFileSaveAs(); },
               nullptr},
    CommandRow{RowKind::Command, cmd::ExportMidiFile, "&Export MIDI file...", "",
               [](CQuarnEditApp& a) { a.OnExportMidiFile(); }, nullptr},
    Separator(),
    CommandRow{RowKind::Command, cmd::FileSave, "&Save", "", [](CQuarnEditApp& a) { a.OnFileSave(); }, nullptr},
    Separator(),
    CommandRow{RowKind::RecentFiles, cmd::FirstRecentFile, "Recent File", "", nullptr, nullptr},
    Separator(),
    CommandRow{RowKind::Command, cmd::AppExit, "E&xit", "", [](CQuarnEditApp& a) { a.OnAppExit(); }, nullptr},
};

const std::array kMidiMenu{
    CommandRow{RowKind::Command, cmd::TransmitAll, "&Transmit All", "", [](CQuarnEditApp& a) { a.OnTransmitAll(); },
               nullptr},
    Separator(),
    CommandRow{RowKind::Command, cmd::OutputDevice, "Output &Device...", "",
               [](CQuarnEditApp& a) { a.OnOutputDevice(); }, nullptr},
};

const std::array kHelpMenu{
    CommandRow{RowKind::Command, cmd::AppAbout, "&About QuarnEdit", "", [](CQuarnEditApp& a) { a.OnAppAbout(); },
               nullptr},
};

const std::array kMenuBar{
    MenuDef{"&File", kFileMenu},
    MenuDef{"&MIDI Options", kMidiMenu},
    MenuDef{"&Help", kHelpMenu},
};

}  // namespace

std::span<const MenuDef> MenuBar() { return kMenuBar; }

const CommandRow* FindCommand(int id) {
    for (const MenuDef& menu : kMenuBar)
        for (const CommandRow& row : menu.rows)
            if (row.kind == RowKind::Command && row.id == id) return &row;
    return nullptr;
}
