// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CLibraryWnd.h"

#include "library/LibraryImport.h"
#include "library/PatchKinds.h"
#include "ui/LibraryIndexer.h"
#include "ui/LibraryModel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Changes in a folder come in bursts (a copy of many files): look once the burst is over.
constexpr int kRescanDelayMs = 300;
// How many patches "Find Similar" lists.
constexpr std::size_t kSimilarCount = 50;

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString Count(std::size_t n) { return QLocale::system().toString(static_cast<qulonglong>(n)); }

}  // namespace

CLibraryWnd::CLibraryWnd(LibraryHost& host, LibrarySetup setup, QWidget* parent)
    : QWidget(parent, Qt::Window), m_host(host), m_audition(host), m_setup(std::move(setup)) {
    setWindowTitle(QStringLiteral("Patch Library"));
    setAcceptDrops(true);
    resize(840, 540);

    m_model = new LibraryModel(this);
    m_indexer = new LibraryIndexer(m_setup.makeCache, this);
    m_indexer->onEntries = [this](PreparedCatalog* catalog, const RefreshStats& stats, bool final) {
        TakeEntries(catalog, stats, final);
    };
    m_indexer->onProgress = [this](std::size_t read, std::size_t toRead) {
        m_progress = QStringLiteral("Reading %1 of %2 files\u2026").arg(Count(read), Count(toRead));
        ShowStatus();
    };

    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText(QStringLiteral("Search name, author, comment, file"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setAccessibleName(QStringLiteral("Search"));
    m_filter->installEventFilter(this);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_model->SetFilter(text);
        Reselect();
        ShowStatus();
    });

    m_auditionBox = new QCheckBox(QStringLiteral("&Audition"), this);
    m_auditionBox->setToolTip(QStringLiteral("Send each patch you select to the synthesizer"));
    connect(m_auditionBox, &QCheckBox::toggled, this, [this](bool on) {
        m_audition.SetEnabled(on);
        if (on) CurrentChanged();
    });

    // What the list shows besides the search: a kind, starred patches only, hidden ones too.
    m_kindBox = new QComboBox(this);
    m_kindBox->setAccessibleName(QStringLiteral("Kind"));
    m_kindBox->setToolTip(QStringLiteral("List only patches of this kind"));
    m_kindBox->addItem(QStringLiteral("All kinds"));
    for (int k = 0; k < kPatchKindCount; ++k) m_kindBox->addItem(Q(std::string(KindName(static_cast<PatchKind>(k)))));
    connect(m_kindBox, &QComboBox::currentIndexChanged, this, [this] { ApplyMarkFilter(); });
    m_starredBox = new QCheckBox(QStringLiteral("S&tarred"), this);
    m_starredBox->setToolTip(QStringLiteral("List only starred patches (Ctrl+D stars the selected one)"));
    connect(m_starredBox, &QCheckBox::toggled, this, [this] { ApplyMarkFilter(); });
    m_hiddenBox = new QCheckBox(QStringLiteral("Show &hidden"), this);
    m_hiddenBox->setToolTip(QStringLiteral("List hidden patches too (Ctrl+H hides the selected one)"));
    connect(m_hiddenBox, &QCheckBox::toggled, this, [this] { ApplyMarkFilter(); });

    m_list = new QTreeView(this);
    m_list->setModel(m_model);
    m_list->setAccessibleName(QStringLiteral("Patch files"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSortingEnabled(true);
    m_list->sortByColumn(0, Qt::AscendingOrder);
    // Every column fits the window's first width, Modified with room for a whole date and time; the last one
    // takes whatever the window gains.
    m_list->header()->setStretchLastSection(true);
    m_list->header()->resizeSection(0, 210);
    m_list->header()->resizeSection(1, 110);
    m_list->header()->resizeSection(2, 100);
    m_list->header()->resizeSection(3, 150);
    const int dateWidth = m_list->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00"));
    m_list->header()->resizeSection(4, dateWidth + 24);
    m_list->header()->resizeSection(5, m_list->fontMetrics().horizontalAdvance(QStringLiteral("Percussion")) + 24);
    // The kind is read with the name: shown beside it, though the model keeps it last.
    m_list->header()->moveSection(5, 1);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { CurrentChanged(); });
    connect(m_list, &QAbstractItemView::activated, this, [this] { OpenCurrent(); });
    // The columns sort by a click on their titles, or from this menu (Shift+F10 or the menu key).
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { ShowListMenu(at); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { Reselect(); });

    m_info = new QLabel(this);
    m_info->setWordWrap(true);
    m_info->setTextFormat(Qt::PlainText);
    m_info->setMinimumHeight(m_info->fontMetrics().lineSpacing() * 2);
    m_info->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_status = new QLabel(this);
    // What the selected patch changes against the document; Enter on a line auditions the patch.
    m_differencesTitle = new QLabel(QStringLiteral("&What differs from the current patch:"), this);
    m_differences = new QListWidget(this);
    m_differences->setAccessibleName(QStringLiteral("What differs from the current patch"));
    m_differences->setToolTip(
        QStringLiteral("The current patch's value \u2192 the selected patch's; Enter or a double-click auditions it"));
    m_differencesTitle->setBuddy(m_differences);
    m_differences->setMaximumHeight(m_differences->fontMetrics().lineSpacing() * 6 + 8);
    connect(m_differences, &QListWidget::itemActivated, this, [this] {
        if (const CatalogEntry* entry = m_model->EntryAt(m_list->currentIndex())) m_audition.Play(*entry);
    });
    // Ctrl+F finds, Escape leaves: the window is worked from the keyboard like a dialog.
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        m_filter->setFocus(Qt::ShortcutFocusReason);
        m_filter->selectAll();
    });
    // Escape leaves a result list first, then the window.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
        if (m_model->View().ShowingResultList()) {
            ShowWholeLibrary();
        } else {
            close();
        }
    });
    auto key = [this](QKeySequence sequence, std::function<void()> call) {
        auto* shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, std::move(call));
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_D), [this] { ToggleStar(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_H), [this] { ToggleHidden(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_K), [this] {
        // The kinds at the selected row, to choose one with the arrows or its letter.
        const CatalogEntry* entry = m_model->EntryAt(m_list->currentIndex());
        if (entry == nullptr || !entry->valid) return;
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        AddKindActions(menu);
        const QRect row = m_list->visualRect(m_list->currentIndex());
        menu->popup(m_list->viewport()->mapToGlobal(row.bottomLeft()));
    });
    key(QKeySequence(Qt::CTRL | Qt::Key_L), [this] { FindSimilar(false); });
    key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), [this] { FindSimilar(true); });
    key(QKeySequence(Qt::CTRL | Qt::Key_U), [this] { ShowDuplicates(); });

    auto* addFolder = new QPushButton(QStringLiteral("Add &Folder..."), this);
    connect(addFolder, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Add Folder to the Library"));
        if (!folder.isEmpty()) AddFolder(QFile::encodeName(folder).toStdString());
    });
    // A push button with a menu leaves room for the menu's arrow beside its text, and looks like its neighbours.
    auto* removeFolder = new QPushButton(QStringLiteral("&Remove Folder"), this);
    m_folderMenu = new QMenu(removeFolder);
    removeFolder->setMenu(m_folderMenu);
    connect(m_folderMenu, &QMenu::aboutToShow, this, [this] { FillFolderMenu(); });
    auto* find = new QPushButton(QStringLiteral("Fi&nd"), this);
    auto* findMenu = new QMenu(find);
    findMenu->addAction(QStringLiteral("&Similar to the Selected Patch\tCtrl+L"), this, [this] { FindSimilar(false); });
    findMenu->addAction(QStringLiteral("Similar to the &Current Patch\tCtrl+Shift+L"), this,
                        [this] { FindSimilar(true); });
    findMenu->addAction(QStringLiteral("&Duplicates\tCtrl+U"), this, [this] { ShowDuplicates(); });
    findMenu->addAction(QStringLiteral("&Whole Library\tEsc"), this, [this] { ShowWholeLibrary(); });
    find->setMenu(findMenu);
    auto* open = new QPushButton(QStringLiteral("&Open"), this);
    connect(open, &QPushButton::clicked, this, [this] { OpenCurrent(); });

    auto* top = new QHBoxLayout;
    top->addWidget(m_filter, 1);
    top->addWidget(m_kindBox);
    top->addWidget(m_starredBox);
    top->addWidget(m_hiddenBox);
    top->addWidget(m_auditionBox);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(addFolder);
    bottom->addWidget(removeFolder);
    bottom->addWidget(find);
    bottom->addWidget(open);
    auto* details = new QHBoxLayout;
    details->addWidget(m_info, 1);
    auto* differences = new QVBoxLayout;
    differences->addWidget(m_differencesTitle);
    differences->addWidget(m_differences);
    details->addLayout(differences, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addLayout(details);
    layout->addLayout(bottom);

    m_watcher = new QFileSystemWatcher(this);
    m_rescan = new QTimer(this);
    m_rescan->setSingleShot(true);
    m_rescan->setInterval(kRescanDelayMs);
    connect(m_rescan, &QTimer::timeout, this, [this] { Refresh(); });
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_rescan->start(); });
    ShowStatus();
    // Opened, the window is for finding a patch: typing goes to the search box.
    m_filter->setFocus();
}

