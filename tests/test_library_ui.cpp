// SPDX-License-Identifier: GPL-3.0-or-later
// The library window with a fake host, and the quick-load menu library loaded from disk, on Qt's
// offscreen platform.
#include "LibraryFixtures.h"

#include "library/CatalogView.h"
#include "library/MemoryCatalogCache.h"
#include "platform/SqliteCatalogCache.h"
#include "ui/CLibraryWnd.h"
#include "ui/LibraryModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPalette>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <array>
#include <cstdlib>

using namespace libtest;

namespace {

void Gui() {
    static int argc = 1;
    static char name[] = "test_library_ui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    (void)app;
}

// Saves a window's picture where QUARN_SCREENSHOTS names a folder (for looking at, never for comparing).
void Shot(QWidget* window, const char* name) {
    if (const char* folder = std::getenv("QUARN_SCREENSHOTS")) {
        QApplication::processEvents();
        window->grab().save(QString::fromUtf8(folder) + "/" + name);
    }
}

struct FakeHost : LibraryHost {
    std::vector<std::string> calls;
    void AuditionPatch(const std::string& path) override { calls.push_back("audition " + Name(path)); }
    bool OpenPatch(const std::string& path) override {
        calls.push_back("open " + Name(path));
        return true;
    }
    void RestoreDocumentPatch() override { calls.push_back("restore"); }
    std::optional<PatchParams> CurrentParams() override { return current; }
    std::vector<std::string> Differences(const std::string& path) override {
        compared.push_back(Name(path));
        return differences;
    }
    std::optional<PatchParams> current;
    std::vector<std::string> differences;
    std::vector<std::string> compared;
    static std::string Name(const std::string& path) { return fs::path(path).filename().string(); }
};

// One cache for every window of a test, as the index file is for every run of the program. Used by one
// indexing thread at a time; read by the test only once that thread is gone.
struct SharedCache : CatalogCache {
    MemoryCatalogCache* cache;
    explicit SharedCache(MemoryCatalogCache* c) : cache(c) {}
    std::vector<CatalogEntry> Load() override { return cache->Load(); }
    bool Update(std::span<const CatalogEntry> changed, std::span<const std::string> removed) override {
        return cache->Update(changed, removed);
    }
    MarksByContent LoadMarks() override { return cache->LoadMarks(); }
    bool SetMarks(std::uint64_t content, const PatchMarks& marks) override { return cache->SetMarks(content, marks); }
    ScanRecord LoadScan() override { return cache->LoadScan(); }
    bool SaveScan(const ScanRecord& record) override { return cache->SaveScan(record); }
};

struct MemoryFolders : LibraryFolderStore {
    std::vector<std::string> folders;
    std::vector<std::string> Folders() override { return folders; }
    void SetFolders(const std::vector<std::string>& f) override { folders = f; }
};

struct LibraryWindowTest : ::testing::Test {
    TempDir dir;
    fs::path user = dir.path / "user";
    FakeHost host;
    MemoryFolders folders;
    MemoryCatalogCache index;  // before the window, which goes first and stops its thread
    std::unique_ptr<CLibraryWnd> wnd;

    void SetUp() override {
        Gui();
        // Four banks of "<Bank> <n>", plus two broken files.
        for (const char* bank : {"Bass", "Keys", "Pads", "Strings"})
            for (int i = 0; i < 25; ++i)
                WriteFile(
                    user / bank / (std::string(bank) + std::to_string(i) + ".qnp"),
                    PatchBytes(std::string(bank) + " " + std::to_string(i), "Tester", i == 7 ? "the warm one" : ""));
        WriteFile(user / "Broken" / "zero.qnp", {});
        WriteFile(user / "Broken" / "text.qnp", std::vector<std::uint8_t>(3000, 'x'));
        wnd = std::make_unique<CLibraryWnd>(host, WindowSetup());
    }

