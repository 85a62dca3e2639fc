// SPDX-License-Identifier: GPL-3.0-or-later
// CPU of one slider notification with the real window on screen: the main window built and shown as
// start-up does it (CMainFrame + FormWidget observing the form state, the default patch loaded), on
// Qt's offscreen platform, with an open fake port and a no-op pause.
//   *_Handler: UserMovedSlider alone, i.e. the form's handler plus the widget updates it triggers.
//   *_Repaint: the same followed by one pass of the event loop, which paints the touched widgets
//              into the window's backing store: what a user's drag costs per notification.
#include "Fakes.h"

#include "app/CQuarnEditApp.h"
#include "app/Commands.h"
#include "editor/CMainDlg.h"
#include "ui/CEnvelopeWnd.h"
#include "ui/CMainFrame.h"
#include "ui/FormWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// The build directory, where default.qnp is generated.
class BuildLocation : public ProgramLocation {
public:
    std::string ProgramDirectory() override { return QUARN_PROGRAM_DIR "/"; }
};

struct Window {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;  // answers the transmit question Yes
    MapProfile profile;
    BuildLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app{{ports, pause, profile, dialogs, location, libraries, clock, recovery}};
    std::unique_ptr<CMainFrame> frame;

    Window() {
        frame = std::make_unique<CMainFrame>(app);
        if (!app.InitInstance(*frame, std::nullopt)) std::abort();
        for (int i = 0; i < 10; ++i) QApplication::processEvents();
        ports.bytes.clear();
    }
    CMainDlg& dlg() { return app.form(); }
};

Window& TheWindow() {
    static Window* w = new Window;  // lives as long as the QApplication
    return *w;
}

// One notification as the user causes it; a function of its own so a profiler can single it out.
[[gnu::noinline]] void Notify(CMainDlg& dlg, int slider, int position, bool repaint) {
    dlg.UserMovedSlider(slider, position);
    if (repaint) QApplication::processEvents();
}

void UiSliderBench(benchmark::State& state, int slider, bool repaint) {
    Window& w = TheWindow();
    if (!w.frame->isVisible() || w.frame->Form() == nullptr) {
        state.SkipWithError("window not shown");
        return;
    }
    CMainDlg& dlg = w.dlg();
    int position = 0;
    std::size_t sent = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        Notify(dlg, slider, position, repaint);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        position = (position + 1) & 0xFF;
        // Outside the timing: whatever the handler posted, so the queue stays short.
        if (!repaint) QApplication::processEvents();
        if (w.ports.bytes.size() >= 1 << 16) {
            sent += w.ports.bytes.size();
            w.ports.bytes.clear();
        }
    }
    sent += w.ports.bytes.size();
    w.ports.bytes.clear();
    // Two Control Change messages per notification, or the figure measured the wrong thing.
    state.counters["bytes_sent_per_call"] = static_cast<double>(sent) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
}

void BM_UiSliderModulated_Handler(benchmark::State& s) { UiSliderBench(s, ctl::Dco1Amp, false); }
void BM_UiSliderModulated_Repaint(benchmark::State& s) { UiSliderBench(s, ctl::Dco1Amp, true); }
void BM_UiSliderPlain_Handler(benchmark::State& s) { UiSliderBench(s, ctl::Env1Attack, false); }
void BM_UiSliderPlain_Repaint(benchmark::State& s) { UiSliderBench(s, ctl::Env1Attack, true); }
BENCHMARK(BM_UiSliderModulated_Handler)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UiSliderModulated_Repaint)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UiSliderPlain_Handler)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UiSliderPlain_Repaint)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same handler calls with the view detached: the core's share of the figures above.
void BM_UiSliderModulated_Detached(benchmark::State& state) {
    Window& w = TheWindow();
    w.dlg().form().SetObserver(nullptr);
    int position = 0;
    for (auto _ : state) {
        w.dlg().UserMovedSlider(ctl::Dco1Amp, position);
        position = (position + 1) & 0xFF;
        if (w.ports.bytes.size() >= 1 << 16) w.ports.bytes.clear();
    }
    w.dlg().form().SetObserver(w.frame->Form());
}
BENCHMARK(BM_UiSliderModulated_Detached)->Unit(benchmark::kMicrosecond);

// Baselines for the *_Repaint figures: one pass of the event loop with nothing to do, and the slider
// alone moved and repainted (signals blocked, so no handler runs): what any Qt slider drag costs.
void BM_UiEventLoopPassIdle(benchmark::State& state) {
    TheWindow();
    for (auto _ : state) QApplication::processEvents();
}
BENCHMARK(BM_UiEventLoopPassIdle)->Unit(benchmark::kMicrosecond);

