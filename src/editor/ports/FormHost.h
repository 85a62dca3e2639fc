// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class MidiSink;
class UserDialogs;

// What the form needs of the application around it: where to send, the switch that silences sending while
// a patch fills the form, and the user's dialogs.
class FormHost {
public:
    virtual ~FormHost() = default;
    // The sink to send to at this moment; asked anew for every send and never kept. Never null.
    virtual MidiSink* GetActiveSink() = 0;
    // While muted every send goes to the null sink.
    virtual void SetMute(bool muted) = 0;
    virtual UserDialogs& Dialogs() = 0;
    // The user changed the patch: an edit, an undo or a redo.
    virtual void PatchEdited() {}
    // The user tried to change a form that is read-only.
    virtual void EditRefused() {}
};

// Mutes the host for the length of a scope; whatever happens inside, sending is on again afterwards.
class ScopedMute {
public:
    explicit ScopedMute(FormHost& host) : m_host(host) { m_host.SetMute(true); }
    ~ScopedMute() { m_host.SetMute(false); }
    ScopedMute(const ScopedMute&) = delete;
    ScopedMute& operator=(const ScopedMute&) = delete;

private:
    FormHost& m_host;
};
