// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program under long random walks of everything a user can do. Two things must hold after every
// step: the synthesizer, as the bytes that reached its input make it, is set as a Transmit All of the form
// would set it; and the unsaved-changes file, whenever nothing is pending, holds the edit (not what Compare
// shows), exactly when the patch is modified. The walks run twice: with every message sent at once, and with
// the send queue under a pacer the walk drives, messages waiting across steps (the synthesizer is then compared
// whenever the queue has emptied). A failure names its seed: QUARN_WALK_SEED=<seed> replays it, and
// QUARN_WALK_STEPS=<n> walks longer.
#include "InstrumentModel.h"
#include "PatchFixtures.h"

#include "app/Commands.h"
#include "app/ControllerLearn.h"
#include "app/DocumentLibraryHost.h"
#include "editor/Morph.h"
#include "editor/Variations.h"
#include "patch/PatchFile.h"

#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace {

using namespace std::chrono_literals;

// Ports whose server overruns now and then: a few of the last messages a device took may never have reached it,
// and the server says which it is unsure of. Each device's input is modelled from what really reached it.
struct FaultyPorts : RecordingPorts {
    struct Message {
        std::uint32_t tag;
        std::array<std::uint8_t, 3> bytes;
    };
    static constexpr std::uint8_t kUnplugged = 0xFF;  // not MIDI: the device lost power, nothing sounds any more
    std::map<int, std::vector<Message>> heard;        // what reached each device
    std::map<int, std::size_t> checked;               // how much of each device's bytes was checked for pairs
    std::optional<TagRange> unsure;

    void SendAt(std::chrono::steady_clock::time_point, std::uint8_t s, std::uint8_t d1, std::uint8_t d2,
                std::uint32_t tag) override {
        if (openIndex >= 0) heard[openIndex].push_back({tag, {s, d1, d2}});
        Send(s, d1, d2);
    }
    std::optional<TagRange> TakeUnsure() override { return std::exchange(unsure, std::nullopt); }

    // An overrun: of the last few messages the open device took, some are lost, and all are in doubt.
    std::string Overrun(std::mt19937& random) {
        std::vector<Message>& got = heard[openIndex];
        if (openIndex < 0 || got.empty()) return " (nothing sent)";
        const auto roll = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
        const std::size_t window = std::min<std::size_t>(got.size(), 1 + static_cast<std::size_t>(roll(8)));
        const std::size_t first = got.size() - window;
        const TagRange range{got[first].tag, got.back().tag};
        std::ostringstream lost;
        for (std::size_t i = got.size(); i-- > first;) {
            if (roll(2) != 0) continue;
            lost << " " << got[i].tag;
            got.erase(got.begin() + static_cast<std::ptrdiff_t>(i));
        }
        // A range that is taken later is widened, as the output widens one not yet taken.
        unsure = TagRange{unsure ? unsure->first : range.first, range.last};
        return " tags " + std::to_string(range.first) + "-" + std::to_string(range.last) + ", lost" + lost.str();
    }
    std::map<int, std::set<std::size_t>> unplugged;  // where in each device's bytes it lost power
    void Unplug() {
        if (openIndex < 0) return;
        heard[openIndex].push_back({0, {kUnplugged, 0, 0}});
        unplugged[openIndex].insert(byPort[openIndex].size() / 3);
    }
    InstrumentModel Model(int port) const {
        InstrumentModel model;
        if (const auto at = heard.find(port); at != heard.end())
            for (const Message& m : at->second) model.Take(m.bytes);
        return model;
    }
    // The notes and pedals that sound on a device: a pedal is a controller 64 that is not a paged parameter.
    int Sounding(int port) const {
        std::map<int, bool> sounding;
        bool afterPage = false;
        if (const auto at = heard.find(port); at != heard.end())
            for (const Message& m : at->second) {
                const int kind = m.bytes[0] & 0xF0, channel = m.bytes[0] & 0x0F;
                if (m.bytes[0] == kUnplugged) sounding.clear();
                if (kind == 0x90 || kind == 0x80)
                    sounding[channel * 128 + m.bytes[1]] = kind == 0x90 && m.bytes[2] != 0;
                if (kind == 0xB0 && m.bytes[1] == 64 && !afterPage) sounding[2048 + channel] = m.bytes[2] >= 64;
                if (kind == 0xB0 && m.bytes[1] == 123)
                    for (int n = 0; n < 128; ++n) sounding[channel * 128 + n] = false;
                afterPage = kind == 0xB0 && m.bytes[1] == 16;
            }
        return static_cast<int>(std::count_if(sounding.begin(), sounding.end(), [](auto& s) { return s.second; }));
    }
    // Whether a page select that left for a device since the last look is followed by anything but its parameter.
    std::optional<std::size_t> SplitPair(int port) {
        const Bytes& sent = byPort[port];
        std::size_t& from = checked[port];
        for (std::size_t i = from; i + 3 < sent.size(); i += 3) {
            // A device unplugged between the two never hears the parameter, and forgets the page anyway.
            if (unplugged[port].count(i / 3 + 1) != 0) continue;
            if (sent[i] == 0xB0 && sent[i + 1] == 16 &&
                (sent[i + 3] != 0xB0 || sent[i + 4] == 16 || sent[i + 4] >= 120))
                return i / 3;
        }
        if (sent.size() >= 3) from = sent.size() - 3;  // a page select last of all is looked at again
        return std::nullopt;
    }
};

