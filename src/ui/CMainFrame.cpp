// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CMainFrame.h"

#include "app/CQuarnEditApp.h"
#include "app/Commands.h"
#include "app/ports/Profile.h"
#include "editor/CMainDlg.h"
#include "ui/Accessibility.h"
#include "ui/AppIcon.h"
#include "ui/CEnvelopeWnd.h"
#include "ui/CMidiMonitorWnd.h"
#include "ui/CMorphWnd.h"
#include "ui/CVariationsWnd.h"
#include "ui/ControllerMenu.h"
#include "ui/FormWidget.h"
#include "ui/NoticeBar.h"
#include "ui/UiText.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace {

// How long after showing the window its frame may still arrive and be taken off the client area.
constexpr qint64 kFrameWaitMs = 2000;
// How long the first showing waits at most for the window system to expose the window.
constexpr int kExposeWaitMs = 500;

// Ends a wait once the window is exposed (and painted: the expose paints it before the loop ends).
class ExposeWatch : public QObject {
public:
    explicit ExposeWatch(QEventLoop& loop) : m_loop(loop) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose) {
            if (auto* window = qobject_cast<QWindow*>(watched); window != nullptr && window->isExposed())
                QTimer::singleShot(0, &m_loop, &QEventLoop::quit);
        }
        return false;
    }

private:
    QEventLoop& m_loop;
};

// Longest path shown in the recent-file list before directories in its middle give way to "...".
constexpr int kMaxRecentDisplay = 30;

QString EscapeMnemonics(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

// A file in the current directory shows its name alone; a long path keeps its first directory and as
// many trailing parts as fit, and the name alone when nothing else does.
QString DisplayPath(const QString& path) {
    const QFileInfo info(path);
    if (info.absolutePath() == QDir::currentPath()) return info.fileName();
    if (path.size() <= kMaxRecentDisplay) return path;

    const QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() < 3) return info.fileName();
    const QString head = parts[0] + QLatin1Char('/') + parts[1] + QStringLiteral("/...");
    for (qsizetype first = 2; first < parts.size(); ++first) {
        const QString candidate = head + QLatin1Char('/') + parts.mid(first).join(QLatin1Char('/'));
        if (candidate.size() <= kMaxRecentDisplay) return candidate;
    }
    return info.fileName();
}

}  // namespace

CMainFrame::CMainFrame(CQuarnEditApp& app, QWidget* parent) : QMainWindow(parent), m_app(app) {
    InstallAccessibility();
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setWindowIcon(AppIcon());
    // The menu belongs to the window, also where the desktop offers a global menu bar.
    menuBar()->setNativeMenuBar(false);
    BuildMenu();

    // A form larger than the window scrolls, as a form view does.
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_scroll->setWidgetResizable(false);
    // Above the form, the notices that must not interrupt; while there is none the form has the whole window.
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_notices = new NoticeBar(central);
    column->addWidget(m_notices);
    column->addWidget(m_scroll, 1);
    setCentralWidget(central);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->hide();

    // Escape ends a learn that waits for a controller; otherwise the key is left to the rest of the window.
    m_cancelLearn = new QAction(QStringLiteral("Cancel Learn Controller"), this);
    m_cancelLearn->setShortcut(QKeySequence(Qt::Key_Escape));
    m_cancelLearn->setEnabled(false);
    connect(m_cancelLearn, &QAction::triggered, this, [this] { m_app.Controllers().CancelLearn(); });
    addAction(m_cancelLearn);
}

CMainFrame::~CMainFrame() {
    // Closed while the window is whole, so the application hears of it.
    delete m_monitor;
    // Its indexing thread ends before the window it reports to.
    delete m_library;
    // Gone while the window is whole; a morph or variations still open go on without them.
    delete m_morph.data();
    delete m_variations.data();
    // Gone with the program, not closed by the user: it opens again at the next start.
    if (CEnvelopeWnd* envelopes = m_envelopes.data()) envelopes->SetClosedHandler(nullptr);
    delete m_envelopes.data();
}