    LibrarySetup WindowSetup() {
        LibrarySetup setup;
        setup.userFolder = user.string();
        setup.folders = &folders;
        setup.makeCache = [this] { return std::make_unique<SharedCache>(&index); };
        return setup;
    }
    void Key(QWidget* to, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(to, static_cast<Qt::Key>(key), modifiers);
    }
    void Select(const std::string& path) {
        const std::optional<std::size_t> row = wnd->Model()->View().RowOfPath(path);
        ASSERT_TRUE(row) << path;
        wnd->List()->setCurrentIndex(wnd->Model()->index(static_cast<int>(*row), 0));
        wnd->List()->setFocus();
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int r = 0; r < wnd->Model()->rowCount(); ++r)
            names.push_back(wnd->Model()->data(wnd->Model()->index(r, 0)).toString().toStdString());
        return names;
    }

    void ShowAndWait(int rows) {
        wnd->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return wnd->Model()->rowCount() == rows && !wnd->Indexing(); }, 20000))
            << wnd->Model()->rowCount();
        QApplication::processEvents();
    }
    std::string CurrentName() const {
        const CatalogEntry* e = wnd->Model()->EntryAt(wnd->List()->currentIndex());
        return e != nullptr ? DisplayName(*e) : std::string();
    }
};

}  // namespace

TEST_F(LibraryWindowTest, ListsEveryFileFromItsThreadAndGreysBrokenOnesWithTheirReason) {
    ShowAndWait(102);
    EXPECT_EQ(wnd->StatusLine()->text(), QStringLiteral("102 patch files"));
    LibraryModel& model = *wnd->Model();
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), QStringLiteral("Modified"));
    QStringList reasons;
    for (int r = 0; r < model.rowCount(); ++r) {
        const CatalogEntry* e = model.EntryAt(model.index(r, 0));
        ASSERT_NE(e, nullptr);
        if (e->valid) {
            EXPECT_FALSE(model.data(model.index(r, 0), Qt::ForegroundRole).isValid());
            continue;
        }
        EXPECT_EQ(model.data(model.index(r, 2)).toString(), QStringLiteral("Broken"));
        EXPECT_EQ(model.data(model.index(r, 1), Qt::ForegroundRole).value<QBrush>(),
                  QApplication::palette().brush(QPalette::Disabled, QPalette::Text));
        reasons << model.data(model.index(r, 0)).toString() + QStringLiteral(": ") +
                       model.data(model.index(r, 0), Qt::ToolTipRole).toString();
    }
    const QString folder = QString::fromStdString((user / "Broken").string());
    EXPECT_EQ(reasons, (QStringList{"text: Not a QuarnEdit Patch\n" + folder + "/text.qnp",
                                    "zero: Couldn't read from input file\n" + folder + "/zero.qnp"}));
    // Sorting by a column through the header.
    wnd->List()->sortByColumn(2, Qt::DescendingOrder);
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("Strings"));
}

TEST_F(LibraryWindowTest, TheListFollowsEveryKeystrokeOfTheSearch) {
    ShowAndWait(102);
    std::vector<int> rows;
    wnd->FilterBox()->setFocus();
    for (const char c : std::string("PADS 1")) {
        QTest::keyClick(wnd->FilterBox(), c);
        rows.push_back(wnd->Model()->rowCount());
    }
    // Only the Pads have a "p" anywhere; "pads 1" is Pads 1, 10 to 19 and, by its file name Pads21.qnp, 21.
    EXPECT_EQ(rows, (std::vector<int>{25, 25, 25, 25, 25, 12}));
    EXPECT_EQ(wnd->StatusLine()->text(), QStringLiteral("12 of 102 patch files"));
    wnd->FilterBox()->setText(QStringLiteral("WARM"));
    EXPECT_EQ(wnd->Model()->rowCount(), 4);  // by comment
    wnd->FilterBox()->clear();
    EXPECT_EQ(wnd->Model()->rowCount(), 102);
}