// What an instrument would be set to by the parameter messages a form sends, each paged as the wire pages it.
struct ModelSink : MidiSink {
    InstrumentModel model;
    void SendWide(ParamMessage m) override {
        const bool high = m.value() > 127;
        model.parameters[m.parameter()] = {high ? 2 : 1, m.value() - (high ? 128 : 0)};
    }
    void SendPage3(ParamMessage m) override { model.parameters[m.parameter()] = {3, m.value()}; }
    void SendDirect(ParamMessage m) override { model.parameters[m.parameter()] = {model.page, m.value()}; }
    void SendChannelMessage(std::uint8_t, std::uint8_t, std::uint8_t) override {}
};

// The user: answers every question at random, except that a loaded patch is always sent (answering No there
// leaves the synthesizer behind on purpose).
struct RandomUser : ScriptedDialogs {
    std::mt19937& random;
    std::vector<std::string>& patches;  // files that exist and open
    std::string folder;
    int saved = 0;
    explicit RandomUser(std::mt19937& r, std::vector<std::string>& p) : random(r), patches(p) {}

    int Roll(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }

    MessageAnswer ShowMessage(const MessageRequest& request) override {
        messages.push_back(request);
        switch (request.buttons) {
            case MessageButtons::Ok: return MessageAnswer::Ok;
            case MessageButtons::YesNo: return MessageAnswer::Yes;
            case MessageButtons::YesNoCancel: {
                constexpr std::array<MessageAnswer, 3> kAnswers{MessageAnswer::Yes, MessageAnswer::No,
                                                                MessageAnswer::Cancel};
                return kAnswers[static_cast<std::size_t>(Roll(3))];
            }
        }
        return MessageAnswer::Ok;
    }
    std::optional<std::string> AskSaveFileName(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        if (Roll(4) == 0) return std::nullopt;
        if (request.defaultExtension == "mid") return folder + "/export.mid";
        const std::string path = folder + "/saved" + std::to_string(saved++ % 6) + ".qnp";
        if (std::find(patches.begin(), patches.end(), path) == patches.end()) patches.push_back(path);
        return path;
    }
    std::optional<std::string> AskOpenFileName(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        return PatchOrNot();
    }
    // A patch to open: one that exists, one that does not, or nothing (Cancel).
    std::optional<std::string> PatchOrNot() {
        const int roll = Roll(8);
        if (roll == 0) return std::nullopt;
        if (roll == 1) return folder + "/missing.qnp";
        return patches[static_cast<std::size_t>(Roll(static_cast<int>(patches.size())))];
    }
    std::optional<int> RunDeviceDialog(const std::vector<std::string>& names, int current) override {
        deviceRequests.emplace_back(names, current);
        if (Roll(4) == 0) return std::nullopt;
        return Roll(static_cast<int>(names.size()));
    }
    std::optional<MutationRequest> RunMutateDialog(const MutationSettings&) override {
        if (Roll(6) == 0) return std::nullopt;
        MutationRequest request;
        request.randomize = Roll(2) == 0;
        request.settings.amountPercent = 1 + Roll(100);
        for (bool& on : request.settings.sections) on = Roll(3) != 0;
        return request;
    }
    std::optional<std::string> RunCommentDialog(const std::string& text, const TextRoom& room) override {
        commentRequests.push_back(text);
        commentRooms.push_back(room);
        switch (Roll(4)) {
            case 0: return std::nullopt;
            case 1: return text;
            default: return RandomText(60);
        }
    }
    std::string RandomText(int longest) {
        static constexpr std::array<std::string_view, 8> kPieces{"a",        "Pad ", "\xC3\xA9", "\n", "\xE2\x82\xAC",
                                                                 "\xCE\xA9", " ",    "7"};
        std::string text;
        for (int n = Roll(longest); n > 0; --n) text += kPieces[static_cast<std::size_t>(Roll(8))];
        return text;
    }
};

