// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// OSC over UDP on the loopback, for the session manager: liblo makes and reads the messages, the socket is
// our own, bound to 127.0.0.1 only and never blocking, so Qt's event loop can watch it.

#include "app/ports/OscLink.h"

#include <netinet/in.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One OSC datagram as the session's client takes it; nothing when it is no OSC message (a bundle, garbage).
std::optional<OscMessage> DecodeOscMessage(const void* data, std::size_t size);
// The datagram of one message; empty when liblo cannot make it.
std::vector<unsigned char> EncodeOscMessage(const OscMessage& message);

class OscSocket : public OscLink {
public:
    // A socket on 127.0.0.1 (a port the system chooses) that talks to the OSC server at `url`
    // ("osc.udp://host:port/"). Nothing when the url does not name a loopback address or the socket fails;
    // `error` says why.
    static std::unique_ptr<OscSocket> Open(const std::string& url, std::string& error);
    ~OscSocket() override;
    OscSocket(const OscSocket&) = delete;
    OscSocket& operator=(const OscSocket&) = delete;

    void Send(const OscMessage& message) override;
    // The descriptor to watch for reading.
    int Descriptor() const { return m_fd; }
    // Every datagram waiting now (at most `most`), each message from the server handed to `handler`; a
    // datagram from any other sender is dropped. Never blocks.
    void ReadPending(const std::function<void(const OscMessage&)>& handler, int most = 64);
    int Port() const;

private:
    OscSocket(int fd, sockaddr_in server) : m_fd(fd), m_server(server) {}
    int m_fd;
    sockaddr_in m_server;
};