void CMainFrame::BuildMenu() {
    for (const MenuDef& def : MenuBar()) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(def.title));
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::CommandsChanged);
        for (const CommandRow& row : def.rows) {
            switch (row.kind) {
                case RowKind::Separator: menu->addSeparator(); break;
                case RowKind::Command: {
                    QAction* action = menu->addAction(QString::fromUtf8(row.label));
                    action->setData(row.id);
                    action->setShortcuts(QKeySequence::listFromString(QString::fromUtf8(row.shortcut)));
                    action->setCheckable(row.checked != nullptr);
                    connect(action, &QAction::triggered, this, [this, id = row.id] { m_app.OnCommand(id); });
                    m_commandActions.push_back(action);
                    break;
                }
                case RowKind::RecentFiles: {
                    m_recentPlaceholder = menu->addAction(QString::fromUtf8(row.label));
                    m_recentPlaceholder->setData(row.id);
                    m_recentPlaceholder->setEnabled(false);
                    for (int i = 0; i < kRecentFileCount; ++i) {
                        QAction* recent = menu->addAction(QString());
                        recent->setData(row.id + i);
                        recent->setVisible(false);
                        connect(recent, &QAction::triggered, this, [this, id = row.id + i] { m_app.OnCommand(id); });
                        m_recentActions.push_back(recent);
                    }
                    break;
                }
            }
        }
        m_menus.push_back(menu);
    }
}

void CMainFrame::CommandsChanged() {
    // A learn begun, ended or cancelled: the control it waits for is marked, in whichever window it is.
    const ControllerLearn& learn = m_app.Controllers();
    m_cancelLearn->setEnabled(learn.IsLearning());
    if (m_form != nullptr) m_form->SetLearnTarget(learn.LearningTarget());
    if (m_morph != nullptr) m_morph->LearnChanged();
    for (QAction* action : m_commandActions) {
        const int id = action->data().toInt();
        action->setEnabled(m_app.IsCommandEnabled(id));
        const QString text = ToQString(m_app.CommandText(id));
        if (action->text() != text) action->setText(text);
        if (action->isCheckable()) action->setChecked(m_app.IsCommandChecked(id));
    }
}

QPoint CMainFrame::CentredPosition(const QRect& desktop) {
    // Integer division truncates toward zero, also on a desktop smaller than the window.
    return {desktop.x() + (desktop.width() - kWidth) / 2, desktop.y() + (desktop.height() - kHeight) / 2 - 14};
}

QPoint CMainFrame::BesidePosition(const QRect& editor, int menuBottom, const QSize& size, const QRect& desktop) {
    constexpr int kGap = 8;
    const QPoint right = editor.topRight() + QPoint(1 + kGap, 0);
    const QPoint left = editor.topLeft() - QPoint(kGap + size.width(), 0);
    const auto within = [&](int at, int low, int high, int extent) {
        return std::max(low, std::min(at, high - extent));
    };
    const int top = within(editor.top(), desktop.top(), desktop.bottom() + 1, size.height());
    if (desktop.contains(QRect(QPoint(right.x(), top), size))) return {right.x(), top};
    if (desktop.contains(QRect(QPoint(left.x(), top), size))) return {left.x(), top};
    // No room beside: over the editor's right part, its top below the menu, so the menu stays in reach.
    const int x = within(editor.right() + 1 - size.width(), desktop.left(), desktop.right() + 1, size.width());
    const int y = within(menuBottom + kGap, desktop.top(), desktop.bottom() + 1, size.height());
    return {x, y};
}

void CMainFrame::PlaceBeside(QWidget* window) const {
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    // Not shown yet, the window has no frame: it is taken to get one like the editor's.
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize inside = window->testAttribute(Qt::WA_Resized) ? window->size() : window->sizeHint();
    const int menuBottom = menuBar()->mapToGlobal(QPoint(0, menuBar()->height())).y();
    window->move(BesidePosition(frameGeometry(), menuBottom, inside + frame, screen->availableGeometry()));
}