struct Walk {
    std::uint32_t seed;
    std::mt19937 random;
    std::vector<std::string> patches;
    TempDir dir;
    FaultyPorts ports;
    // The send queue's pacer: one that sends at once, or one the walk drives, so that messages wait across
    // steps and whole patches give way to newer ones.
    bool queued;
    CountingPause pause;
    ManualPacer pacer;
    RandomUser user{random, patches};
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    RecordingFrame frame;
    AnsweringLibrary quickLoad;
    CQuarnEditApp app{
        {ports, queued ? static_cast<MidiPacer&>(pacer) : pause, profile, user, location, libraries, clock, recovery}};
    CMainDlg& form = app.form();
    CQuarnEditDoc& document = app.document();

    std::optional<PatchRecord> editAtCompare;
    std::optional<PatchRecord> editAtMorph;       // the patch while a morph left open shows a blend
    std::optional<PatchRecord> editAtVariations;  // the patch while variations left open show one
    std::vector<std::string> trail;               // the steps so far, for the report of a failure

    Walk(std::uint32_t s, bool withQueue) : seed(s), random(s), queued(withQueue) { pacer.drainOnClose = true; }

    // What waits in the queue goes out, as the user pauses before the device dialog or an export.
    void Drain() {
        if (queued) pacer.Drain();
    }
    // The pacer looks at the queue as it does every 50 ms while idle: a server's doubts are taken then.
    void Look() {
        if (queued) {
            pacer.Advance(0us);
        } else {
            pause.Look();
        }
    }

    // A fault of the device or its server, or the player's hands on the input.
    void FaultStep(std::ostringstream& what) {
        MidiPortSink& sink = app.CreatePortSink();
        switch (Roll(7)) {
            case 0:
            case 1:
                what << "overrun" << ports.Overrun(random);
                Look();
                break;
            case 2:
                what << "device lost";
                ports.Unplug();
                app.Devices().OnMidiPortsChanged(MidiPortChange::OpenDeviceLost);
                break;
            case 3:
                ports.opens = {Roll(3) != 0, true};
                what << "device list changed" << (ports.opens[0] ? "" : " (Port A does not open)");
                app.Devices().OnMidiPortsChanged(MidiPortChange::ListChanged);
                ports.opens = {true, true};
                break;
            case 4:
                what << "device chosen by hand";
                app.OnCommand(cmd::OutputDevice);
                break;
            case 5: {
                const auto note = static_cast<std::uint8_t>(48 + Roll(4));
                const bool on = Roll(2) == 0;
                what << "key " << int{note} << (on ? " down" : " up");
                sink.SendAhead(on ? 0x90 : 0x80, note, on ? 100 : 0);
                break;
            }
            default: {
                const auto value = static_cast<std::uint8_t>(Roll(3) == 0 ? 64 : Roll(2) * 127);
                what << "pedal " << int{value};
                sink.SendAhead(0xB0, 64, value);
                break;
            }
        }
    }