TEST_F(LibraryWindowTest, TypeArrowEnterAuditionsAndOpensThroughTheHost) {
    ShowAndWait(102);
    wnd->AuditionBox()->click();
    wnd->FilterBox()->setFocus();
    QTest::keyClicks(wnd->FilterBox(), QStringLiteral("keys 2"));
    QTest::keyClick(wnd->FilterBox(), Qt::Key_Down);  // into the list: the first row
    EXPECT_EQ(CurrentName(), "Keys 2");
    QTest::keyClick(wnd->List(), Qt::Key_Down);
    EXPECT_EQ(CurrentName(), "Keys 12");
    // Widening the search keeps the row selected and sends nothing again.
    wnd->FilterBox()->setText(QStringLiteral("keys"));
    EXPECT_EQ(CurrentName(), "Keys 12");
    QTest::keyClick(wnd->List(), Qt::Key_Down);
    EXPECT_EQ(CurrentName(), "Keys 13");
    // A search that hides the row, then one that shows it again: selected again, not sent again.
    wnd->FilterBox()->setText(QStringLiteral("pads"));
    EXPECT_EQ(CurrentName(), "");
    wnd->FilterBox()->setText(QStringLiteral("keys"));
    EXPECT_EQ(CurrentName(), "Keys 13");
    QTest::keyClick(wnd->List(), Qt::Key_Return);  // opened: it is the document now, nothing to restore
    wnd->AuditionBox()->click();
    QTest::keyClick(wnd->List(), Qt::Key_Up);  // off: nothing sent
    wnd->AuditionBox()->click();               // on again: the selected patch is sent
    QTest::keyClick(wnd->List(), Qt::Key_Down);
    wnd->close();
    EXPECT_EQ(host.calls,
              (std::vector<std::string>{"audition Keys2.qnp", "audition Keys12.qnp", "audition Keys13.qnp",
                                        "open Keys13.qnp", "audition Keys12.qnp", "audition Keys13.qnp", "restore"}));
}

TEST_F(LibraryWindowTest, DroppedFilesAreImportedAndTheListFollowsTheFolders) {
    ShowAndWait(102);
    const fs::path outside = dir.path / "outside";
    WriteFile(outside / "a.qnp", PatchBytes("Dropped"));
    WriteFile(outside / "Drums" / "k.qnp", PatchBytes("Kick"));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((outside / "a.qnp").string())),
                  QUrl::fromLocalFile(QString::fromStdString((outside / "Drums").string()))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(wnd.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(wnd.get(), &drop);
    EXPECT_EQ(wnd->InfoLine()->text(), QStringLiteral("Imported 2 patch files."));
    EXPECT_EQ(ReadFile(user / "Dropped.qnp"), PatchBytes("Dropped"));
    EXPECT_EQ(ReadFile(user / "Drums" / "Kick.qnp"), PatchBytes("Kick"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return wnd->Model()->rowCount() == 104; }, 20000));

    // Another program writes into a bank: the watched folder brings it in.
    WriteFile(user / "Pads" / "new.qnp", PatchBytes("Brand New"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return wnd->Model()->rowCount() == 105; }, 20000));
    fs::remove(user / "Pads" / "new.qnp");
    EXPECT_TRUE(QTest::qWaitFor([&] { return wnd->Model()->rowCount() == 104; }, 20000));
}

TEST_F(LibraryWindowTest, FoldersTheUserAddsAreListedUntilRemoved) {
    ShowAndWait(102);
    const fs::path extra = dir.path / "Old Disk";
    WriteFile(extra / "x.qnp", PatchBytes("From the old disk"));
    wnd->AddFolder(extra.string());
    EXPECT_EQ(folders.folders, std::vector<std::string>{extra.string()});
    EXPECT_TRUE(QTest::qWaitFor([&] { return wnd->Model()->rowCount() == 103; }, 20000));
    wnd->FilterBox()->setText(QStringLiteral("old disk"));
    ASSERT_EQ(wnd->Model()->rowCount(), 1);
    EXPECT_EQ(wnd->Model()->data(wnd->Model()->index(0, 2)).toString(), QStringLiteral("Old Disk"));
    wnd->RemoveFolder(extra.string());
    EXPECT_TRUE(folders.folders.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return wnd->Model()->View().Entries().size() == 102; }, 20000));
}