CLibraryWnd::~CLibraryWnd() {
    // The indexing thread goes first: nothing may come back from it to a half-destroyed window.
    delete m_indexer;
}

std::vector<std::string> CLibraryWnd::AddedFolders() const {
    return m_setup.folders != nullptr ? m_setup.folders->Folders() : std::vector<std::string>{};
}

void CLibraryWnd::Refresh() {
    m_waiting = true;
    m_indexer->Request(LibraryRoots(m_setup.programFolder, m_setup.userFolder, AddedFolders()));
    ShowStatus();
}

bool CLibraryWnd::Indexing() const { return m_waiting; }

bool CLibraryWnd::Settled() const { return !m_waiting && !m_indexer->Busy(); }

void CLibraryWnd::TakeEntries(PreparedCatalog* catalog, const RefreshStats& stats, bool final) {
    if (final) {
        m_progress.clear();
        m_waiting = false;
    }
    if (catalog != nullptr && !m_localMarks.empty()) {
        for (CatalogEntry& e : catalog->entries)
            if (const auto it = m_localMarks.find(e.content); e.content != 0 && it != m_localMarks.end())
                e.marks = it->second;
    }
    // A refresh that found nothing new leaves the list, its scroll position and the selection alone.
    if (catalog != nullptr && catalog->entries != m_model->View().Entries()) {
        m_resultTitle.clear();
        m_resultNotes.clear();
        m_list->header()->setSortIndicatorShown(true);
        m_model->SetCatalog(std::move(*catalog));
    }
    // After the first paint of what came: thousands of files in the watched folders make watching them take a while.
    if (final && isVisible())
        QTimer::singleShot(0, this, [this, folders = stats.folders] {
            if (isVisible()) Watch(folders);
        });
    ShowStatus();
}