    int Roll(int n) { return user.Roll(n); }

    void Start() {
        location.dir = dir.path.string() + "/";
        user.folder = dir.path.string();
        WriteAll(dir / "default.qnp", HandBuiltFile());
        patches = {dir / "default.qnp", dir / "hand.qnp"};
        WriteAll(dir / "hand.qnp", HandBuiltFile());
        // Patches of every kind to open: random records, each saved by a form so that it is one the form makes.
        for (int i = 0; i < 4; ++i) {
            Bytes file = HandBuiltFile();
            for (std::size_t at = 7 + 2560; at < file.size(); at += 4) file[at] = static_cast<std::uint8_t>(Roll(40));
            const std::string path = dir / ("random" + std::to_string(i) + ".qnp");
            WriteAll(path, file);
            patches.push_back(path);
        }
        form.SetQuickLoad(&quickLoad);
        app.Sound().SetRandomSeed(seed);
        app.Library().SetUserFolder(dir / "library");
        ASSERT_TRUE(app.InitInstance(frame, std::nullopt));
    }

    // ---- the user's steps ----

    std::string AnyPath() { return user.PatchOrNot().value_or(dir / "missing.qnp"); }

    // A morph to some file, moved, then kept, cancelled or left open for the next command to end; or rounds of
    // variations, auditioned, bred, and kept or closed.
    void SoundDesignStep(std::ostringstream& what) {
        if (Roll(2) == 0) {
            what << "morph";
            const bool was = app.Sound().IsMorphing();
            app.OnCommand(cmd::EditMorph);
            if (!was) editAtMorph = form.CaptureRecord();
            MorphSession* morph = app.Sound().Morph();
            const std::string path = AnyPath();
            what << " " << path;
            morph->LoadPatchB(path);
            for (int n = 1 + Roll(4); n > 0; --n) {
                const int position = Roll(kMorphEnd + 1);
                what << " " << position;
                morph->SetPosition(position);
            }
            if (const int end = Roll(3); end < 2) {
                what << (end == 0 ? " keep" : " cancel");
                app.Sound().EndMorph(end == 0);
            }
            return;
        }
        VariationsStep(what);
    }

    // Variations opened, or a few steps on in the ones open: auditions (a second pick too), Breed and Back, then
    // Keep, Close or left open, so that the steps after (edits, knobs, commands) come during an audition.
    void VariationsStep(std::ostringstream& what) {
        what << "variations";
        const bool was = app.Sound().HasVariations();
        app.OnCommand(cmd::EditVariations);
        if (!was) editAtVariations = form.CaptureRecord();
        VariationSession* variations = app.Sound().Variations();
        for (int n = 1 + Roll(4); n > 0; --n) {
            const auto index = static_cast<std::size_t>(Roll(kVariationCount));
            what << " " << index;
            if (Roll(3) == 0) {
                what << "+";
                variations->AuditionSecond(index);
            } else {
                variations->Audition(index);
            }
            if (Roll(3) == 0) what << (variations->Breed() ? " breed" : "");
            if (Roll(4) == 0) what << (variations->Back() ? " back" : "");
        }
        // Back last of all now and then: what it plays again must reach the synthesizer by itself.
        if (Roll(3) == 0) what << (variations->Back() ? " back" : "");
        if (const int end = Roll(3); end < 2) {
            what << (end == 0 ? " keep" : " close");
            app.Sound().EndVariations(end == 0);
        }
    }

    std::vector<int> Controls(ControlKind kind) const {
        std::vector<int> ids;
        for (const ControlDef& def : FormControls())
            if (def.kind == kind && form.form().IsEnabled(def.id)) ids.push_back(def.id);
        return ids;
    }
    int Pick(const std::vector<int>& ids) { return ids[static_cast<std::size_t>(Roll(static_cast<int>(ids.size())))]; }