// Rewrites a patch in place as an editor saving over it would: the file changes, its folder's time does not.
void RewriteInPlace(const fs::path& file, const std::string& name) {
    const auto folderTime = fs::last_write_time(file.parent_path());
    WriteFile(file, PatchBytes(name));
    Touch(file, 5);
    fs::last_write_time(file.parent_path(), folderTime);
}

// A window that opens on an index whose folders did not change lists it at once, then checks each file all
// the same: a file rewritten in place, which changes no folder, is found by that check.
TEST_F(LibraryWindowTest, AWindowTrustsUnchangedFoldersFirstAndChecksEachFileAfter) {
    ShowAndWait(102);
    wnd.reset();
    const fs::path keys = user / "Keys";
    RewriteInPlace(keys / "Keys3.qnp", "Rewritten in place");
    wnd = std::make_unique<CLibraryWnd>(host, WindowSetup());
    wnd->show();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto row = wnd->Model()->View().RowOfPath((keys / "Keys3.qnp").string());
            return row && wnd->Model()->View().RowName(*row) == "Rewritten in place";
        },
        20000));
    EXPECT_EQ(wnd->Model()->rowCount(), 102);
}

// With the index on disk, a window lists from the snapshot the one before kept, with the same order and kinds;
// a file rewritten in place is found by the check after the opening, and the next window lists it at once.
TEST_F(LibraryWindowTest, AWindowOpensFromTheKeptSnapshotAndNeverFromAStaleOne) {
    wnd.reset();
    const fs::path db = dir.path / "index" / "library.sqlite";
    auto open = [&] {
        LibrarySetup setup = WindowSetup();
        setup.makeCache = [db] { return std::make_unique<SqliteCatalogCache>(db.string()); };
        wnd = std::make_unique<CLibraryWnd>(host, setup);
        wnd->show();
        // What the first delivery lists, before the check of each file can change it.
        EXPECT_TRUE(QTest::qWaitFor([&] { return wnd->Model()->rowCount() > 0; }, 20000));
        std::vector<std::string> first = Names();
        for (int r = 0; r < wnd->Model()->rowCount(); ++r)
            first.push_back(wnd->Model()->data(wnd->Model()->index(r, 5)).toString().toStdString());
        EXPECT_TRUE(QTest::qWaitFor([&] { return wnd->Settled(); }, 20000));
        return first;
    };
    const std::vector<std::string> built = open();
    EXPECT_EQ(built.size(), 2u * 102u);
    EXPECT_TRUE(SqliteCatalogCache(db.string()).HasSnapshot(PreparedRulesKey()));
    EXPECT_EQ(open(), built);

    wnd.reset();
    const fs::path keys = user / "Keys";
    RewriteInPlace(keys / "Keys3.qnp", "Rewritten Lead");
    open();
    const auto rewritten = [&] {
        const auto row = wnd->Model()->View().RowOfPath((keys / "Keys3.qnp").string());
        return row && wnd->Model()->View().RowName(*row) == "Rewritten Lead" &&
               wnd->Model()->View().RowKind(*row) == PatchKind::Lead;
    };
    EXPECT_TRUE(QTest::qWaitFor(rewritten, 20000)) << "found by the check after the opening";
    const std::vector<std::string> later = open();
    EXPECT_TRUE(std::find(later.begin(), later.end(), "Rewritten Lead") != later.end()) << "listed at once";
    EXPECT_TRUE(rewritten());
}

// ---- stars, hidden patches, kinds ----------------------------------------------------------------------

