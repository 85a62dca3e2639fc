// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ports/FrameView.h"
#include "ui/CLibraryWnd.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <string>
#include <vector>

class CEnvelopeWnd;
class CMidiMonitorWnd;
class CMorphWnd;
class CVariationsWnd;
class CQuarnEditApp;
class FormWidget;
class QAction;
class QMenu;
class QScrollArea;
class NoticeBar;

// The main window: the menu, the caption and the editor form, with no toolbar and no status bar.
class CMainFrame : public QMainWindow, public FrameView {
public:
    // The whole window, frame and caption included.
    static constexpr int kWidth = 728;
    static constexpr int kHeight = 577;

    explicit CMainFrame(CQuarnEditApp& app, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The window's place on a desktop: centred, and 14 pixels above the centre.
    static QPoint CentredPosition(const QRect& desktop);
    // Where a window of `size` (its frame included) opens beside the editor's frame `editor`: to its right where
    // the desktop has room, else to its left, else below the editor's menu (whose bottom is at `menuBottom`),
    // always within the desktop; over the menu only when it is taller than the desktop below the menu.
    static QPoint BesidePosition(const QRect& editor, int menuBottom, const QSize& size, const QRect& desktop);
    // "&1 name" ... "1&0 name": the menu text of a recent file.
    static QString RecentFileText(int index, const std::string& path);

    // Called once, when the window has built its view of the form.
    void SetFormCreatedHandler(std::function<void(FormWidget&)> handler) { m_formCreated = std::move(handler); }

    void ShowMainWindow() override;
    void TitleChanged(const std::string& documentTitle) override;
    void ModifiedChanged(bool modified) override;
    void CommandsChanged() override;
    void ComparingChanged(bool comparing) override;
    void ShowStatus(const std::string& text) override;
    void ShowNotice(const std::string& text) override;
    // The bar above the form with the last notice; hidden while there is none.
    NoticeBar* Notices() const { return m_notices; }
    void ShowMidiMonitor(MidiMonitor& monitor) override;
    // The monitor window while it is open.
    CMidiMonitorWnd* MonitorWindow() const { return m_monitor; }
    // Where the library lies and how it is kept; the library window is made with it on first use.
    void SetLibrarySetup(LibrarySetup setup) { m_librarySetup = std::move(setup); }
    void ShowLibrary(LibraryHost& host) override;
    // The library window once it was opened; closing hides it and keeps its list for the next time.
    CLibraryWnd* LibraryWindow() const { return m_library; }
    void ShowMorph(SoundDesign& sound) override;
    void CloseMorph() override;
    void ShowVariations(SoundDesign& sound) override;
    void CloseVariations() override;
    // The morph and variations windows while they are open.
    CMorphWnd* MorphWindow() const;
    CVariationsWnd* VariationsWindow() const;
    void ShowEnvelopes() override;
    void CloseEnvelopes() override;
    // The envelope pictures' window while it is open.
    CEnvelopeWnd* EnvelopeWindow() const;
    void RecentFilesChanged(const std::vector<std::string>& paths) override;
    void CloseMainWindow() override;

    // Null until the window has been shown.
    FormWidget* Form() const { return m_form; }
    // The menus in menu-bar order; each QAction carries its command id as data().
    QList<QMenu*> Menus() const { return m_menus; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    // Moves a window that has not been shown yet to BesidePosition.
    void PlaceBeside(QWidget* window) const;
    void UpdateCaption();
    void FitFrame();

    CQuarnEditApp& m_app;
    FormWidget* m_form = nullptr;
    QScrollArea* m_scroll = nullptr;
    NoticeBar* m_notices = nullptr;
    QList<QMenu*> m_menus;
    std::vector<QAction*> m_commandActions;
    QAction* m_cancelLearn = nullptr;
    QAction* m_recentPlaceholder = nullptr;
    std::vector<QAction*> m_recentActions;
    bool m_frameFitted = false;
    std::string m_documentTitle = "Untitled";
    bool m_comparing = false;
    CMidiMonitorWnd* m_monitor = nullptr;
    LibrarySetup m_librarySetup;
    CLibraryWnd* m_library = nullptr;
    // Null once closed or gone, whoever deleted them.
    QPointer<CMorphWnd> m_morph;
    QPointer<CVariationsWnd> m_variations;
    QPointer<CEnvelopeWnd> m_envelopes;
    QElapsedTimer m_shownAt;
    std::function<void(FormWidget&)> m_formCreated;
};