    int SliderValue(int id) {
        const ControlState& s = form.form().Get(id);
        switch (Roll(4)) {
            case 0: return s.position;  // a click on the thumb
            case 1: return s.rangeMin;  // Home
            default: return std::uniform_int_distribution<int>(s.rangeMin, s.rangeMax)(random);
        }
    }

    void Step() {
        const int kind = Roll(100);
        std::ostringstream what;
        if (app.Sound().HasVariations() && Roll(4) == 0) {
            VariationsStep(what);
        } else if (Roll(8) == 0) {
            FaultStep(what);
        } else if (kind < 22 && Roll(5) == 0) {
            // A knob of the user's controller, learned on any slider, list or check box, turned a few times.
            std::vector<int> ids;
            for (const ControlDef& def : FormControls())
                if (app.Controllers().CanLearn(def.id)) ids.push_back(def.id);
            const int id = Pick(ids);
            std::string said;
            if (!app.Controllers().BindingOf(id)) {
                app.Controllers().BeginLearn(id);
                app.Controllers().OnInputControlChange(0, id % 100, 0, 0, said);
            }
            const ControllerBinding knob = *app.Controllers().BindingOf(id);
            what << "knob " << id;
            for (int n = 1 + Roll(4); n > 0; --n) {
                const int value = Roll(128);
                what << " " << value;
                app.Controllers().OnInputControlChange(knob.channel, knob.controller, value, 0, said);
            }
        } else if (kind < 22) {
            const int id = Pick(Controls(ControlKind::Slider));
            if (Roll(3) == 0) {
                what << "drag " << id;
                form.UserBeganDrag(id);
                for (int n = 1 + Roll(4); n > 0; --n) form.UserMovedSlider(id, SliderValue(id));
                form.UserEndedGesture(id);
            } else {
                const int value = SliderValue(id);
                what << "slider " << id << " " << value;
                form.UserMovedSlider(id, value);
            }
        } else if (kind < 40) {
            const int id = Pick(Controls(ControlKind::List));
            const int count = form.form().GetCount(id);
            const int index = Roll(3) == 0 ? form.form().GetCurSel(id) : Roll(count);
            what << "list " << id << " " << index;
            if (index >= 0) form.UserSelected(id, index);
        } else if (kind < 48) {
            const int id = Pick(Controls(ControlKind::CheckBox));
            what << "check " << id;
            form.UserClicked(id);
        } else if (kind < 53) {
            const int id = Roll(2) == 0 ? ctl::PatchName : ctl::Author;
            what << "type " << id;
            form.UserEdited(id, user.RandomText(20));
            if (Roll(2) == 0) form.UserEndedGesture(id);
        } else if (kind < 55) {
            const int id = Pick({ctl::Env1AttackBox, ctl::StepBox, ctl::Dco1OctaveBox});
            what << "value box " << id;
            form.UserEdited(id, std::to_string(Roll(300)));
            form.UserEndedGesture(id);
        } else if (kind < 57) {
            what << "comment";
            form.UserClicked(ctl::Comment);
        } else if (kind < 67) {
            const bool undo = Roll(3) != 0;
            what << (undo ? "undo " : "redo ") << (undo ? form.UndoName() : form.RedoName());
            app.OnCommand(undo ? cmd::EditUndo : cmd::EditRedo);
        } else if (kind < 71) {
            what << "compare";
            const PatchRecord edit = form.CaptureRecord();
            const bool was = app.IsCommandChecked(cmd::EditCompare);
            app.OnCommand(cmd::EditCompare);
            if (!was && app.IsCommandChecked(cmd::EditCompare)) editAtCompare = edit;
        } else if (kind < 72 || (kind < 74 && Roll(2) == 0)) {
            SoundDesignStep(what);
        } else if (kind < 81) {
            // Menu commands as they are, each with its share of the steps.
            static constexpr std::array<std::tuple<int, const char*, int>, 3> kCommands{
                {{76, "mutate", cmd::EditMutate}, {79, "open", cmd::FileOpen}, {81, "new", cmd::FileNew}}};
            const auto& [upTo, name, id] = *std::find_if(kCommands.begin(), kCommands.end(),
                                                         [kind](const auto& c) { return kind < std::get<0>(c); });
            what << name;
            app.OnCommand(id);
        } else if (kind < 83) {
            what << "recent";
            app.OnCommand(cmd::FirstRecentFile + Roll(3));
        } else if (kind < 86) {
            what << "save";
            app.OnCommand(Roll(2) == 0 ? cmd::FileSave : cmd::FileSaveAs);
        } else if (kind < 88) {
            const std::optional<std::string> path = user.PatchOrNot();
            AnsweringLibrary::path = path.value_or("");
            what << "quick-load " << AnsweringLibrary::path;
            form.UserClicked(ctl::QuickLoad);
        } else if (kind < 91) {
            what << "library";
            DocumentLibraryHost& library = app.Library();
            for (int n = 1 + Roll(3); n > 0; --n) library.AuditionPatch(AnyPath());
            if (Roll(2) == 0 && library.OpenPatch(AnyPath())) {
                what << " open";
            } else {
                what << " restore";
                library.RestoreDocumentPatch();
            }
        } else if (kind < 93) {
            Drain();
            ports.opens[1] = Roll(3) != 0;
            what << "device" << (ports.opens[1] ? "" : " (Port B does not open)");
            app.OnCommand(cmd::OutputDevice);
        } else if (kind < 97) {
            static constexpr std::array<std::tuple<int, const char*, int>, 3> kCommands{
                {{95, "transmit all", cmd::TransmitAll},
                 {96, "export", cmd::ExportMidiFile},
                 {97, "save to library", cmd::SaveToLibrary}}};
            const auto& [upTo, name, id] = *std::find_if(kCommands.begin(), kCommands.end(),
                                                         [kind](const auto& c) { return kind < std::get<0>(c); });
            what << name;
            if (id == cmd::ExportMidiFile) Drain();
            app.OnCommand(id);
        } else {
            static constexpr std::array<int, 3> kNotes{cmd::PlayTestNote, cmd::HoldTestNote, cmd::AllNotesOff};
            const int id = kNotes[static_cast<std::size_t>(Roll(3))];
            what << "notes " << id;
            app.OnCommand(id);
        }
        // Time passes between steps: sometimes little enough for presses to join one step, sometimes enough
        // for the unsaved changes to be written.
        const auto pause = std::chrono::milliseconds(Roll(3) == 0 ? 1500 : Roll(800));
        what << " +" << pause.count() << "ms";
        trail.push_back(what.str() + " [" + std::to_string(ports.byPort[0].size() / 3) + "]");
        clock.Advance(pause);
    }