QString CMainFrame::RecentFileText(int index, const std::string& path) {
    const QString name = EscapeMnemonics(DisplayPath(ToQString(path)));
    // The tenth entry takes its mnemonic from the 0.
    if (index == 9) return QStringLiteral("1&0 ") + name;
    return QStringLiteral("&%1 ").arg(index + 1) + name;
}

void CMainFrame::ShowMainWindow() {
    if (m_form == nullptr) {
        m_form = new FormWidget(m_app.form());
        m_form->SetControlMenuHandler(
            [this](int id, const QPoint& at) { return ShowControllerMenu(m_app.Controllers(), id, at, this); });
        m_scroll->setWidget(m_form);
        if (QWidget* first = m_form->WidgetForId(ctl::PatchName)) first->setFocus();
        if (m_formCreated) m_formCreated(*m_form);
    }
    // Qt sizes the client area; the frame around it is known only once the window system has decorated
    // the window. Until then the client gets the whole size, and FitFrame takes the frame off it.
    resize(kWidth, kHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) move(CentredPosition(screen->availableGeometry()));
    m_shownAt.start();
    show();
    FitFrame();
    // What start-up does next (the MIDI device, whose back ends may take a while to answer, then the patch)
    // comes after the window's first paint: the window system's word that the window is visible is awaited
    // here, briefly, with the events running but no input taken.
    if (QWindow* window = windowHandle(); window != nullptr && !window->isExposed()) {
        QEventLoop loop;
        ExposeWatch watch(loop);
        window->installEventFilter(&watch);
        QTimer::singleShot(kExposeWaitMs, &loop, &QEventLoop::quit);
        if (!window->isExposed()) loop.exec(QEventLoop::ExcludeUserInputEvents);
        window->removeEventFilter(&watch);
    }
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CMainFrame::FitFrame() {
    if (m_frameFitted || !isVisible()) return;
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame.width() <= 0 && frame.height() <= 0) {
        // Not decorated yet. A window system that decorates does so at once; later resizes are the user's.
        if (m_shownAt.isValid() && m_shownAt.elapsed() > kFrameWaitMs) m_frameFitted = true;
        return;
    }
    m_frameFitted = true;
    resize(kWidth - frame.width(), kHeight - frame.height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) move(CentredPosition(screen->availableGeometry()));
}

bool CMainFrame::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show) FitFrame();
    return handled;
}

void CMainFrame::TitleChanged(const std::string& documentTitle) {
    m_documentTitle = documentTitle;
    UpdateCaption();
}

void CMainFrame::UpdateCaption() {
    // "[*]" is where the modified mark goes, an asterisk after the title; one in the title itself is doubled
    // so that it shows as itself.
    QString title = ToQString(m_documentTitle).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    QString caption = title + QStringLiteral("[*] - ") + QString::fromUtf8(kAppTitle);
    if (m_comparing) caption += QStringLiteral(" [Original]");
    setWindowTitle(caption);
}

void CMainFrame::ShowMidiMonitor(MidiMonitor& monitor) {
    if (m_monitor == nullptr) {
        m_monitor = new CMidiMonitorWnd(monitor, this);
        m_monitor->setAttribute(Qt::WA_DeleteOnClose);
        PlaceBeside(m_monitor);
        // Closed, it stops listening at once, so that sending costs nothing more.
        connect(m_monitor, &QObject::destroyed, this, [this] {
            m_monitor = nullptr;
            m_app.MidiMonitorClosed();
        });
    }
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
}

