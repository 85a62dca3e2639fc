// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ports/Clock.h"
#include "app/ports/FrameView.h"
#include "app/ports/Profile.h"
#include "app/ports/RecoveryStore.h"
#include "editor/ports/FormWindow.h"
#include "editor/ports/ProgramLocation.h"
#include "editor/ports/QuickLoadLibrary.h"
#include "editor/ports/UserDialogs.h"
#include "midi/MidiInPorts.h"
#include "midi/MidiOutPorts.h"
#include "midi/MidiPacer.h"
#include "midi/MidiSendQueue.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
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
    std::map<int, Bytes> byPort;  // the same bytes, by the device that got them
    void Send(std::uint8_t status, std::uint8_t d1, std::uint8_t d2) override {
        if (openIndex < 0) return;
        bytes.insert(bytes.end(), {status, d1, d2});
        byPort[openIndex].insert(byPort[openIndex].end(), {status, d1, d2});
    }
};

// MIDI input devices whose received bytes the test writes.
class FakeInputPorts : public MidiInPorts {
public:
    std::vector<std::string> names{"Keys A", "Knobs B"};
    std::vector<bool> opens{true, true};
    int openIndex = -1;
    int openCalls = 0;
    int countCalls = 0;  // any look at the devices at all
    Bytes received;      // what the open device sent and the program has not taken yet
    // When each byte of `received` arrived (µs); bytes beyond it arrived at `now`.
    std::vector<std::uint32_t> arrived;
    std::uint32_t now = 0;

    int Count() override {
        ++countCalls;
        return static_cast<int>(names.size());
    }
    std::optional<std::string> Name(int index) override {
        if (index < 0 || index >= static_cast<int>(names.size())) return std::nullopt;
        return names[static_cast<std::size_t>(index)];
    }
    bool Open(int index) override {
        ++openCalls;
        if (index < 0 || index >= static_cast<int>(names.size()) || !opens[static_cast<std::size_t>(index)])
            return false;
        openIndex = index;
        return true;
    }
    void Close() override { openIndex = -1; }
    void TakeReceived(std::vector<std::uint8_t>& out, std::vector<std::uint32_t>& times) override {
        out.insert(out.end(), received.begin(), received.end());
        arrived.resize(received.size(), now);
        times.insert(times.end(), arrived.begin(), arrived.end());
        received.clear();
        arrived.clear();
    }
};

// The tests' pacer: counts the messages queued and sends each at once, its clock jumping to the message's
// due time, so that everything sent is at the device when the sending call returns.
class CountingPause : public MidiPacer {
public:
    int count = 0;
    TimePoint now{};
    MidiSendQueue* served = nullptr;
    TimePoint Now() override { return now; }
    void Serve(MidiSendQueue* queue) override { served = queue; }
    // Looks at the queue as an idle pacer does now and then, and sends what that brought.
    void Look() {
        if (served != nullptr) Queued(*served, 0);
    }
    void Queued(MidiSendQueue& queue, std::size_t messages) override {
        count += static_cast<int>(messages);
        while (const std::optional<TimePoint> next = queue.SendDue(now)) now = std::max(now, *next);
    }
};

// A pacer whose clock and sending the test drives: nothing leaves until the test says so.
class ManualPacer : public MidiPacer {
public:
    TimePoint now{};
    MidiSendQueue* served = nullptr;
    TimePoint Now() override { return now; }
    void Serve(MidiSendQueue* queue) override { served = queue; }
    void Queued(MidiSendQueue&, std::size_t) override {}
    // Whether a close that waits for the queue finds it sent, as a pacer thread would send it meanwhile.
    bool drainOnClose = false;
    void Draining(MidiSendQueue&) override {
        if (drainOnClose) Drain();
    }
    // Moves the clock on by `step` and sends what is due by then.
    void Advance(std::chrono::microseconds step) {
        now += step;
        if (served != nullptr) served->SendDue(now);
    }
    // Sends everything queued, the clock following the due times; looks once even when nothing is queued.
    void Drain() {
        if (served != nullptr) served->SendDue(now);
        while (served != nullptr && served->Size() > 0) {
            if (const std::optional<TimePoint> next = served->SendDue(now)) now = std::max(now, *next);
        }
    }
};

