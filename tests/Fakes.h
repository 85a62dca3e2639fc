#pragma once

#include "app/UserDialogs.h"
#include "midi/MidiOutPorts.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// MIDI ports that keep every byte sent to the open device.
class RecordingPorts : public MidiOutPorts {
public:
    std::vector<std::string> names{"Port A", "Port B"};
    std::vector<bool> opens{true, true};  // whether each index opens
    int openIndex = -1;
    int openCalls = 0;
    int closeCalls = 0;
    Bytes bytes;

    int Count() override { return static_cast<int>(names.size()); }
    std::optional<std::string> Name(int index) override {
        if (index < 0 || index >= Count()) return std::nullopt;
        return names[static_cast<std::size_t>(index)];
    }
    bool Open(int index) override {
        ++openCalls;
        if (index < 0 || index >= Count() || !opens[static_cast<std::size_t>(index)]) return false;
        openIndex = index;
        return true;
    }
    std::size_t undeliveredAtClose = 0;  // what the next Close reports
    std::size_t Close() override {
        ++closeCalls;
        openIndex = -1;
        return std::exchange(undeliveredAtClose, 0);
    }
    void Send(std::uint8_t status, std::uint8_t d1, std::uint8_t d2) override {
        if (openIndex < 0) return;
        bytes.insert(bytes.end(), {status, d1, d2});
    }
};

class CountingPause : public MidiPause {
public:
    int count = 0;
    void AfterMessage() override { ++count; }
};

// Answers message boxes from a script and records every request.
class ScriptedDialogs : public UserDialogs {
public:
    std::vector<MessageRequest> messages;
    std::deque<MessageAnswer> answers;  // empty: Ok / Yes
    std::deque<std::optional<std::string>> savePaths;
    std::deque<std::optional<std::string>> openPaths;
    std::vector<FileDialogRequest> fileRequests;
    int aboutShown = 0;
    std::deque<std::optional<int>> deviceAnswers;  // empty: Cancel
    std::vector<std::pair<std::vector<std::string>, int>> deviceRequests;
    std::deque<std::optional<std::string>> commentAnswers;  // empty: Cancel
    std::vector<std::string> commentRequests;

    MessageAnswer ShowMessage(const MessageRequest& request) override {
        messages.push_back(request);
        if (answers.empty()) return request.buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
        MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> AskSaveFileName(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        if (savePaths.empty()) return std::nullopt;
        auto p = savePaths.front();
        savePaths.pop_front();
        return p;
    }
    std::optional<std::string> AskOpenFileName(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        if (openPaths.empty()) return std::nullopt;
        auto p = openPaths.front();
        openPaths.pop_front();
        return p;
    }
    void ShowAbout() override { ++aboutShown; }
    std::optional<int> RunDeviceDialog(const std::vector<std::string>& names, int current) override {
        deviceRequests.emplace_back(names, current);
        if (deviceAnswers.empty()) return std::nullopt;
        auto a = deviceAnswers.front();
        deviceAnswers.pop_front();
        return a;
    }
    std::optional<std::string> RunCommentDialog(const std::string& text) override {
        commentRequests.push_back(text);
        if (commentAnswers.empty()) return std::nullopt;
        auto a = commentAnswers.front();
        commentAnswers.pop_front();
        return a;
    }
};

// Control Change triples as bytes, for comparing whole sequences.
inline Bytes CC(std::initializer_list<std::array<int, 2>> pairs) {
    Bytes out;
    for (auto [c, v] : pairs) out.insert(out.end(), {0xB0, static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(v)});
    return out;
}