void CLibraryWnd::Watch(const std::vector<std::string>& folders) {
    QStringList wanted;
    for (const std::string& f : folders) wanted << QFile::decodeName(QByteArray::fromStdString(f));
    QStringList watched = m_watcher->directories();
    QStringList gone;
    for (const QString& f : watched)
        if (!wanted.contains(f)) gone << f;
    if (!gone.isEmpty()) m_watcher->removePaths(gone);
    QStringList added;
    for (const QString& f : wanted)
        if (!watched.contains(f)) added << f;
    if (!added.isEmpty()) m_watcher->addPaths(added);
}

void CLibraryWnd::Reselect() {
    const QScopedValueRollback guard(m_reselecting, true);
    const std::optional<std::size_t> row = m_current.empty() ? std::nullopt : m_model->View().RowOfPath(m_current);
    if (!row) {
        m_list->selectionModel()->clear();
    } else {
        const QModelIndex index = m_model->index(static_cast<int>(*row), 0);
        m_list->selectionModel()->setCurrentIndex(index,
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_list->scrollTo(index);
    }
}

void CLibraryWnd::CurrentChanged() {
    const CatalogEntry* entry = m_model->EntryAt(m_list->currentIndex());
    if (entry == nullptr) {
        m_info->clear();
    } else if (!entry->valid) {
        m_info->setText(Q(entry->reason));
    } else {
        const auto row = static_cast<std::size_t>(m_list->currentIndex().row());
        QString text = QStringLiteral("Kind: ") + Q(std::string(KindName(m_model->View().RowKind(row))));
        if (entry->marks.kind >= 0) text += QStringLiteral(" (chosen)");
        if (const auto note = m_resultNotes.find(static_cast<std::uint32_t>(m_model->View().RowEntry(row)));
            note != m_resultNotes.end())
            text += QStringLiteral(" \u2014 ") + note->second;
        if (!entry->comment.empty()) text += QLatin1Char('\n') + Q(entry->comment);
        m_info->setText(text);
    }
    ShowDifferences(entry);
    // A refresh or a search that hides the selected row forgets nothing: the row comes back selected when it
    // shows again, and is not sent a second time.
    if (m_reselecting && entry == nullptr) return;
    m_current = entry != nullptr ? entry->path : std::string();
    m_audition.Selected(entry);
}

void CLibraryWnd::OpenCurrent() {
    const CatalogEntry* entry = m_model->EntryAt(m_list->currentIndex());
    if (entry == nullptr && m_model->rowCount() > 0) entry = m_model->EntryAt(m_model->index(0, 0));
    if (entry != nullptr) m_audition.Open(CatalogEntry(*entry));
}

void CLibraryWnd::ShowStatus() {
    const std::size_t shown = m_model->View().RowCount();
    const std::size_t all = m_model->View().Entries().size();
    QString text = shown == all ? QStringLiteral("%1 patch files").arg(Count(all))
                                : QStringLiteral("%1 of %2 patch files").arg(Count(shown), Count(all));
    if (m_model->View().ShowingResultList()) text = m_resultTitle + QStringLiteral(" (Esc: the whole library)");
    if (!m_progress.isEmpty()) {
        text += QStringLiteral(" \u2014 ") + m_progress;
    } else if (Indexing()) {
        text += QStringLiteral(" \u2014 checking folders\u2026");
    }
    m_status->setText(text);
}

void CLibraryWnd::AddFolder(const std::string& folder) {
    if (m_setup.folders == nullptr || folder.empty()) return;
    std::vector<std::string> folders = m_setup.folders->Folders();
    if (std::find(folders.begin(), folders.end(), folder) != folders.end()) return;
    folders.push_back(folder);
    m_setup.folders->SetFolders(folders);
    Refresh();
}

void CLibraryWnd::RemoveFolder(const std::string& folder) {
    if (m_setup.folders == nullptr) return;
    std::vector<std::string> folders = m_setup.folders->Folders();
    if (std::erase(folders, folder) == 0) return;
    m_setup.folders->SetFolders(folders);
    Refresh();
}

void CLibraryWnd::ShowListMenu(const QPoint& at) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddMarkActions(menu);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Find &Similar\tCtrl+L"), this, [this] { FindSimilar(false); });
    menu->addAction(QStringLiteral("Similar to the &Current Patch\tCtrl+Shift+L"), this, [this] { FindSimilar(true); });
    menu->addAction(QStringLiteral("&Duplicates\tCtrl+U"), this, [this] { ShowDuplicates(); });
    if (m_model->View().ShowingResultList())
        menu->addAction(QStringLiteral("&Whole Library\tEsc"), this, [this] { ShowWholeLibrary(); });
    menu->addSeparator();
    const QHeaderView* header = m_list->header();
    for (int column = 0; column < m_model->columnCount(); ++column) {
        QAction* sort =
            menu->addAction(QStringLiteral("Sort by &") + m_model->headerData(column, Qt::Horizontal).toString());
        sort->setCheckable(true);
        sort->setChecked(header->sortIndicatorSection() == column);
        // The column already sorted by turns round, as a second click on its title does.
        connect(sort, &QAction::triggered, this, [this, column] {
            const QHeaderView* h = m_list->header();
            const bool ascending = h->sortIndicatorSection() == column && h->sortIndicatorOrder() == Qt::AscendingOrder;
            m_list->sortByColumn(column, ascending ? Qt::DescendingOrder : Qt::AscendingOrder);
        });
    }
    menu->popup(m_list->viewport()->mapToGlobal(at));
}