// Answers message boxes from a script and records every request.
class ScriptedDialogs : public UserDialogs {
public:
    std::vector<MessageRequest> messages;
    std::deque<MessageAnswer> answers;  // empty: Ok, Yes to a question, Cancel where there is a Cancel
    std::deque<std::optional<std::string>> savePaths;
    std::deque<std::optional<std::string>> openPaths;
    std::vector<FileDialogRequest> fileRequests;
    int aboutShown = 0;
    std::deque<std::optional<int>> deviceAnswers;  // empty: Cancel
    std::vector<std::pair<std::vector<std::string>, int>> deviceRequests;
    std::deque<std::optional<std::string>> commentAnswers;  // empty: Cancel
    std::vector<std::string> commentRequests;
    std::vector<TextRoom> commentRooms;
    std::deque<std::optional<TestNoteSettings>> testNoteAnswers;  // empty: Cancel
    std::deque<std::optional<MutationRequest>> mutateAnswers;     // empty: Cancel
    std::function<void(const MessageRequest&)> onMessage;         // sees the program's state while a box is up

    MessageAnswer ShowMessage(const MessageRequest& request) override {
        messages.push_back(request);
        if (onMessage) onMessage(request);
        if (answers.empty()) {
            switch (request.buttons) {
                case MessageButtons::Ok: return MessageAnswer::Ok;
                case MessageButtons::YesNo: return MessageAnswer::Yes;
                case MessageButtons::YesNoCancel: return MessageAnswer::Cancel;
            }
        }
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
    std::deque<std::optional<int>> inputDeviceAnswers;  // empty: Cancel
    std::vector<std::pair<std::vector<std::string>, int>> inputDeviceRequests;
    std::vector<std::vector<std::string>> inputListsShown;
    std::optional<int> RunInputDeviceDialog(const std::vector<std::string>& names, int current) override {
        inputDeviceRequests.emplace_back(names, current);
        return Next(inputDeviceAnswers);
    }
    void InputDeviceListChanged(const std::vector<std::string>& names) override { inputListsShown.push_back(names); }
    std::optional<TestNoteSettings> RunTestNoteDialog(const TestNoteSettings&) override {
        return Next(testNoteAnswers);
    }
    std::optional<MutationRequest> RunMutateDialog(const MutationSettings&) override { return Next(mutateAnswers); }
    std::deque<std::optional<std::vector<std::size_t>>> controllerAnswers;  // empty: Cancel
    std::vector<std::vector<ControllerRow>> controllerRequests;
    std::optional<std::vector<std::size_t>> RunControllersDialog(const std::vector<ControllerRow>& rows) override {
        controllerRequests.push_back(rows);
        return Next(controllerAnswers);
    }
    template <typename T>
    static std::optional<T> Next(std::deque<std::optional<T>>& answers) {
        // Built in place: a copy of an optional vector trips the compiler's uninitialized-use warning when
        // instrumented for ThreadSanitizer.
        std::optional<T> answer;
        if (answers.empty()) return answer;
        if (answers.front()) answer.emplace(std::move(*answers.front()));
        answers.pop_front();
        return answer;
    }
    std::optional<std::string> RunCommentDialog(const std::string& text, const TextRoom& room) override {
        commentRequests.push_back(text);
        commentRooms.push_back(room);
        if (commentAnswers.empty()) return std::nullopt;
        auto a = commentAnswers.front();
        commentAnswers.pop_front();
        return a;
    }
};

// The profile as a map, counting writes.
struct MapProfile : Profile {
    std::map<std::string, int> ints;
    std::vector<std::string> recent;
    int intWrites = 0;
    int GetProfileInt(const std::string& s, const std::string& k, int d) override {
        auto it = ints.find(s + "/" + k);
        return it == ints.end() ? d : it->second;
    }
    void WriteProfileInt(const std::string& s, const std::string& k, int v) override {
        ++intWrites;
        ints[s + "/" + k] = v;
    }
    std::map<std::string, std::string> strings;
    std::string GetProfileString(const std::string& s, const std::string& k, const std::string& d) override {
        auto it = strings.find(s + "/" + k);
        return it == strings.end() ? d : it->second;
    }
    void WriteProfileString(const std::string& s, const std::string& k, const std::string& v) override {
        ++stringWrites;
        strings[s + "/" + k] = v;
    }
    int stringWrites = 0;
    std::vector<std::string> RecentFiles() override { return recent; }
    void WriteRecentFiles(const std::vector<std::string>& p) override { recent = p; }
};

struct DirLocation : ProgramLocation {
    std::string dir = "/nonexistent/quarnedit-test/";
    std::string ProgramDirectory() override { return dir; }
};

// No quick-load library anywhere.
struct NoLibraries : LibraryLoader {
    std::unique_ptr<DynamicLibrary> Load(const std::string&) override { return nullptr; }
};

// A quick-load library that answers `path` at once.
struct AnsweringLibrary : LibraryLoader, DynamicLibrary {
    static inline std::string path;
    static int Entry(char* buffer, std::uintptr_t, std::int32_t, std::int32_t) {
        std::snprintf(buffer, kQuickLoadBufferSize, "%s", path.c_str());
        return 1;
    }
    std::unique_ptr<DynamicLibrary> Load(const std::string&) override { return std::make_unique<AnsweringLibrary>(); }
    QuickLoadEntry FindQuickLoadEntry(const std::string&) override { return &Entry; }
};

struct FixedWindow : FormWindow {
    std::uintptr_t WindowId() override { return 0x1234; }
    std::pair<int, int> ClientOriginOnScreen() override { return {100, 50}; }
};

// Time that moves only when the test moves it; timers fire as it passes them.
struct ManualClock : Clock {
    struct ManualTimer : Timer {
        ManualClock& clock;
        std::function<void()> fire;
        std::optional<std::chrono::steady_clock::time_point> due;
        ManualTimer(ManualClock& c, std::function<void()> f) : clock(c), fire(std::move(f)) {
            clock.timers.push_back(this);
        }
        ~ManualTimer() override { std::erase(clock.timers, this); }
        void Start(std::chrono::milliseconds delay) override { due = clock.now + delay; }
        void Stop() override { due.reset(); }
        bool IsActive() const override { return due.has_value(); }
    };
    std::chrono::steady_clock::time_point now{};
    std::vector<ManualTimer*> timers;

