// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/EditHistory.h"
#include "editor/FormState.h"
#include "editor/ParameterMap.h"
#include "midi/MidiSink.h"
#include "patch/PatchText.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

class FormDocument;
class FormHost;
class FormWindow;
class LibraryLoader;
class ProgramLocation;
struct PatchRecord;

// The editor form: holds the whole patch and turns every control change into parameter messages.
class CMainDlg {
public:
    explicit CMainDlg(FormHost& host);
    ~CMainDlg();
    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    // First show (and every later re-initialisation) of the view.
    void OnInitialUpdate();
    void InitControls();

    // Exchanges the 27 form value slots with their controls: true reads the controls into the fields.
    void UpdateData(bool saveAndValidate);
    void DoDataExchange(bool saveAndValidate);

    // A user's action on a control: apply it to the control's state, then run the handler. Each one that
    // changes the patch is an edit: it joins the undo history and the host hears of it.
    void UserMovedSlider(int id, int position);
    void UserSelected(int id, int index);
    void UserClicked(int id);
    void UserEdited(int id, std::string text);
    // A slider's thumb was pressed: the moves until its release are one step.
    void UserBeganDrag(int id);
    // The drag ended, or the focus left a text box: the gesture on that control is over.
    void UserEndedGesture(int id);

    // While the scope lasts the user's actions come from a hardware controller's knob: its moves of one control
    // make one undo step until another edit comes between.
    class ControllerMoves {
    public:
        explicit ControllerMoves(CMainDlg& form) : m_form(form) { m_form.m_byController = true; }
        ~ControllerMoves() { m_form.m_byController = false; }
        ControllerMoves(const ControllerMoves&) = delete;
        ControllerMoves& operator=(const ControllerMoves&) = delete;

    private:
        CMainDlg& m_form;
    };

    // Undo and redo: the control goes back, and its handler runs as for the user's change.
    bool CanUndo() const { return m_history.CanUndo(); }
    bool CanRedo() const { return m_history.CanRedo(); }
    void Undo();
    void Redo();
    // What Undo or Redo would change, named as the form labels it ("DCO1 Amp."); empty when there is nothing.
    std::string UndoName() const;
    std::string RedoName() const;
    const EditHistory& History() const { return m_history; }
    // Where the history reads the time, for the presses that make one step.
    void SetClock(std::function<EditHistory::TimePoint()> now) { m_now = std::move(now); }

    // While read-only every user action is refused: the control shows its state again and the host is told.
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool IsReadOnly() const { return m_readOnly; }

    // The sink the host has the form send to now.
    MidiSink* HostSink();
    // Sends through `sink` instead of the host's active sink while the returned scope lasts.
    class SinkOverride {
    public:
        SinkOverride(CMainDlg& form, MidiSink& sink) : m_form(form) { m_form.m_sinkOverride = &sink; }
        ~SinkOverride() { m_form.m_sinkOverride = nullptr; }
        SinkOverride(const SinkOverride&) = delete;
        SinkOverride& operator=(const SinkOverride&) = delete;

    private:
        CMainDlg& m_form;
    };

    // A change the program made for the user in one go, one undo step of its own.
    enum ProgramStep { kMutateStep = 1, kRandomizeStep = 2, kMorphStep = 3, kVariationsStep = 4 };
    void RecordProgramEdit(ProgramStep step, const EditFields& before, const EditFields& after);

    // The patch's numbers and texts as an edit changes them.
    EditFields CaptureFields() const;
    EditTexts CaptureTexts() const { return {m_patchName, m_author, m_comment}; }
    // The encoding each text came in, which an edited text is stored in again when it can be.
    TextEncoding EncodingOf(EditText text) const { return m_textEncodings[static_cast<std::size_t>(text)]; }
    // How much a text may hold once stored, and how it is stored.
    TextRoom RoomFor(EditText text) const;

    // Handlers.
    void OnScrollSlider(int id);
    void OnSelChange(int id);
    void OnClicked(int id);
    void OnTextChanged(int id);
    void OnPlainSlider(const PlainSlider& row);
    void OnValueBoxChanged(const PlainSlider& row);
    void OnWaveChanged(const Oscillator& osc);
    void OnDistChanged(const Oscillator& osc);
    void OnRow3ModeChanged(const Oscillator& osc);
    void OnSwitchBox(const BitBox& box);
    void OnFilterBox(const BitBox& box);
    void OnFilterTypeChanged();
    void OnMidiChannelChanged();
    void OnPatchNameChanged();
    void OnAuthorChanged();
    // Puts a text back as an undo step holds it, its box showing it decoded.
    void RestoreText(EditText text, const std::string& stored);
    // The Comment button: edits m_comment in its dialog; Cancel leaves it as it was.
    void OnComment();
    // The QL button: asks the quick-load library for a patch and loads it without the transmit question.
    void OnQuickLoad();

    // Modulation source lists.
    void FillSourceList(std::int32_t value, int listId);
    void RefreshModParam(const ModulatedParam& row);
    void OnModSourceChanged(const ModulatedParam& row);

    void ShowValue(std::int32_t value, int boxId);
    void SetFilterMode(std::int32_t mode);

