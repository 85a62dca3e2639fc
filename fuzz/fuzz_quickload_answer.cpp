// SPDX-License-Identifier: GPL-3.0-or-later
// Plays the quick-load library with arbitrary answers: its entry point copies the input into the
// 261-byte buffer, terminated when shorter, unterminated when it fills the buffer. The form must read
// no byte past the buffer (AddressSanitizer), must end with the transmit question armed again, and can
// only report that the file could not be opened, or say nothing for an empty answer.
//
// Safety: the run happens in an empty directory of its own and every '/' becomes '_', so an answer can
// only name a missing file in that directory (or the directory itself), never a device or a FIFO. Give
// libFuzzer absolute corpus and artifact paths: relative ones would land in that directory.
#include "EditorRig.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_quickload_answer: %s\n", what);
    std::abort();
}

constexpr std::size_t kBufferSize = 261;
const std::uint8_t* g_answer = nullptr;
std::size_t g_answerSize = 0;
int g_calls = 0;

int Entry(char* buffer, std::uintptr_t, std::int32_t, std::int32_t) {
    ++g_calls;
    const std::size_t n = std::min(g_answerSize, kBufferSize);
    for (std::size_t i = 0; i < n; ++i) buffer[i] = g_answer[i] == '/' ? '_' : static_cast<char>(g_answer[i]);
    if (n < kBufferSize) buffer[n] = '\0';
    return 1;
}

struct FakeLibrary : DynamicLibrary {
    QuickLoadEntry FindQuickLoadEntry(const std::string& name) override {
        return name == "RunQuickLoadMenuA" ? &Entry : nullptr;
    }
};

struct FakeLoader : LibraryLoader {
    std::unique_ptr<DynamicLibrary> Load(const std::string&) override { return std::make_unique<FakeLibrary>(); }
};

// Once per process: a fresh empty directory becomes the working directory, removed again at exit.
void EnterEmptyDirectory() {
    static std::string dir;
    if (!dir.empty()) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quarn-quickload-XXXXXX";
    Require(mkdtemp(pattern.data()) != nullptr, "cannot make a temporary directory");
    dir = pattern;
    Require(chdir(dir.c_str()) == 0, "cannot enter the temporary directory");
    std::atexit([] { rmdir(dir.c_str()); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EnterEmptyDirectory();
    g_answer = data;
    g_answerSize = size;
    g_calls = 0;

    EditorRig rig;
    Require(rig.ShowAndOpen(), "recording port did not open");
    FakeLoader loader;
    rig.dlg.SetQuickLoad(&loader);
    CMainDlg& dlg = rig.dlg;
    const RecordingPorts& ports = rig.ports;
    const ScriptedDialogs& dialogs = rig.dialogs;

    dlg.OnQuickLoad();

    Require(g_calls == 1, "entry point not called once");
    Require(!skipTransmitQuestion, "transmit question left skipped");
    Require(ports.bytes.empty(), "sent something without a patch");
    const bool emptyAnswer = size == 0 || data[0] == '\0';
    if (emptyAnswer) {
        Require(dialogs.messages.empty(), "message for an empty answer");
    } else {
        Require(dialogs.messages.size() == 1, "not exactly one message for a missing file");
        Require(dialogs.messages[0].text == "Couldn't open input file", "wrong message for a missing file");
    }
    return 0;
}
