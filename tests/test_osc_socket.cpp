// SPDX-License-Identifier: GPL-3.0-or-later
// The session manager's socket: only on this machine's loopback, only the session manager heard, and what
// liblo reads of a datagram handed on as it was sent.
#include "platform/OscSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A UDP socket of the test's own on 127.0.0.1.
struct Peer {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    Peer() {
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    }
    ~Peer() { close(fd); }
    std::string Url() const { return "osc.udp://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/"; }
    void SendTo(int port, const std::vector<unsigned char>& bytes) const {
        sockaddr_in to = address;
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    // The next datagram, waited for at most 5 s.
    std::vector<unsigned char> Receive() const {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) != 1) return {};
        std::vector<unsigned char> bytes(65536);
        const ssize_t size = recv(fd, bytes.data(), bytes.size(), 0);
        bytes.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
        return bytes;
    }
};

// Waits (at most 5 s) for the socket to have something to read.
bool Readable(const OscSocket& socket) {
    pollfd p{socket.Descriptor(), POLLIN, 0};
    return poll(&p, 1, 5000) == 1;
}

TEST(OscSocket, OnlyASessionManagerOnThisMachineOverUdpIsSpokenTo) {
    for (const char* url : {"osc.udp://192.0.2.1:9000/", "osc.tcp://127.0.0.1:9000/", "not a url", "osc.udp://:/"}) {
        std::string error;
        EXPECT_EQ(OscSocket::Open(url, error), nullptr) << url;
        EXPECT_FALSE(error.empty()) << url;
    }
}

TEST(OscSocket, MessagesGoAndComeBackAsSentAndStrangersAreNotHeard) {
    Peer manager;
    Peer stranger;
    std::string error;
    const std::unique_ptr<OscSocket> socket = OscSocket::Open(manager.Url(), error);
    ASSERT_NE(socket, nullptr) << error;

    const OscMessage announce{"/nsm/server/announce",
                              {OscArgument::Text("QuarnEdit"), OscArgument::Int(-7), {'f', 0, 2.5f, {}}}};
    socket->Send(announce);
    const std::vector<unsigned char> sent = manager.Receive();
    const std::optional<OscMessage> decoded = DecodeOscMessage(sent.data(), sent.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->path, announce.path);
    EXPECT_EQ(decoded->Types(), "sif");
    EXPECT_EQ(decoded->args[0].s, "QuarnEdit");
    EXPECT_EQ(decoded->args[1].i, -7);
    EXPECT_EQ(decoded->args[2].f, 2.5f);

    // The stranger's datagram comes first and is dropped; the session manager's is heard.
    const OscMessage save{"/nsm/client/save", {}};
    stranger.SendTo(socket->Port(), EncodeOscMessage(save));
    ASSERT_TRUE(Readable(*socket));
    std::vector<std::string> heard;
    socket->ReadPending([&](const OscMessage& m) { heard.push_back(m.path); });
    EXPECT_TRUE(heard.empty());
    manager.SendTo(socket->Port(), EncodeOscMessage(save));
    ASSERT_TRUE(Readable(*socket));
    socket->ReadPending([&](const OscMessage& m) { heard.push_back(m.path); });
    EXPECT_EQ(heard, std::vector<std::string>{"/nsm/client/save"});
}

TEST(OscSocket, WhatIsNoMessageIsNothing) {
    const std::vector<unsigned char> message = EncodeOscMessage({"/a", {OscArgument::Int(1)}});
    ASSERT_FALSE(message.empty());
    EXPECT_TRUE(DecodeOscMessage(message.data(), message.size()));
    std::vector<unsigned char> bundle = message;
    bundle[0] = '#';
    EXPECT_FALSE(DecodeOscMessage(bundle.data(), bundle.size()));
    EXPECT_FALSE(DecodeOscMessage(message.data(), message.size() - 1));  // not a multiple of four
    EXPECT_FALSE(DecodeOscMessage(message.data(), message.size() - 4));  // its argument missing
    EXPECT_FALSE(DecodeOscMessage(message.data(), 0));
    // A type the client does not read keeps its tag, so a check of the types sees it.
    const unsigned char blob[] = {'/', 'b', 0, 0, ',', 'b', 0, 0, 0, 0, 0, 1, 'x', 0, 0, 0};
    const std::optional<OscMessage> m = DecodeOscMessage(blob, sizeof blob);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Types(), "b");
    // What cannot be encoded is not sent.
    EXPECT_TRUE(EncodeOscMessage({"/a", {{'b', 0, 0, {}}}}).empty());
}

}  // namespace