TEST_F(LibraryWindowTest, StarHideAndKindFromTheKeyboardFilterTheListAndLastIntoTheNextWindow) {
    ShowAndWait(102);
    // Kinds come from the names: four banks, four kinds.
    wnd->KindBox()->setCurrentIndex(1 + static_cast<int>(PatchKind::Pad));
    EXPECT_EQ(wnd->Model()->rowCount(), 25);
    EXPECT_EQ(wnd->Model()->data(wnd->Model()->index(0, 5)).toString(), QStringLiteral("Pad"));
    EXPECT_EQ(wnd->StatusLine()->text(), QStringLiteral("25 of 102 patch files"));

    Select((user / "Pads" / "Pads3.qnp").string());
    Key(wnd->List(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(CurrentName(), "Pads 3");
    EXPECT_EQ(wnd->Model()->data(wnd->List()->currentIndex()).toString(), QStringLiteral("\u2605 Pads 3"));
    wnd->StarredBox()->setChecked(true);
    EXPECT_EQ(Names(), std::vector<std::string>{"\u2605 Pads 3"});
    wnd->StarredBox()->setChecked(false);

    // Hiding moves on to the next row, so that a key a row hides one after another.
    Select((user / "Pads" / "Pads4.qnp").string());
    Key(wnd->List(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(CurrentName(), "Pads 5");
    Key(wnd->List(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(CurrentName(), "Pads 6");
    EXPECT_EQ(wnd->Model()->rowCount(), 23);
    wnd->HiddenBox()->setChecked(true);
    EXPECT_EQ(wnd->Model()->rowCount(), 25);
    Select((user / "Pads" / "Pads5.qnp").string());
    EXPECT_EQ(wnd->Model()->data(wnd->List()->currentIndex()).toString(), QStringLiteral("Pads 5 (hidden)"));
    Shot(wnd.get(), "library-marks.png");
    Key(wnd->List(), Qt::Key_H, Qt::ControlModifier);  // shown again
    wnd->HiddenBox()->setChecked(false);
    EXPECT_EQ(wnd->Model()->rowCount(), 24);

    // A kind of the user's own: the row leaves the Pads for the Leads.
    Select((user / "Pads" / "Pads7.qnp").string());
    wnd->SetKind(PatchKind::Lead);
    EXPECT_EQ(wnd->Model()->rowCount(), 23);
    wnd->KindBox()->setCurrentIndex(1 + static_cast<int>(PatchKind::Lead));
    EXPECT_EQ(Names(), std::vector<std::string>{"Pads 7"});
    // Ctrl+K offers the kinds, the user's choice checked; choosing the guess again undoes it.
    Select((user / "Pads" / "Pads7.qnp").string());
    Key(wnd->List(), Qt::Key_K, Qt::ControlModifier);
    QMenu* menu = nullptr;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, 5000));
    ASSERT_EQ(menu->actions().size(), 2 + kPatchKindCount);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("&Guessed from the Name"));
    EXPECT_TRUE(menu->actions()[2 + static_cast<int>(PatchKind::Lead)]->isChecked());
    menu->actions()[0]->trigger();
    menu->close();
    EXPECT_EQ(wnd->Model()->rowCount(), 0);
    wnd->KindBox()->setCurrentIndex(1 + static_cast<int>(PatchKind::Pad));
    Select((user / "Pads" / "Pads7.qnp").string());
    wnd->SetKind(PatchKind::Lead);
    wnd->KindBox()->setCurrentIndex(0);

    // The next window, over the same index, shows them all again.
    wnd.reset();
    wnd = std::make_unique<CLibraryWnd>(host, WindowSetup());
    ShowAndWait(101);
    wnd->HiddenBox()->setChecked(true);
    EXPECT_EQ(wnd->Model()->rowCount(), 102);
    wnd->HiddenBox()->setChecked(false);
    wnd->StarredBox()->setChecked(true);
    EXPECT_EQ(Names(), std::vector<std::string>{"\u2605 Pads 3"});
    wnd->StarredBox()->setChecked(false);
    wnd->KindBox()->setCurrentIndex(1 + static_cast<int>(PatchKind::Lead));
    EXPECT_EQ(Names(), std::vector<std::string>{"Pads 7"});
}

TEST_F(LibraryWindowTest, SimilarAndDuplicatesAreListsTheKeyboardReachesAndEscapeLeaves) {
    // Four patches apart from the hundred alike: two the same sound, one a step away, one far.
    for (const auto& [name, amp] : std::vector<std::pair<std::string, int>>{
             {"Alpha", 100}, {"Alpha again", 100}, {"Alpha step", 101}, {"Far", 250}}) {
        std::vector<std::uint8_t> bytes = PatchBytes(name);
        SetParam(bytes, 1, amp);
        WriteFile(user / "Sim" / (name + ".qnp"), bytes);
    }
    LibrarySetup setup = WindowSetup();
    for (std::uint8_t i = 1; i < 27; ++i) setup.likeness.push_back({i, 0xFFFF, 255});
    wnd = std::make_unique<CLibraryWnd>(host, setup);
    ShowAndWait(106);

    Select((user / "Sim" / "Alpha.qnp").string());
    Key(wnd->List(), Qt::Key_L, Qt::ControlModifier);
    ASSERT_EQ(wnd->Model()->rowCount(), 50);
    const std::vector<std::string> names = Names();
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 3),
              (std::vector<std::string>{"Alpha", "Alpha again", "Alpha step"}));
    EXPECT_EQ(CurrentName(), "Alpha");
    EXPECT_EQ(wnd->StatusLine()->text(), QStringLiteral("Patches like \u201C"
                                                        "Alpha\u201D: 50 (Esc: the whole library)"));
    Shot(wnd.get(), "library-similar.png");
    EXPECT_TRUE(wnd->InfoLine()->text().contains(QStringLiteral("the patch compared with")));
    Key(wnd->List(), Qt::Key_Down);
    EXPECT_TRUE(wnd->InfoLine()->text().contains(QStringLiteral("the same sound")))
        << wnd->InfoLine()->text().toStdString();
    Key(wnd->List(), Qt::Key_Escape);
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_EQ(wnd->Model()->rowCount(), 106);
    EXPECT_EQ(CurrentName(), "Alpha again");

    // Like the document's patch: the host's parameters.
    PatchParams far{};
    far[1] = 250;
    host.current = far;
    Key(wnd->List(), Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(CurrentName(), "Far");

    // Duplicates: the hundred of the fixture and the two Alphas, group by group.
    Key(wnd->List(), Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(wnd->Model()->rowCount(), 102);
    EXPECT_EQ(wnd->StatusLine()->text(), QStringLiteral("Duplicates: 2 groups, 102 patches (Esc: the whole library)"));
    Shot(wnd.get(), "library-duplicates.png");
    // Hidden from the list of duplicates, an extra stays listed there, marked, and leaves the library.
    Select((user / "Sim" / "Alpha again.qnp").string());
    Key(wnd->List(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(wnd->Model()->rowCount(), 102);
    EXPECT_NE(std::find(Names().begin(), Names().end(), "Alpha again (hidden)"), Names().end());
    wnd->ShowWholeLibrary();
    EXPECT_EQ(wnd->Model()->rowCount(), 105);
    // A window that closes with Escape once it shows the whole library.
    Key(wnd->List(), Qt::Key_Escape);
    EXPECT_FALSE(wnd->isVisible());
}

TEST_F(LibraryWindowTest, WhatDiffersFollowsTheSelectionAndAuditionsFromItsList) {
    host.differences = {"DCO1 Amp.: 128 \u2192 200", "ENV1 Attack: 3 \u2192 9\r\nsecond line"};
    ShowAndWait(102);
    Select((user / "Keys" / "Keys3.qnp").string());
    QListWidget* list = wnd->DifferencesList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("DCO1 Amp.: 128 \u2192 200"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("ENV1 Attack: 3 \u2192 9  second line")) << "one line each";
    Shot(wnd.get(), "library-differs.png");
    // A broken file is not compared.
    host.compared.clear();
    Select((user / "Broken" / "zero.qnp").string());
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(host.compared.empty());
    // Enter on the list auditions the patch, audition on or off; closing puts the document's patch back.
    Select((user / "Keys" / "Keys3.qnp").string());
    list->setFocus();
    list->setCurrentRow(0);
    Key(list, Qt::Key_Return);
    wnd->close();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"audition Keys3.qnp", "restore"}));
    EXPECT_EQ(host.compared.back(), "Keys3.qnp");
}

// ---- the quick-load menu library ---------------------------------------------------------------------

namespace {

using Entry = int (*)(char*, std::uintptr_t, std::int32_t, std::int32_t);

QMenu* OpenPopup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

// The next pop-up menu other than `previous`, once it is open.
QMenu* NextPopup(QMenu* previous) {
    QMenu* menu = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            menu = OpenPopup();
            return menu != nullptr && menu != previous && menu->isVisible();
        },
        5000);
    return menu != previous ? menu : nullptr;
}

void CloseAllPopups() {
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

QStringList Texts(QMenu* menu) {
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text();
    return texts;
}

QAction* Find(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}

}  // namespace

TEST(QuickLoadMenuTest, BanksAreSubmenusBigMenusAreSplitAndTheChosenPathIsAnswered) {
    Gui();
    TempDir dir;
    const fs::path user = dir.path / "data" / "QuarnEdit" / "patches";
    for (int i = 0; i < 3; ++i)
        WriteFile(user / "Small" / ("s" + std::to_string(i) + ".qnp"), PatchBytes("Small " + std::to_string(i)));
    // 60 names in one bank: A.. and B.. and so on.
    for (int i = 0; i < 60; ++i)
        WriteFile(user / "Big" / ("b" + std::to_string(i) + ".qnp"),
                  PatchBytes(std::string(1, static_cast<char>('A' + i % 6)) + "ig " + std::to_string(i)));
    WriteFile(user / "top.qnp", PatchBytes("On Top"));
    WriteFile(user / "broken.qnp", {1, 2, 3});
    setenv("XDG_DATA_HOME", (dir.path / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir.path / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir.path / "config").c_str(), 1);

    void* module = dlopen(QUARN_QUICKLOAD_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto entry = reinterpret_cast<Entry>(dlsym(module, "RunQuickLoadMenuA"));
    ASSERT_NE(entry, nullptr);

    QStringList top, big;
    bool chose = false;
    QTimer::singleShot(0, [&] {
        // Any step that fails closes the menus, so that the call returns.
        QMenu* menu = NextPopup(nullptr);
        QAction* bigBank = menu != nullptr ? Find(menu, QStringLiteral("Big")) : nullptr;
        if (bigBank == nullptr) return CloseAllPopups();
        top = Texts(menu);
        menu->setActiveAction(bigBank);
        QTest::keyClick(menu, Qt::Key_Right);
        QMenu* sub = NextPopup(menu);
        QAction* range = sub != nullptr ? Find(sub, QStringLiteral("A\u2013D")) : nullptr;
        if (sub != nullptr) big = Texts(sub);
        if (range == nullptr) return CloseAllPopups();
        sub->setActiveAction(range);
        QTest::keyClick(sub, Qt::Key_Right);
        QMenu* letters = NextPopup(sub);
        QAction* patch = letters != nullptr ? Find(letters, QStringLiteral("Dig 3")) : nullptr;
        if (patch == nullptr) return CloseAllPopups();
        letters->setActiveAction(patch);
        QTest::keyClick(letters, Qt::Key_Return);
        chose = true;
    });
    std::array<char, 261> buffer{};
    buffer[0] = '.';
    entry(buffer.data(), 0, 100, 100);
    EXPECT_TRUE(chose);
    EXPECT_EQ(top, (QStringList{"Big", "Small", "On Top"}));
    EXPECT_EQ(big, (QStringList{"A\u2013D", "E\u2013F"}));  // ten of each letter
    EXPECT_EQ(std::string(buffer.data()), (user / "Big" / "b3.qnp").string());
    // The menu filled the same index the library window reads.
    EXPECT_TRUE(fs::exists(dir.path / "cache" / "QuarnEdit" / "library.sqlite"));

    // Nothing chosen: an empty answer.
    QTimer::singleShot(0, [] {
        NextPopup(nullptr);
        CloseAllPopups();
    });
    buffer.fill(0);
    buffer[0] = '.';
    entry(buffer.data(), 0, 100, 100);
    EXPECT_EQ(buffer[0], '\0');
    dlclose(module);
    for (const char* v : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) unsetenv(v);
}
