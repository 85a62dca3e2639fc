// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

class LibraryHost;
class MidiMonitor;
class SoundDesign;

// The frame around the form: told when what it shows must change.
class FrameView {
public:
    virtual ~FrameView() = default;
    // Shows the main window and paints it at once; start-up calls it before it opens the MIDI device.
    virtual void ShowMainWindow() = 0;
    virtual void TitleChanged(const std::string& documentTitle) = 0;
    // The caption marks a modified document.
    virtual void ModifiedChanged(bool modified) = 0;
    // What the menu commands say or whether they can run may have changed (the undo texts, for one).
    virtual void CommandsChanged() = 0;
    // The form shows the patch as it was loaded or saved, not the edit: the caption says so.
    virtual void ComparingChanged(bool comparing) = 0;
    // A short note for the user below the form, where it does not interrupt ("" takes it away).
    virtual void ShowStatus(const std::string& text) = 0;
    // News the user must not miss but that must not stop a musician who plays (a device gone or back): on the
    // status line, and where the window keeps it until it is closed, without taking the focus or waiting.
    virtual void ShowNotice(const std::string& text) { ShowStatus(text); }
    // Opens (or raises) the window that lists what is sent; when it closes the application hears of it.
    virtual void ShowMidiMonitor(MidiMonitor& monitor) = 0;
    // Opens (or raises) the patch library window, which asks `host` to audition, open and restore.
    virtual void ShowLibrary(LibraryHost& host) = 0;
    // Opens (or raises) the morph window, or the variations window, on the session `sound` holds; Close...
    // closes it when the session ended elsewhere (a command on the patch). Without a window they do nothing.
    virtual void ShowMorph(SoundDesign& /*sound*/) {}
    virtual void CloseMorph() {}
    virtual void ShowVariations(SoundDesign& /*sound*/) {}
    virtual void CloseVariations() {}
    // Opens (or raises) the envelope pictures' window, or closes it. Without a window they do nothing.
    virtual void ShowEnvelopes() {}
    virtual void CloseEnvelopes() {}
    virtual void RecentFilesChanged(const std::vector<std::string>& paths) = 0;
    virtual void CloseMainWindow() = 0;
};
