#pragma once

#include "app/ports/FrameView.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>
#include <string>
#include <vector>

class CQuarnEditApp;
class FormWidget;
class QAction;
class QMenu;
class QScrollArea;

// The main window: the menu, the caption and the editor form, with no toolbar and no status bar.
class CMainFrame : public QMainWindow, public FrameView {
public:
    // The whole window, frame and caption included.
    static constexpr int kWidth = 728;
    static constexpr int kHeight = 577;

    explicit CMainFrame(CQuarnEditApp& app, QWidget* parent = nullptr);

    // The window's place on a desktop: centred, and 14 pixels above the centre.
    static QPoint CentredPosition(const QRect& desktop);
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
    void UpdateCaption();
    void FitFrame();

    CQuarnEditApp& m_app;
    FormWidget* m_form = nullptr;
    QScrollArea* m_scroll = nullptr;
    QList<QMenu*> m_menus;
    std::vector<QAction*> m_commandActions;
    QAction* m_recentPlaceholder = nullptr;
    std::vector<QAction*> m_recentActions;
    bool m_frameFitted = false;
    std::string m_documentTitle = "Untitled";
    bool m_comparing = false;
    QElapsedTimer m_shownAt;
    std::function<void(FormWidget&)> m_formCreated;
};
