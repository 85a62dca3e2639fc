// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/Audition.h"
#include "library/LibraryScan.h"
#include "library/Likeness.h"
#include "library/ports/CatalogCache.h"
#include "library/ports/LibraryFolderStore.h"
#include "library/ports/LibraryHost.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class LibraryIndexer;
struct PreparedCatalog;
class LibraryModel;
class QCheckBox;
class QComboBox;
class QListWidget;
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
    // What makes patches alike: FormLikeness() (src/app). Empty: every parameter counts equal or not.
    LikenessScale likeness;
};

// The patch library window: every patch file of the library folders, searchable and sortable, with
// audition, open, import by drag and drop, and the user's own folders; stars, hidden patches and kinds, the
// patches like one and the duplicates, and what the selected patch changes against the document. Not modal; it
// talks to the rest of the program only through its LibraryHost.
class CLibraryWnd : public QWidget {
public:
    CLibraryWnd(LibraryHost& host, LibrarySetup setup, QWidget* parent = nullptr);
    ~CLibraryWnd() override;

    // Looks at the folders again (also done on showing and whenever a watched folder changes).
    void Refresh();
    // Until the list shows what the folders hold now.
    bool Indexing() const;
    // Until the indexing thread has nothing left to do, the check of each file after an opening included.
    bool Settled() const;
    void AddFolder(const std::string& folder);
    void RemoveFolder(const std::string& folder);
    std::vector<std::string> AddedFolders() const;
    // Copies patch files and folders into the user's folder; returns a line for the user.
    QString Import(const std::vector<std::string>& paths);
    void OpenCurrent();

    // The selected patch's marks: the star and the hide mark turn on or off; a kind of nullopt goes back to
    // the guess. Hiding moves the selection on to the next row.
    void ToggleStar();
    void ToggleHidden();
    void SetKind(std::optional<PatchKind> kind);
    // Lists the 50 patches nearest the selected one, or the document's; false when there is none.
    bool FindSimilar(bool toDocument);
    // Lists the groups of patches that sound the same.
    void ShowDuplicates();
    // Back from a result list to the whole library.
    void ShowWholeLibrary();

    QLineEdit* FilterBox() const { return m_filter; }
    QCheckBox* AuditionBox() const { return m_auditionBox; }
    QComboBox* KindBox() const { return m_kindBox; }
    QCheckBox* StarredBox() const { return m_starredBox; }
    QCheckBox* HiddenBox() const { return m_hiddenBox; }
    QListWidget* DifferencesList() const { return m_differences; }
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
    void ShowListMenu(const QPoint& at);
    void AddMarkActions(QMenu* menu);
    void AddKindActions(QMenu* kinds);
    void ApplyMarkFilter();
    void SetMarksOfCurrent(const std::function<void(PatchMarks&)>& change, bool moveOn);
    void ShowDifferences(const CatalogEntry* entry);
    void ShowResult(std::vector<std::uint32_t> entries, QString title,
                    std::unordered_map<std::uint32_t, QString> notes);
    const LikenessScale& Scale();
    void Watch(const std::vector<std::string>& folders);

    LibraryHost& m_host;
    Audition m_audition;
    LibrarySetup m_setup;
    LibraryModel* m_model;
    LibraryIndexer* m_indexer;
    QLineEdit* m_filter;
    QCheckBox* m_auditionBox;
    QComboBox* m_kindBox;
    QCheckBox* m_starredBox;
    QCheckBox* m_hiddenBox;
    QListWidget* m_differences;
    QLabel* m_differencesTitle;
    QTreeView* m_list;
    QLabel* m_info;
    QLabel* m_status;
    QMenu* m_folderMenu;
    QFileSystemWatcher* m_watcher;
    QTimer* m_rescan;
    std::string m_current;  // path of the selected row, kept across refreshes and filtering
    // Marks set in this window: they win over a refresh that read the cache before they were written.
    std::unordered_map<std::uint64_t, PatchMarks> m_localMarks;
    QString m_resultTitle;                                     // of the result list shown, if any
    std::unordered_map<std::uint32_t, QString> m_resultNotes;  // per entry of the result list
    LikenessScale m_fallbackScale;
    QString m_progress;
    bool m_reselecting = false;
    bool m_waiting = false;  // a refresh was asked for and its last result has not come in
};
