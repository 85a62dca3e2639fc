// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QueuedPortChanges.h"

#include "platform/RtMidiPorts.h"

#include <QMetaObject>

#include <utility>

QueuedPortChanges::QueuedPortChanges(RtMidiPorts& ports, std::function<void(MidiPortChange)> onThisThread,
                                     std::function<void(const std::string&)> noticeOnThisThread)
    : m_ports(ports), m_handler(std::move(onThisThread)), m_notice(std::move(noticeOnThisThread)) {
    if (m_notice)
        m_ports.SetNoticeHandler([this](const std::string& text) {
            QMetaObject::invokeMethod(
                &m_context, [this, text] { m_notice(text); }, Qt::QueuedConnection);
        });
    m_ports.SetChangeHandler([this](MidiPortChange change) {
        if (change == MidiPortChange::ListChanged && m_listChangePending.exchange(true)) return;
        QMetaObject::invokeMethod(
            &m_context,
            [this, change] {
                if (change == MidiPortChange::ListChanged) m_listChangePending = false;
                m_handler(change);
            },
            Qt::QueuedConnection);
    });
}

// Waits for a call in progress on a library thread; none starts after.
QueuedPortChanges::~QueuedPortChanges() {
    m_ports.SetChangeHandler({});
    m_ports.SetNoticeHandler({});
}