    std::chrono::steady_clock::time_point Now() override { return now; }
    std::unique_ptr<Timer> CreateTimer(std::function<void()> onTimeout) override {
        return std::make_unique<ManualTimer>(*this, std::move(onTimeout));
    }
    void Advance(std::chrono::milliseconds by) {
        now += by;
        for (bool fired = true; fired;) {
            fired = false;
            for (ManualTimer* t : timers) {
                if (t->due && *t->due <= now) {
                    t->due.reset();
                    t->fire();
                    fired = true;
                    break;
                }
            }
        }
    }
};

// Unsaved changes kept in memory; `abandoned` plays the files other instances left behind.
struct MemoryRecovery : RecoveryStore {
    std::optional<std::pair<Bytes, std::string>> saved;  // this instance's file: patch bytes, document path
    int saves = 0;
    std::vector<Abandoned> abandoned;
    std::vector<std::string> removed;
    bool full = false;  // the disk is full: every save fails and keeps nothing
    bool Save(std::span<const std::uint8_t> patchFile, const std::string& documentPath) override {
        ++saves;
        if (full) return false;
        saved.emplace(Bytes(patchFile.begin(), patchFile.end()), documentPath);
        return true;
    }
    void Discard() override { saved.reset(); }
    std::optional<Abandoned> TakeAbandoned() override {
        if (abandoned.empty()) return std::nullopt;
        Abandoned a = abandoned.front();
        abandoned.erase(abandoned.begin());
        return a;
    }
    void Remove(const Abandoned& file) override { removed.push_back(file.key); }
};

// The frame: keeps the title and what was asked of it.
struct RecordingFrame : FrameView {
    std::vector<std::string> events;
    std::string title;
    void ShowMainWindow() override { events.push_back("show"); }
    void TitleChanged(const std::string& t) override {
        title = t;
        events.push_back("title " + t);
    }
    void RecentFilesChanged(const std::vector<std::string>&) override {}
    void CloseMainWindow() override { events.push_back("close"); }
    bool modified = false;
    void ModifiedChanged(bool m) override { modified = m; }
    int commandChanges = 0;
    void CommandsChanged() override { ++commandChanges; }
    bool comparing = false;
    void ComparingChanged(bool c) override { comparing = c; }
    std::string status;
    void ShowStatus(const std::string& text) override { status = text; }
    std::vector<std::string> notices;
    void ShowNotice(const std::string& text) override {
        notices.push_back(text);
        status = text;
    }
    MidiMonitor* monitor = nullptr;
    void ShowMidiMonitor(MidiMonitor& m) override { monitor = &m; }
    LibraryHost* library = nullptr;
    void ShowLibrary(LibraryHost& host) override { library = &host; }
    void ShowMorph(SoundDesign&) override { events.push_back("show morph"); }
    void CloseMorph() override { events.push_back("close morph"); }
    void ShowVariations(SoundDesign&) override { events.push_back("show variations"); }
    void CloseVariations() override { events.push_back("close variations"); }
};

// Control Change triples as bytes, for comparing whole sequences.
inline Bytes CC(std::initializer_list<std::array<int, 2>> pairs) {
    Bytes out;
    for (auto [c, v] : pairs) out.insert(out.end(), {0xB0, static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(v)});
    return out;
}
