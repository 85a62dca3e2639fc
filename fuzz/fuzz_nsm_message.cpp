// SPDX-License-Identifier: GPL-3.0-or-later
// Datagrams to the session manager's port, as any program on this machine may send them, and the settings
// file of a session's folder. A message never makes the client answer more than once per message (at most its
// reply and a dirty state), an answer to an answer never comes, every error carries "sis", a folder reaches the
// program only from an open of three strings with an absolute path; a settings file reads the same after it
// is written back.
#include "app/NsmClient.h"
#include "app/SessionProfile.h"
#include "app/ports/SessionHost.h"
#include "platform/OscSocket.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_nsm_message: %s\n", what);
    std::abort();
}

struct Link : OscLink {
    std::vector<OscMessage> sent;
    void Send(const OscMessage& message) override { sent.push_back(message); }
};

struct Host : SessionHost {
    std::optional<std::string> OpenSession(const std::string& folder, const std::string& id) override {
        Require(!folder.empty() && folder[0] == '/', "a folder that is not absolute reached the program");
        Require(!id.empty() && id.find('/') == std::string::npos, "a client id with a path reached the program");
        return std::nullopt;
    }
    std::optional<std::string> SaveSession() override { return std::nullopt; }
    void ShowGui(bool) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const SessionSettings settings = ParseSessionSettings({reinterpret_cast<const char*>(data), size});
    Require(ParseSessionSettings(FormatSessionSettings(settings)) == settings, "settings change when written back");

    const std::optional<OscMessage> message = DecodeOscMessage(data, size);
    if (!message) return 0;
    // Twice: once before a session is open, once in one.
    for (const bool open : {false, true}) {
        Link link;
        Host host;
        NsmClient client(link, host);
        if (open)
            client.Handle({nsm::kOpen, {OscArgument::Text("/s"), OscArgument::Text("S"), OscArgument::Text("n1")}});
        link.sent.clear();
        client.Handle(*message);
        Require(link.sent.size() <= 3, "too many answers to one message");
        if (message->path == nsm::kReply || message->path == nsm::kError)
            Require(link.sent.empty(), "an answer answered");
        for (const OscMessage& answer : link.sent) {
            if (answer.path == nsm::kError) Require(answer.Types() == "sis", "an error of other types");
            // What goes back can always be sent.
            Require(!EncodeOscMessage(answer).empty(), "an answer that cannot be encoded");
        }
    }
    return 0;
}