void BM_UiSliderAlone_Repaint(benchmark::State& state) {
    Window& w = TheWindow();
    auto* slider = qobject_cast<QSlider*>(w.frame->Form()->WidgetForId(ctl::Dco1Amp));
    if (slider == nullptr) {
        state.SkipWithError("no slider");
        return;
    }
    const QSignalBlocker blocker(slider);
    int position = 0;
    for (auto _ : state) {
        slider->setValue(position);
        QApplication::processEvents();
        position = (position + 1) & 0xFF;
    }
}
BENCHMARK(BM_UiSliderAlone_Repaint)->Unit(benchmark::kMicrosecond);

// The envelope pictures' cost to an edit: one ENV1 Attack notification and one event-loop pass (which runs the
// pictures' refresh and paints what changed), with their window open against closed. Wall time per notification,
// and the CPU column beside it; `envelope_paints` counts the pictures' paints per notification, so that an open
// window is seen to redraw.
class PaintsOf : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

void EnvelopeBench(benchmark::State& state, bool open) {
    Window& w = TheWindow();
    if (w.app.IsEnvelopesOpen() != open) w.app.OnCommand(cmd::EnvelopeWindow);
    PaintsOf paints;
    if (CEnvelopeWnd* window = w.frame->EnvelopeWindow()) {
        for (int i = 0; i < 10; ++i) QApplication::processEvents();
        window->View(0)->installEventFilter(&paints);
        window->View(1)->installEventFilter(&paints);
    }
    CMainDlg& dlg = w.dlg();
    int position = 0;
    for (auto _ : state) {
        Notify(dlg, ctl::Env1Attack, position, true);
        position = (position + 1) & 0xFF;
        if (w.ports.bytes.size() >= 1 << 16) w.ports.bytes.clear();
    }
    state.counters["envelope_paints"] = static_cast<double>(paints.paints) / static_cast<double>(state.iterations());
    if (CEnvelopeWnd* window = w.frame->EnvelopeWindow()) {
        window->View(0)->removeEventFilter(&paints);
        window->View(1)->removeEventFilter(&paints);
    }
    if (open) w.app.OnCommand(cmd::EnvelopeWindow);
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
}
void BM_UiEnvelopeSlider_WindowClosed(benchmark::State& s) { EnvelopeBench(s, false); }
void BM_UiEnvelopeSlider_WindowOpen(benchmark::State& s) { EnvelopeBench(s, true); }
BENCHMARK(BM_UiEnvelopeSlider_WindowClosed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UiEnvelopeSlider_WindowOpen)->Unit(benchmark::kMicrosecond);

// One drawing of both pictures, as a paint after a refresh draws them: what each frame of a drag costs at most.
void BM_UiEnvelopeDrawing(benchmark::State& state) {
    Window& w = TheWindow();
    w.app.OnCommand(cmd::EnvelopeWindow);
    CEnvelopeWnd* window = w.frame->EnvelopeWindow();
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    for (auto _ : state) {
        benchmark::DoNotOptimize(window->View(0)->grab());
        benchmark::DoNotOptimize(window->View(1)->grab());
    }
    w.app.OnCommand(cmd::EnvelopeWindow);
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
}
BENCHMARK(BM_UiEnvelopeDrawing)->Unit(benchmark::kMicrosecond);

// What one notification repaints: paint events per widget class, averaged over a short drag.
// Not a timing; it tells which widgets make up the *_Repaint figures.
class PaintCounter : public QObject {
public:
    std::map<std::string, int> byClass;
    std::map<std::string, int> byWidget;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            ++byClass[watched->metaObject()->className()];
            ++byWidget[std::string(watched->metaObject()->className()) + " " + watched->objectName().toStdString()];
        }
        return false;
    }
};

void PaintsBench(benchmark::State& state, int slider) {
    Window& w = TheWindow();
    CMainDlg& dlg = w.dlg();
    PaintCounter counter;
    QApplication::processEvents();
    qApp->installEventFilter(&counter);
    int position = 0, notifications = 0;
    for (auto _ : state) {
        for (int i = 0; i < 16; ++i, ++notifications) {
            Notify(dlg, slider, position, true);
            position = (position + 1) & 0xFF;
        }
    }
    qApp->removeEventFilter(&counter);
    for (const auto& [name, n] : counter.byClass)
        state.counters["paints_" + name] = static_cast<double>(n) / notifications;
    if (qEnvironmentVariableIsSet("QUARN_BENCH_LIST_PAINTS")) {
        for (const auto& [name, n] : counter.byWidget)
            std::fprintf(stderr, "  %-40s %.2f per notification\n", name.c_str(),
                         static_cast<double>(n) / notifications);
    }
}
void BM_UiPaintsPerNotification_Modulated(benchmark::State& s) { PaintsBench(s, ctl::Dco1Amp); }
void BM_UiPaintsPerNotification_Plain(benchmark::State& s) { PaintsBench(s, ctl::Env1Attack); }
BENCHMARK(BM_UiPaintsPerNotification_Modulated)->Iterations(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UiPaintsPerNotification_Plain)->Iterations(4)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // No display needed; an explicit choice of platform is kept.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApp(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
