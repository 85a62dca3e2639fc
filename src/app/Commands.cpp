// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Commands.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "app/DocumentLibraryHost.h"
#include "app/ports/FrameView.h"
#include "app/ports/Profile.h"
#include "editor/CMainDlg.h"
#include "editor/ports/UserDialogs.h"

#include <array>

namespace {

constexpr CommandRow Separator() { return {RowKind::Separator, 0, "", "", nullptr}; }

// "&Undo DCO1 Amp.": the label and what the step changes.
std::string Named(const char* label, const std::string& what) {
    return what.empty() ? label : std::string(label) + " " + what;
}

const std::array kFileMenu{
    CommandRow{RowKind::Command, cmd::FileNew, "&New", "", [](CQuarnEditApp& a) { a.Work().OnFileNew(); }},
    CommandRow{RowKind::Command, cmd::FileOpen, "&Open...", "", [](CQuarnEditApp& a) { a.Work().OnFileOpen(); }},
    CommandRow{RowKind::Command, cmd::FileSaveAs, "Save &As...", "", [](CQuarnEditApp& a) { a.Work().OnFileSaveAs(); }},
    CommandRow{RowKind::Command, cmd::ExportMidiFile, "&Export MIDI file...", "",
               [](CQuarnEditApp& a) { a.form().OnExportMidiFile(); }},
    // Opening the window changes nothing of the patch, so the original may stay shown.
    CommandRow{RowKind::Command, cmd::PatchLibrary, "Patch &Library...", "Ctrl+L",
               [](CQuarnEditApp& a) { a.OnPatchLibrary(); }, nullptr, nullptr, nullptr, true},
    Separator(),
    CommandRow{RowKind::Command, cmd::FileSave, "&Save", "", [](CQuarnEditApp& a) { a.Work().OnFileSave(); }},
    CommandRow{RowKind::Command, cmd::SaveToLibrary, "Save to &Library", "",
               [](CQuarnEditApp& a) { a.Library().SaveToLibrary(); }},
    Separator(),
    CommandRow{RowKind::RecentFiles, cmd::FirstRecentFile, "Recent File", "", nullptr},
    Separator(),
    CommandRow{RowKind::Command, cmd::AppExit, "E&xit", "",
               [](CQuarnEditApp& a) {
                   if (FrameView* frame = a.Frame()) frame->CloseMainWindow();
               }},
};

const std::array kEditMenu{
    CommandRow{RowKind::Command, cmd::EditUndo, "&Undo", "Ctrl+Z", [](CQuarnEditApp& a) { a.form().Undo(); },
               [](const CQuarnEditApp& a) { return a.form().CanUndo(); },
               [](const CQuarnEditApp& a) { return Named("&Undo", a.form().UndoName()); }},
    CommandRow{RowKind::Command, cmd::EditRedo, "&Redo", "Ctrl+Shift+Z; Ctrl+Y",
               [](CQuarnEditApp& a) { a.form().Redo(); }, [](const CQuarnEditApp& a) { return a.form().CanRedo(); },
               [](const CQuarnEditApp& a) { return Named("&Redo", a.form().RedoName()); }},
    Separator(),
    CommandRow{RowKind::Command, cmd::EditCompare, "&Compare", "F2",
               [](CQuarnEditApp& a) { a.Sound().OnEditCompare(); },
               [](const CQuarnEditApp& a) {
                   return a.document().Original().has_value() && !a.Sound().IsMorphing() && !a.Sound().HasVariations();
               },
               nullptr, [](const CQuarnEditApp& a) { return a.Sound().IsComparing(); }, true},
    CommandRow{RowKind::Command, cmd::EditMutate, "&Mutate...", "", [](CQuarnEditApp& a) { a.Sound().OnEditMutate(); }},
    CommandRow{RowKind::Command, cmd::EditMorph, "M&orph...", "", [](CQuarnEditApp& a) { a.Sound().OnEditMorph(); }},
    CommandRow{RowKind::Command, cmd::EditVariations, "&Variations...", "",
               [](CQuarnEditApp& a) { a.Sound().OnEditVariations(); }},
    Separator(),
    // Only shows the patch, so the original may stay shown; the key is one no text box takes for itself.
    CommandRow{RowKind::Command, cmd::EnvelopeWindow, "&Envelopes", "Ctrl+Shift+E",
               [](CQuarnEditApp& a) { a.OnEnvelopes(); }, nullptr, nullptr,
               [](const CQuarnEditApp& a) { return a.IsEnvelopesOpen(); }, true},
};

const std::array kMidiMenu{
    CommandRow{RowKind::Command, cmd::TransmitAll, "&Transmit All", "",
               [](CQuarnEditApp& a) { a.form().TransmitAll(true); }, nullptr, nullptr, nullptr, true},
    Separator(),
    CommandRow{RowKind::Command, cmd::OutputDevice, "Output &Device...", "",
               [](CQuarnEditApp& a) { a.Devices().OnOutputDevice(); }, nullptr, nullptr, nullptr, true},
    CommandRow{RowKind::Command, cmd::TestNoteSettings, "Test &Note...", "",
               [](CQuarnEditApp& a) { a.Sound().OnTestNoteSettings(); }, nullptr, nullptr, nullptr, true},
    Separator(),
    CommandRow{RowKind::Command, cmd::PlayTestNote, "&Play Test Note", "Ctrl+T",
               [](CQuarnEditApp& a) { a.Sound().OnPlayTestNote(); }, nullptr, nullptr, nullptr, true},
    CommandRow{RowKind::Command, cmd::HoldTestNote, "&Hold Test Note", "Ctrl+Shift+T",
               [](CQuarnEditApp& a) { a.Sound().OnHoldTestNote(); }, nullptr, nullptr,
               [](const CQuarnEditApp& a) { return a.Sound().IsHoldingTestNote(); }, true},
    CommandRow{RowKind::Command, cmd::AllNotesOff, "All Notes &Off", "",
               [](CQuarnEditApp& a) { a.Sound().OnAllNotesOff(); }, nullptr, nullptr, nullptr, true},
    Separator(),
    CommandRow{RowKind::Command, cmd::MidiMonitor, "MIDI &Monitor...", "", [](CQuarnEditApp& a) { a.OnMidiMonitor(); },
               nullptr, nullptr, nullptr, true},
    Separator(),
    CommandRow{RowKind::Command, cmd::InputDevice, "&Input Device...", "",
               [](CQuarnEditApp& a) { a.Inputs().OnInputDevice(); }, nullptr, nullptr, nullptr, true},
    CommandRow{RowKind::Command, cmd::MidiThru, "MIDI Th&ru", "", [](CQuarnEditApp& a) { a.Inputs().OnMidiThru(); },
               nullptr, nullptr, [](const CQuarnEditApp& a) { return a.Inputs().IsThruOn(); }, true},
    // The bindings are the program's, not the patch's.
    CommandRow{RowKind::Command, cmd::Controllers, "&Controllers...", "",
               [](CQuarnEditApp& a) { a.Controllers().OnControllers(); }, nullptr, nullptr, nullptr, true},
};

const std::array kHelpMenu{
    CommandRow{RowKind::Command, cmd::AppAbout, "&About QuarnEdit", "",
               [](CQuarnEditApp& a) { a.Dialogs().ShowAbout(); }, nullptr, nullptr, nullptr, true},
};

const std::array kMenuBar{
    MenuDef{"&File", kFileMenu},
    MenuDef{"&Edit", kEditMenu},
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