    // Whether a row with that condition sends under the filter mode now.
    bool SendConditionHolds(SendCondition condition) const;
    // Sends a cutoff row as the end of a whole-patch transmission does: through its handler where the filter
    // mode lets it send, as it stands where not.
    void SendCutoffRow(const ModulatedParam& row);
    // Sends the whole patch, after asking when ask is true.
    // A supersedable transmission (an audition, Compare) gives way to the next whole patch sent.
    enum class Superseded { Never, ByNext };
    void TransmitAll(bool ask, Superseded superseded = Superseded::Never);
    // What TransmitAll would send now, in its order; nothing goes out.
    Transmission RecordTransmitAll();
    // Brings the synthesizer to hold what the form shows: the sink compares a Transmit All with what its device
    // holds and sends what differs (the whole patch to a device it knows nothing of). No question.
    void SendWhatDiffers();
    // While a whole-patch transmission sends: which of its parameter messages goes out now (1, 2, ...); else 0.
    int TransmitPosition() const { return m_transmitSent < 0 ? 0 : m_transmitSent; }
    // How many parameter messages a whole-patch transmission sends.
    static constexpr int kTransmitAllMessages = 33;
    std::string TransmitQuestion() const;

    // Patch record (defined with the patch file code).
    static std::int32_t GetPatchVersion();
    static std::int32_t GetPatchBodySize();
    // Fills a record of GetPatchBodySize() bytes from the form.
    void WritePatchBody(std::span<std::uint8_t> record);
    // The form's patch, as a record holds it.
    PatchRecord CaptureRecord();
    // Fills the form from a record, muted, then offers to transmit it; false for an unknown layout.
    bool ReadPatchBody(std::int32_t version, std::span<const std::uint8_t> record);
    // Fills the form from a record with every handler muted, and sends nothing; the history stays.
    void FillFromRecord(const PatchRecord& record);
    // File > Export MIDI file...
    void OnExportMidiFile();

    // Loads "default.qnp" from the program's directory through the document.
    void OpenDefaultPatch();

    void SetDocument(FormDocument* document) { m_document = document; }
    FormDocument* GetDocument() const { return m_document; }
    void SetProgramLocation(ProgramLocation* location) { m_location = location; }
    void SetQuickLoad(LibraryLoader* libraries) { m_libraries = libraries; }
    // The window the form is shown in; none without a window.
    void SetWindow(FormWindow* window) { m_window = window; }

    FormState& form() { return m_form; }
    const FormState& form() const { return m_form; }
    std::int32_t& Slot(int slot);
    std::int32_t Slot(int slot) const;

    // Form value slots 0..26, in slot order.
    std::int32_t m_midiChannel = -1;
    std::int32_t m_dco1Amp = 0;
    std::int32_t m_dco1Row3 = 0;
    std::int32_t m_dco1Offset = 0;
    std::int32_t m_dco1Pulsew = 0;
    std::int32_t m_dco2Amp = 0;
    std::int32_t m_dco2Row3 = 0;
    std::int32_t m_dco2Offset = 0;
    std::int32_t m_dco2Pulsew = 0;
    std::int32_t m_env1Offset = 0;
    std::int32_t m_env2Offset = 0;
    std::int32_t m_dco1Octave = 0;
    std::int32_t m_dco2Octave = 0;
    std::int32_t m_env1Attack = 0;
    std::int32_t m_env1Decay = 0;
    std::int32_t m_env1Level = 0;
    std::int32_t m_env1Release = 0;
    std::int32_t m_env1Sustain = 0;
    std::int32_t m_env2Attack = 0;
    std::int32_t m_env2Decay = 0;
    std::int32_t m_env2Level = 0;
    std::int32_t m_env2Release = 0;
    std::int32_t m_env2Sustain = 0;
    std::int32_t m_step = 0;
    std::int32_t m_arpeg = 0;
    std::int32_t m_cutoff1 = 0;
    std::int32_t m_cutoff2 = 0;

    std::int32_t m_switchBits = 0;
    std::int32_t m_filterBits = 0;
    // The texts as the record stores them, byte for byte: the boxes and the dialog show them decoded.
    std::string m_patchName;
    std::string m_author;
    std::string m_comment;
    std::int32_t m_filterMode = 3;
    std::uint8_t m_initialised = 0;

private:
    static const std::array<std::int32_t CMainDlg::*, kSlotCount> kSlotFields;

    void SendWide(std::int32_t parameter, std::int32_t value);
    void SendPage3(std::int32_t parameter, std::int32_t value);
    void RestoreSourceRow(const ModulatedParam& row, const PatchRecord& record);
    // One part of a load, in the order of kPatchOrder.
    void FillPart(PatchPart part, const PatchRecord& record);
    template <typename Action>
    void UserEdit(int control, Gesture gesture, bool texts, Action&& action);
    MidiSink* Sink();
    // A user's change of the texts, recorded as UserEdit records it.
    void UserTextEdit(int control, Gesture gesture, const std::function<void()>& action);
    // Takes a text the user gave in a box: a text shown as it is stored keeps its bytes.
    void TakeShownText(EditText text, std::string& stored, const std::string& shown);

    FormHost& m_host;
    FormState m_form;
    FormDocument* m_document = nullptr;
    ProgramLocation* m_location = nullptr;
    LibraryLoader* m_libraries = nullptr;
    FormWindow* m_window = nullptr;
    EditHistory m_history;
    std::function<EditHistory::TimePoint()> m_now = [] { return std::chrono::steady_clock::now(); };
    int m_dragControl = kNoId;
    bool m_byController = false;
    bool m_readOnly = false;
    int m_transmitSent = -1;  // -1 outside a whole-patch transmission
    MidiSink* m_sinkOverride = nullptr;
    std::array<TextEncoding, kEditTextCount> m_textEncodings{};
};

extern CMainDlg* g_mainDlg;
// Set while the program itself writes a value box, so the box's change handler stays quiet.
extern std::uint8_t g_updatingValueBox;
// Set by the quick-load so that the load it starts transmits without asking.
extern bool skipTransmitQuestion;

// The leading decimal integer of a value box's text: white space skipped, optional sign, digits up to the
// first other character; 0 without digits. Saturates instead of overflowing.
std::int32_t ParseLeadingInt(std::string_view text);
