// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/OscSocket.h"

#include <arpa/inet.h>
#include <lo/lo.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <memory>

namespace {

struct MessageDeleter {
    void operator()(lo_message m) const { lo_message_free(m); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageDeleter>;

struct Text {
    char* text;
    ~Text() { std::free(text); }
};

}  // namespace

std::optional<OscMessage> DecodeOscMessage(const void* data, std::size_t size) {
    // A message starts with its path: '/'. A bundle ("#bundle") or anything else is not for us.
    if (size < 8 || size % 4 != 0 || static_cast<const char*>(data)[0] != '/') return std::nullopt;
    std::vector<char> copy(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    int result = 0;
    Message message(lo_message_deserialise(copy.data(), copy.size(), &result));
    if (!message || result != 0) return std::nullopt;
    // The path is the first padded string of the datagram, which the deserialiser has checked.
    OscMessage out;
    out.path.assign(copy.data(), strnlen(copy.data(), copy.size()));
    const char* types = lo_message_get_types(message.get());
    lo_arg** argv = lo_message_get_argv(message.get());
    const int count = lo_message_get_argc(message.get());
    for (int i = 0; i < count && types != nullptr && types[i] != '\0'; ++i) {
        OscArgument a;
        a.type = types[i];
        // liblo points into the datagram, 4-byte aligned, not as its union of 8-byte members would want:
        // the values are copied out as bytes.
        const char* value = reinterpret_cast<const char*>(argv[i]);
        switch (types[i]) {
            case LO_INT32: std::memcpy(&a.i, value, sizeof a.i); break;
            case LO_FLOAT: std::memcpy(&a.f, value, sizeof a.f); break;
            case LO_STRING:
            case LO_SYMBOL:
                a.type = 's';
                a.s = value;
                break;
            default: break;
        }
        out.args.push_back(std::move(a));
    }
    return out;
}

std::vector<unsigned char> EncodeOscMessage(const OscMessage& message) {
    Message m(lo_message_new());
    for (const OscArgument& a : message.args) {
        switch (a.type) {
            case 'i': lo_message_add_int32(m.get(), a.i); break;
            case 'f': lo_message_add_float(m.get(), a.f); break;
            case 's': lo_message_add_string(m.get(), a.s.c_str()); break;
            default: return {};
        }
    }
    std::size_t size = 0;
    void* bytes = lo_message_serialise(m.get(), message.path.c_str(), nullptr, &size);
    if (bytes == nullptr) return {};
    std::vector<unsigned char> out(static_cast<unsigned char*>(bytes), static_cast<unsigned char*>(bytes) + size);
    std::free(bytes);
    return out;
}

std::unique_ptr<OscSocket> OscSocket::Open(const std::string& url, std::string& error) {
    Text protocol{lo_url_get_protocol(url.c_str())};
    Text host{lo_url_get_hostname(url.c_str())};
    Text port{lo_url_get_port(url.c_str())};
    if (protocol.text == nullptr || std::strcmp(protocol.text, "udp") != 0 || host.text == nullptr ||
        port.text == nullptr) {
        error = "NSM_URL is not an OSC address over UDP: " + url;
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.text, port.text, &hints, &found) != 0 || found == nullptr) {
        error = std::string("the session manager's host is unknown: ") + host.text;
        return nullptr;
    }
    sockaddr_in server{};
    std::memcpy(&server, found->ai_addr, sizeof server);
    freeaddrinfo(found);
    // The session manager runs on this machine: nothing of ours goes anywhere else.
    if ((ntohl(server.sin_addr.s_addr) >> 24) != 127) {
        error = std::string("the session manager is not on this machine: ") + host.text;
        return nullptr;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = "no socket for the session manager";
        return nullptr;
    }
    sockaddr_in own{};
    own.sin_family = AF_INET;
    own.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    own.sin_port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&own), sizeof own) != 0) {
        close(fd);
        error = "no socket for the session manager";
        return nullptr;
    }
    return std::unique_ptr<OscSocket>(new OscSocket(fd, server));
}

OscSocket::~OscSocket() { close(m_fd); }

int OscSocket::Port() const {
    sockaddr_in own{};
    socklen_t length = sizeof own;
    if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&own), &length) != 0) return 0;
    return ntohs(own.sin_port);
}

void OscSocket::Send(const OscMessage& message) {
    const std::vector<unsigned char> bytes = EncodeOscMessage(message);
    if (bytes.empty()) return;
    // A datagram on the loopback is taken at once or dropped, never waited for.
    sendto(m_fd, bytes.data(), bytes.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&m_server),
           sizeof m_server);
}

void OscSocket::ReadPending(const std::function<void(const OscMessage&)>& handler, int most) {
    std::array<unsigned char, 65536> buffer;
    for (int i = 0; i < most; ++i) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t size =
            recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
        if (size < 0) return;
        // Only the session manager speaks to us (a datagram's sender on the loopback cannot be forged).
        if (from.sin_port != m_server.sin_port || from.sin_addr.s_addr != m_server.sin_addr.s_addr) continue;
        if (const std::optional<OscMessage> message = DecodeOscMessage(buffer.data(), static_cast<std::size_t>(size)))
            handler(*message);
    }
}