namespace {

void Raise(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

void CMainFrame::ShowMorph(SoundDesign&) {
    if (m_morph == nullptr) {
        m_morph = new CMorphWnd(m_app, m_librarySetup, this);
        m_morph->setAttribute(Qt::WA_DeleteOnClose);
        PlaceBeside(m_morph);
    }
    Raise(m_morph);
}

CMorphWnd* CMainFrame::MorphWindow() const { return m_morph.data(); }

CVariationsWnd* CMainFrame::VariationsWindow() const { return m_variations.data(); }

void CMainFrame::CloseMorph() {
    if (CMorphWnd* window = m_morph.data()) {
        m_morph.clear();
        window->CloseEnded();
    }
}

void CMainFrame::ShowVariations(SoundDesign&) {
    if (m_variations == nullptr) {
        m_variations = new CVariationsWnd(m_app, this);
        m_variations->setAttribute(Qt::WA_DeleteOnClose);
        PlaceBeside(m_variations);
    }
    Raise(m_variations);
}

void CMainFrame::CloseVariations() {
    if (CVariationsWnd* window = m_variations.data()) {
        m_variations.clear();
        window->CloseEnded();
    }
}

void CMainFrame::ShowEnvelopes() {
    if (m_envelopes == nullptr) {
        m_envelopes = new CEnvelopeWnd(m_app.form().form(), this);
        m_envelopes->setAttribute(Qt::WA_DeleteOnClose);
        m_envelopes->resize(m_envelopes->sizeHint());
        m_envelopes->SetClosedHandler([this] {
            m_envelopes.clear();
            m_app.EnvelopesClosed();
        });
        PlaceBeside(m_envelopes);
    }
    Raise(m_envelopes);
}

void CMainFrame::CloseEnvelopes() {
    if (CEnvelopeWnd* window = m_envelopes.data()) {
        m_envelopes.clear();
        window->CloseQuietly();
    }
}

CEnvelopeWnd* CMainFrame::EnvelopeWindow() const { return m_envelopes.data(); }

void CMainFrame::ShowLibrary(LibraryHost& host) {
    if (m_library == nullptr) {
        m_library = new CLibraryWnd(host, m_librarySetup, this);
        // Beside the editor where the screen has room for it, so that neither hides the other.
        PlaceBeside(m_library);
    }
    m_library->show();
    m_library->raise();
    m_library->activateWindow();
}

void CMainFrame::ComparingChanged(bool comparing) {
    m_comparing = comparing;
    UpdateCaption();
}

void CMainFrame::ShowStatus(const std::string& text) {
    // The line below the form is there only while it has something to say; the window otherwise has none.
    statusBar()->setVisible(!text.empty());
    if (text.empty()) {
        statusBar()->clearMessage();
    } else {
        // Said as well as shown: the status bar's accessible name is its message, and showing one tells screen
        // readers that the name changed (checked through AT-SPI by tests/a11y); those that speak only the focus's
        // changes hear it as a notification.
        statusBar()->showMessage(ToQString(text));
        Announce(this, ToQString(text));
    }
}

void CMainFrame::ShowNotice(const std::string& text) {
    // The status line says it (and a screen reader hears it, see ShowStatus); the bar keeps it in view.
    ShowStatus(text);
    m_notices->ShowNotice(ToQString(text));
}

void CMainFrame::ModifiedChanged(bool modified) { setWindowModified(modified); }

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_app.CanCloseFrame()) {
        event->accept();
        // The program ends: the envelope window closes with it, and opens again at the next start.
        if (CEnvelopeWnd* envelopes = m_envelopes.data()) envelopes->SetClosedHandler(nullptr);
    } else {
        event->ignore();
    }
}

void CMainFrame::RecentFilesChanged(const std::vector<std::string>& paths) {
    for (std::size_t i = 0; i < m_recentActions.size(); ++i) {
        QAction* action = m_recentActions[i];
        const bool used = i < paths.size();
        action->setVisible(used);
        action->setText(used ? RecentFileText(static_cast<int>(i), paths[i]) : QString());
        action->setToolTip(used ? ToQString(paths[i]) : QString());
    }
    m_recentPlaceholder->setVisible(paths.empty());
}

void CMainFrame::CloseMainWindow() { close(); }
