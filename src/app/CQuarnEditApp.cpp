#include "app/CQuarnEditApp.h"

#include "app/CQuarnEditDoc.h"
#include "app/Services.h"
#include "app/UserDialogs.h"
#include "editor/CMainDlg.h"
#include "midi/MidiOutPorts.h"

#include <algorithm>

CQuarnEditApp::CQuarnEditApp(MidiOutPorts& ports, MidiPause& pause)
    : m_nullSink(std::make_unique<NullSink>()), m_ports(ports), m_pause(pause) {}

CQuarnEditApp::~CQuarnEditApp() {
    m_document.reset();
    m_form.reset();
    // The null sink goes first, then the port sink, which closes the device.
    m_nullSink.reset();
    m_portSink.reset();
}

MidiSink* CQuarnEditApp::GetActiveSink() {
    // Before the port sink exists the null sink stands in, so a send can never fail.
    if (m_mute != 0 || !m_portSink) return m_nullSink.get();
    return m_portSink.get();
}

MidiPortSink& CQuarnEditApp::CreatePortSink() {
    if (!m_portSink) m_portSink = std::make_unique<MidiPortSink>(&m_ports, &m_pause);
    return *m_portSink;
}

void CQuarnEditApp::AttachShell(ShellServices services) { m_shell.emplace(services); }