    // ---- what must hold ----

    bool SavePending() const {
        return std::any_of(clock.timers.begin(), clock.timers.end(), [](auto* t) { return t->IsActive(); });
    }

    // Everything the form shows and keeps, a line a control, for comparing.
    std::vector<std::string> Shown() const {
        std::vector<std::string> lines;
        for (const ControlDef& def : FormControls()) {
            if (def.id == kNoId) continue;
            const ControlState& s = form.form().Get(def.id);
            std::ostringstream line;
            line << def.id << ": pos " << s.position << " sel " << s.selection << " checked " << s.checked
                 << " enabled " << s.enabled << " text '" << s.text << "' entries";
            for (const std::string& e : s.entries) line << " " << e;
            lines.push_back(line.str());
        }
        lines.push_back("filter mode " + std::to_string(form.m_filterMode) + " switch bits " +
                        std::to_string(form.m_switchBits) + " filter bits " + std::to_string(form.m_filterBits));
        return lines;
    }

    std::string Report() const {
        std::ostringstream out;
        out << (queued ? "queued, " : "") << "seed " << seed << " (QUARN_WALK_SEED=" << seed << " replays it), after "
            << trail.size() << " steps; the last ones:";
        for (std::size_t i = trail.size() > 12 ? trail.size() - 12 : 0; i < trail.size(); ++i)
            out << "\n  " << i + 1 << ": " << trail[i];
        return out.str();
    }

