// SPDX-License-Identifier: GPL-3.0-or-later
// The quick-load library: a pop-up menu of the patch library. It runs inside the editor's process, so it
// uses the editor's Qt application. It lists what the library window lists, from the same index: a
// submenu per bank, and alphabetical submenus wherever a menu would grow too tall.

#include "library/LibraryIndex.h"
#include "library/LibraryScan.h"
#include "library/MemoryCatalogCache.h"
#include "library/QuickLoadGrouping.h"
#include "platform/QSettingsLibraryFolders.h"
#include "platform/SqliteCatalogCache.h"
#include "platform/UserFolders.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QMenu>

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace {

constexpr int kBufferSize = 261;

std::vector<CatalogEntry> CurrentLibrary() {
    QSettingsLibraryFolders added(QFile::decodeName(QByteArray::fromStdString(ProfilePath())));
    const std::vector<LibraryRoot> roots = LibraryRoots(
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString(), UserPatchFolder(), added.Folders());
    const std::string indexPath = LibraryIndexPath();
    std::unique_ptr<CatalogCache> cache;
    if (!indexPath.empty()) cache = std::make_unique<SqliteCatalogCache>(indexPath);
    if (!cache) cache = std::make_unique<MemoryCatalogCache>();
    // The menu must open at once: when no folder changed since the index was last brought up to date, the
    // index is taken at its word without looking at every file.
    if (std::optional<std::vector<CatalogEntry>> known = CachedCatalogIfUnchanged(roots, *cache))
        return std::move(*known);
    return RefreshCatalog(roots, *cache);
}

// The menu's items, made as its menus open: a bank's are sorted only then, and kept while the menu is shown.
struct MenuItems {
    QuickLoadTree tree;
    std::deque<std::vector<QuickLoadItem>> opened;
};

// Fills a menu with its items; submenus are filled only when they open, so that a library of thousands
// of patches costs one level of the menu up front.
void Fill(QMenu& menu, const std::vector<QuickLoadItem>& items, MenuItems& all) {
    for (const QuickLoadItem& item : items) {
        if (item.IsMenu()) {
            QMenu* sub = menu.addMenu(QString::fromStdString(item.label));
            QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, &item, &all] {
                if (!sub->isEmpty()) return;
                // The deque keeps each level where it is while more are added.
                Fill(*sub, item.bank >= 0 ? all.opened.emplace_back(all.tree.Bank(item.bank)) : item.children, all);
            });
            continue;
        }
        const QByteArray path = QByteArray::fromStdString(item.path);
        QAction* action = menu.addAction(QString::fromStdString(item.label));
        action->setData(path);
        action->setToolTip(QFile::decodeName(path));
        // The answer must fit the buffer with its terminator.
        action->setEnabled(path.size() < kBufferSize);
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int RunQuickLoadMenuA(char* buffer, std::uintptr_t /*owner*/,
                                                                        std::int32_t x, std::int32_t y) {
    if (buffer == nullptr) return 0;
    buffer[0] = '\0';
    if (QCoreApplication::instance() == nullptr) return 0;

    MenuItems all{QuickLoadTree(CurrentLibrary()), {}};
    const std::vector<QuickLoadItem> items = all.tree.Top();
    QMenu menu;
    menu.setToolTipsVisible(true);
    Fill(menu, items, all);
    if (menu.isEmpty()) menu.addAction(QStringLiteral("(no patches found)"))->setEnabled(false);

    QAction* chosen = menu.exec(QPoint(x, y));
    if (chosen == nullptr || !chosen->isEnabled() || chosen->data().isNull()) return 0;
    const QByteArray path = chosen->data().toByteArray();
    if (path.size() >= kBufferSize) return 0;
    std::memcpy(buffer, path.constData(), static_cast<std::size_t>(path.size()));
    buffer[path.size()] = '\0';
    return 1;
}
