// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/Audition.h"
#include "library/LibraryScan.h"
#include "library/ports/CatalogCache.h"
#include "library/ports/LibraryFolderStore.h"
#include "library/ports/LibraryHost.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class LibraryIndexer;
struct PreparedCatalog;
class LibraryModel;
class QCheckBox;
class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QTreeView;
struct RefreshStats;

// Where the library lies and how it is kept. The program passes its folder, UserPatchFolder(), a
// QSettingsLibraryFolders and a maker of a SqliteCatalogCache at LibraryIndexPath() (all in src/platform).
struct LibrarySetup {
    std::string programFolder;
    std::string userFolder;                 // the user's patch folder, where imports go
    LibraryFolderStore* folders = nullptr;  // the folders the user added; not owned
    // Makes the index's cache; called on the indexing thread. Without one, the index lives in memory.
    std::function<std::unique_ptr<CatalogCache>()> makeCache;
};

// The patch library window: every patch file of the library folders, searchable and sortable, with
// audition, open, import by drag and drop, and the user's own folders. Not modal; it talks to the rest of
// the program only through its LibraryHost.
class CLibraryWnd : public QWidget {
public:
    CLibraryWnd(LibraryHost& host, LibrarySetup setup, QWidget* parent = nullptr);
    ~CLibraryWnd() override;

    // Looks at the folders again (also done on showing and whenever a watched folder changes).
    void Refresh();
    // Until the list shows what the folders hold now.
    bool Indexing() const;
    void AddFolder(const std::string& folder);
    void RemoveFolder(const std::string& folder);
    std::vector<std::string> AddedFolders() const;
    // Copies patch files and folders into the user's folder; returns a line for the user.
    QString Import(const std::vector<std::string>& paths);
    void OpenCurrent();

    QLineEdit* FilterBox() const { return m_filter; }
    QCheckBox* AuditionBox() const { return m_auditionBox; }
    QTreeView* List() const { return m_list; }
    LibraryModel* Model() const { return m_model; }
    QLabel* InfoLine() const { return m_info; }
    QLabel* StatusLine() const { return m_status; }
    QFileSystemWatcher* Watcher() const { return m_watcher; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void TakeEntries(PreparedCatalog* catalog, const RefreshStats& stats, bool final);
    void Reselect();
    void CurrentChanged();
    void ShowStatus();
    void FillFolderMenu();
    void ShowSortMenu(const QPoint& at);
    void Watch(const std::vector<std::string>& folders);

    Audition m_audition;
    LibrarySetup m_setup;
    LibraryModel* m_model;
    LibraryIndexer* m_indexer;
    QLineEdit* m_filter;
    QCheckBox* m_auditionBox;
    QTreeView* m_list;
    QLabel* m_info;
    QLabel* m_status;
    QMenu* m_folderMenu;
    QFileSystemWatcher* m_watcher;
    QTimer* m_rescan;
    std::string m_current;  // path of the selected row, kept across refreshes and filtering
    QString m_progress;
    bool m_reselecting = false;
    bool m_waiting = false;  // a refresh was asked for and its last result has not come in
};