    // False, with the failure reported, when something does not hold.
    bool Holds() {
        // With the queue, some steps leave messages waiting (a little time passes); the others wait until all
        // have gone, and only then is the synthesizer compared.
        bool settled = true;
        if (queued && Roll(3) != 0) {
            pacer.Advance(std::chrono::microseconds(Roll(20000)));
            settled = false;
        } else {
            Drain();
        }
        const int current = ports.openIndex;
        for (int port = 0; port < ports.Count(); ++port) {
            if (const std::optional<std::size_t> at = ports.SplitPair(port)) {
                std::ostringstream around;
                const Bytes& sent = ports.byPort[port];
                for (std::size_t i = *at * 3 >= 12 ? *at * 3 - 12 : 0; i < std::min(sent.size(), *at * 3 + 12); i += 3)
                    around << " " << int{sent[i]} << "/" << int{sent[i + 1]} << "/" << int{sent[i + 2]};
                ADD_FAILURE() << "message " << *at << " to port " << port
                              << " is a page select without its parameter:" << around.str() << "\n"
                              << Report();
                return false;
            }
            if (settled && port != current && ports.Sounding(port) != 0) {
                std::ostringstream last;
                const auto& got = ports.heard[port];
                for (std::size_t i = got.size() > 12 ? got.size() - 12 : 0; i < got.size(); ++i)
                    last << " " << int{got[i].bytes[0]} << "/" << int{got[i].bytes[1]} << "/" << int{got[i].bytes[2]};
                ADD_FAILURE() << "port " << port
                              << ", which is not the device, still sounds; it heard last:" << last.str() << "\n"
                              << Report();
                return false;
            }
        }
        // A device that is gone hears nothing until it is back; then it must agree again.
        if (current < 0) settled = false;
        const InstrumentModel synth = ports.Model(current);

        // A Transmit All runs the handlers, which would put right anything the form shows stale: the form must
        // show the same before and after it, so that what it sends is what the user sees.
        const std::vector<std::string> shown = Shown();
        ModelSink expected;
        {
            const CMainDlg::SinkOverride into(form, expected);
            form.TransmitAll(false);
        }
        if (const std::vector<std::string> after = Shown(); after != shown) {
            std::ostringstream stale;
            for (std::size_t i = 0; i < shown.size(); ++i)
                if (shown[i] != after[i]) stale << "\n  " << shown[i] << "\n  -> " << after[i];
            ADD_FAILURE() << "the form showed a state its handlers would not leave:" << stale.str() << "\n" << Report();
            return false;
        }
        std::ostringstream differences;
        for (const auto& [parameter, setting] : expected.model.parameters) {
            if (!settled) break;
            const auto at = synth.parameters.find(parameter);
            if (at == synth.parameters.end() || at->second != setting) {
                differences << "\n  parameter " << parameter << ": the synthesizer has ";
                if (at == synth.parameters.end()) {
                    differences << "nothing";
                } else {
                    differences << at->second.second << " on page " << at->second.first;
                }
                differences << ", the form " << setting.second << " on page " << setting.first;
            }
        }
        if (!differences.str().empty()) {
            std::ostringstream last;
            const auto& got = ports.heard[current];
            for (std::size_t i = got.size() > 40 ? got.size() - 40 : 0; i < got.size(); ++i)
                last << " " << got[i].tag << ":" << int{got[i].bytes[1]} << "/" << int{got[i].bytes[2]};
            ADD_FAILURE() << "the synthesizer disagrees with the form:" << differences.str()
                          << "\nit heard last:" << last.str() << "\n"
                          << Report();
            return false;
        }

        if (!app.IsCommandChecked(cmd::EditCompare)) editAtCompare.reset();
        if (!app.Sound().IsMorphing()) editAtMorph.reset();
        if (!app.Sound().HasVariations()) editAtVariations.reset();
        if (SavePending()) return true;
        if (!document.IsModified()) {
            if (recovery.saved) {
                ADD_FAILURE() << "an unmodified patch is kept as unsaved changes\n" << Report();
                return false;
            }
            return true;
        }
        if (!recovery.saved) {
            ADD_FAILURE() << "the patch is modified and no unsaved-changes file keeps it\n" << Report();
            return false;
        }
        const PatchRecord edit = editAtCompare      ? *editAtCompare
                                 : editAtMorph      ? *editAtMorph
                                 : editAtVariations ? *editAtVariations
                                                    : form.CaptureRecord();
        const Bytes kept = EncodePatchFile(
            CMainDlg::GetPatchVersion(), [&edit](std::span<std::uint8_t> record) { EncodePatchRecord(edit, record); });
        if (recovery.saved->first != kept || recovery.saved->second != document.GetPathName()) {
            ADD_FAILURE() << "the unsaved-changes file does not hold the edit"
                          << (app.IsCommandChecked(cmd::EditCompare) ? " (Compare shows the original)" : "") << "\n"
                          << Report();
            return false;
        }
        return true;
    }
};