void CLibraryWnd::FillFolderMenu() {
    m_folderMenu->clear();
    const std::vector<std::string> folders = AddedFolders();
    if (folders.empty()) m_folderMenu->addAction(QStringLiteral("(no folders added)"))->setEnabled(false);
    for (const std::string& folder : folders) {
        m_folderMenu->addAction(QFile::decodeName(QByteArray::fromStdString(folder)), this,
                                [this, folder] { RemoveFolder(folder); });
    }
}

QString CLibraryWnd::Import(const std::vector<std::string>& paths) {
    const std::vector<ImportOutcome> outcomes = ImportIntoLibrary(paths, m_setup.userFolder);
    std::size_t copied = 0;
    QStringList problems;
    for (const ImportOutcome& o : outcomes) {
        if (!o.target.empty()) {
            ++copied;
        } else {
            problems << QFile::decodeName(QByteArray::fromStdString(o.source)).section(QLatin1Char('/'), -1) +
                            QStringLiteral(": ") + Q(o.problem);
        }
    }
    QString line = QStringLiteral("Imported %1 patch files.").arg(Count(copied));
    if (!problems.isEmpty()) {
        line += QStringLiteral(" Not imported: ") + problems.mid(0, 5).join(QStringLiteral("; "));
        if (problems.size() > 5) line += QStringLiteral("; and %1 more").arg(problems.size() - 5);
    }
    m_info->setText(line);
    if (copied > 0) Refresh();
    return line;
}

void CLibraryWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void CLibraryWnd::closeEvent(QCloseEvent* event) {
    m_audition.Close();
    m_rescan->stop();
    if (!m_watcher->directories().isEmpty()) m_watcher->removePaths(m_watcher->directories());
    QWidget::closeEvent(event);
}

void CLibraryWnd::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (mime != nullptr && mime->hasUrls()) {
        for (const QUrl& url : mime->urls()) {
            if (url.isLocalFile()) {
                event->acceptProposedAction();
                return;
            }
        }
    }
}

void CLibraryWnd::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    if (paths.empty()) return;
    event->acceptProposedAction();
    Import(paths);
}

bool CLibraryWnd::eventFilter(QObject* watched, QEvent* event) {
    // From the search box, the arrow keys go on into the list and Enter opens: type, arrow, Enter.
    if (watched == m_filter && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up || key->key() == Qt::Key_PageDown ||
            key->key() == Qt::Key_PageUp) {
            // Without a current row, the first arrow only goes to the first row.
            if (!m_list->currentIndex().isValid() && m_model->rowCount() > 0) {
                m_list->setCurrentIndex(m_model->index(0, 0));
                m_list->setFocus();
                return true;
            }
            m_list->setFocus();
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
            QCoreApplication::sendEvent(m_list, &copy);
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            OpenCurrent();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CLibraryWnd::AddMarkActions(QMenu* menu) {
    const CatalogEntry* entry = m_model->EntryAt(m_list->currentIndex());
    const bool patch = entry != nullptr && entry->valid;
    QAction* star = menu->addAction(QStringLiteral("S&tar\tCtrl+D"), this, [this] { ToggleStar(); });
    star->setCheckable(true);
    star->setChecked(patch && entry->marks.star);
    star->setEnabled(patch);
    QAction* hide = menu->addAction(QStringLiteral("&Hide\tCtrl+H"), this, [this] { ToggleHidden(); });
    hide->setCheckable(true);
    hide->setChecked(patch && entry->marks.hidden);
    hide->setEnabled(patch);
    QMenu* kinds = menu->addMenu(QStringLiteral("K&ind\tCtrl+K"));
    kinds->setEnabled(patch);
    AddKindActions(kinds);
}

void CLibraryWnd::AddKindActions(QMenu* kinds) {
    const CatalogEntry* entry = m_model->EntryAt(m_list->currentIndex());
    const bool patch = entry != nullptr && entry->valid;
    QAction* guess =
        kinds->addAction(QStringLiteral("&Guessed from the Name"), this, [this] { SetKind(std::nullopt); });
    guess->setCheckable(true);
    guess->setChecked(patch && entry->marks.kind < 0);
    kinds->addSeparator();
    for (int k = 0; k < kPatchKindCount; ++k) {
        const auto kind = static_cast<PatchKind>(k);
        QAction* a =
            kinds->addAction(QLatin1Char('&') + Q(std::string(KindName(kind))), this, [this, kind] { SetKind(kind); });
        a->setCheckable(true);
        a->setChecked(patch && entry->marks.kind == k);
    }
}

void CLibraryWnd::ApplyMarkFilter() {
    MarkFilter filter;
    filter.starredOnly = m_starredBox->isChecked();
    filter.showHidden = m_hiddenBox->isChecked();
    if (m_kindBox->currentIndex() > 0) filter.kind = static_cast<PatchKind>(m_kindBox->currentIndex() - 1);
    m_model->SetMarkFilter(filter);
    Reselect();
    ShowStatus();
}

void CLibraryWnd::SetMarksOfCurrent(const std::function<void(PatchMarks&)>& change, bool moveOn) {
    const QModelIndex index = m_list->currentIndex();
    const CatalogEntry* entry = m_model->EntryAt(index);
    if (entry == nullptr || !entry->valid || entry->content == 0) return;
    PatchMarks marks = entry->marks;
    change(marks);
    const std::uint64_t content = entry->content;
    const int row = index.row();
    m_localMarks[content] = marks;
    m_indexer->SetMarks(content, marks);
    m_model->SetMarks(content, marks);
    // A row that left the list gives its place to the next one, so that hiding one after another is a key each.
    if (moveOn && !m_model->View().RowOfPath(m_current) && m_model->rowCount() > 0) {
        m_list->setCurrentIndex(m_model->index(std::min(row, m_model->rowCount() - 1), 0));
    } else {
        CurrentChanged();
    }
    ShowStatus();
}

void CLibraryWnd::ToggleStar() {
    SetMarksOfCurrent([](PatchMarks& m) { m.star = !m.star; }, true);
}

void CLibraryWnd::ToggleHidden() {
    SetMarksOfCurrent([](PatchMarks& m) { m.hidden = !m.hidden; }, true);
}

void CLibraryWnd::SetKind(std::optional<PatchKind> kind) {
    SetMarksOfCurrent([kind](PatchMarks& m) { m.kind = kind ? static_cast<std::int8_t>(*kind) : std::int8_t{-1}; },
                      true);
}

const LikenessScale& CLibraryWnd::Scale() {
    if (!m_setup.likeness.empty()) return m_setup.likeness;
    if (m_fallbackScale.empty())
        for (std::size_t i = 0; i < kPatchParamCount; ++i)
            m_fallbackScale.push_back({static_cast<std::uint8_t>(i), 0xFFFF, 0});
    return m_fallbackScale;
}

bool CLibraryWnd::FindSimilar(bool toDocument) {
    const std::vector<CatalogEntry>& entries = m_model->View().Entries();
    PatchParams target{};
    std::optional<std::size_t> self;
    QString title;
    if (toDocument) {
        const std::optional<PatchParams> current = m_host.CurrentParams();
        if (!current) return false;
        target = *current;
        title = QStringLiteral("Patches like the current patch");
    } else {
        const QModelIndex index = m_list->currentIndex();
        const CatalogEntry* entry = m_model->EntryAt(index);
        if (entry == nullptr || !entry->valid) {
            m_info->setText(QStringLiteral("Select a patch to find the ones like it."));
            return false;
        }
        target = entry->params;
        self = m_model->View().RowEntry(static_cast<std::size_t>(index.row()));
        title = QStringLiteral("Patches like \u201C%1\u201D").arg(Q(DisplayName(*entry)));
    }
    const std::vector<Neighbour> near = NearestPatches(entries, target, Scale(), kSimilarCount, self);
    std::vector<std::uint32_t> rows;
    std::unordered_map<std::uint32_t, QString> notes;
    for (const Neighbour& n : near) {
        rows.push_back(static_cast<std::uint32_t>(n.entry));
        QString note = QStringLiteral("distance %1").arg(n.distance, 0, 'f', 2);
        if (n.distance == 0) note = QStringLiteral("the same sound");
        if (self && n.entry == *self) note = QStringLiteral("the patch compared with");
        notes[static_cast<std::uint32_t>(n.entry)] = note;
    }
    ShowResult(std::move(rows), title + QStringLiteral(": %1").arg(near.size()), std::move(notes));
    return true;
}

void CLibraryWnd::ShowDuplicates() {
    const auto groups = DuplicateGroups(m_model->View().Entries(), Scale());
    std::vector<std::uint32_t> rows;
    std::unordered_map<std::uint32_t, QString> notes;
    std::size_t patches = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (std::size_t i = 0; i < groups[g].size(); ++i) {
            const auto entry = static_cast<std::uint32_t>(groups[g][i]);
            rows.push_back(entry);
            notes[entry] = QStringLiteral("duplicate %1 of %2 in group %3 of %4")
                               .arg(i + 1)
                               .arg(groups[g].size())
                               .arg(Count(g + 1), Count(groups.size()));
        }
        patches += groups[g].size();
    }
    ShowResult(std::move(rows),
               QStringLiteral("Duplicates: %1 groups, %2 patches").arg(Count(groups.size()), Count(patches)),
               std::move(notes));
}

void CLibraryWnd::ShowResult(std::vector<std::uint32_t> entries, QString title,
                             std::unordered_map<std::uint32_t, QString> notes) {
    m_resultTitle = std::move(title);
    m_resultNotes = std::move(notes);
    const bool any = !entries.empty();
    m_model->ShowResultList(std::move(entries));
    // A result list has its own order, not the column's.
    m_list->header()->setSortIndicatorShown(false);
    // The first of the list is the one to look at: the patch itself, or the first duplicate.
    if (any && m_model->rowCount() > 0) {
        m_list->setCurrentIndex(m_model->index(0, 0));
        m_list->scrollToTop();
    }
    m_list->setFocus();
    ShowStatus();
}

void CLibraryWnd::ShowWholeLibrary() {
    m_resultTitle.clear();
    m_resultNotes.clear();
    m_model->ClearResultList();
    m_list->header()->setSortIndicatorShown(true);
    Reselect();
    CurrentChanged();
    ShowStatus();
}

void CLibraryWnd::ShowDifferences(const CatalogEntry* entry) {
    m_differences->clear();
    if (entry == nullptr || !entry->valid) {
        m_differencesTitle->setText(QStringLiteral("&What differs from the current patch:"));
        return;
    }
    const std::vector<std::string> lines = m_host.Differences(entry->path);
    for (const std::string& line : lines) m_differences->addItem(Q(OneLine(line)));
    m_differencesTitle->setText(
        lines.empty() ? QStringLiteral("&What differs from the current patch: nothing")
                      : QStringLiteral("&What differs from the current patch (%1):").arg(Count(lines.size())));
}