// What the walk found first with the queue: looking at what the form would send (as Mutate and the walk's own
// check do, into a sink of their own) began a whole patch on the device's queue and dropped what was left of
// the one Compare had queued.
TEST(WholeProgramQueue, ALookAtWhatTheFormWouldSendDropsNothingQueued) {
    Walk walk(1, true);
    walk.Start();
    walk.pacer.Drain();
    walk.form.UserMovedSlider(ctl::Dco1Amp, 7);
    walk.app.OnCommand(cmd::EditCompare);
    walk.pacer.Drain();                    // the instrument plays the original
    walk.app.OnCommand(cmd::EditCompare);  // the edit again, queued as a patch the next one may replace
    ModelSink look;
    {
        const CMainDlg::SinkOverride into(walk.form, look);
        walk.form.TransmitAll(false);
    }
    walk.pacer.Drain();
    InstrumentModel heard;
    heard.Take(walk.ports.bytes);
    EXPECT_EQ(heard.parameters, look.model.parameters);
}

// The queued walks wait now and then for the queue on the wall clock (a device switch drains it), so they are
// fewer.
std::vector<std::uint32_t> Seeds(bool queued) {
    if (const char* one = std::getenv("QUARN_WALK_SEED"))
        return {static_cast<std::uint32_t>(std::strtoul(one, nullptr, 10))};
    std::vector<std::uint32_t> seeds;
    for (std::uint32_t s = 1; s <= (queued ? 6u : 24u); ++s) seeds.push_back(s * 7919u);
    return seeds;
}

struct WholeProgramWalk : ::testing::TestWithParam<bool> {};

TEST_P(WholeProgramWalk, SynthesizerAndUnsavedChangesFileFollowTheFormThroughEveryCommand) {
    // QUARN_WALK_STEPS makes the walks longer for a deeper search than ./test runs.
    const char* stepsWanted = std::getenv("QUARN_WALK_STEPS");
    const int kSteps = stepsWanted != nullptr ? std::atoi(stepsWanted) : 400;
    int steps = 0;
    for (const std::uint32_t seed : Seeds(GetParam())) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Walk walk(seed, GetParam());
        walk.Start();
        ASSERT_TRUE(walk.Holds()) << "at the start";
        for (int i = 0; i < kSteps; ++i, ++steps) {
            walk.Step();
            if (!walk.Holds()) break;
        }
    }
    std::printf("%d steps walked\n", steps);
}

INSTANTIATE_TEST_SUITE_P(Pacer, WholeProgramWalk, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "QueueDrivenByTheWalk" : "SentAtOnce"; });

}  // namespace
