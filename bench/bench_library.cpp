// SPDX-License-Identifier: GPL-3.0-or-later
// The patch library at scale, timed end to end: a generated library of N patch files in 50 banks (one in
// fifty broken), indexed from nothing, reopened with a warm index, searched keystroke by keystroke in the
// real window, its memory, the likeness (the 50 nearest, the duplicates) in the core and in the window, and the
// quick-load menu until it shows. Qt's offscreen platform; no display.
//
//   bench_library N [core|window|menu|all|reopen] [folder]
// Each part in a process of its own (bench/library.sh does so for 1,000, 10,000 and 50,000 files) keeps the
// memory figure free of what the other parts left on the heap. "reopen" only reopens the window, many times over,
// for a profiler.
#include "app/LibraryCompare.h"
#include "library/CatalogView.h"
#include "library/LibraryIndex.h"
#include "library/Likeness.h"
#include "library/MemoryCatalogCache.h"
#include "library/QuickLoadGrouping.h"
#include "platform/SqliteCatalogCache.h"
#include "platform/UserFolders.h"
#include "ui/CLibraryWnd.h"
#include "ui/LibraryModel.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The CPU time of the whole process, every thread: less swayed than the wall clock by a machine shared with
// other builds.
double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double RssMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

double g_menuShownCpu = 0;

double HeapMb() { return static_cast<double>(mallinfo2().uordblks) / 1e6; }

std::vector<std::uint8_t> Patch(const std::string& name, const std::string& author, const std::string& comment,
                                std::int32_t version = 0, const std::vector<std::int32_t>& params = {}) {
    std::vector<std::uint8_t> b{'Q', 'N', 'P'};
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(version) >> (8 * i)));
    auto text = [&b](const std::string& s, std::size_t size) {
        b.insert(b.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(std::min(s.size(), size - 1)));
        b.resize(b.size() + size - std::min(s.size(), size - 1), 0);
    };
    text(name, 256);
    text(author, 256);
    text(comment, 2048);
    b.resize(2767, 0);
    // Value slots, stored list entries and the two words, from offset 2560 of the record.
    for (std::size_t i = 0; i < params.size(); ++i)
        for (int k = 0; k < 4; ++k)
            b[7 + 2560 + 4 * i + static_cast<std::size_t>(k)] =
                static_cast<std::uint8_t>(static_cast<std::uint32_t>(params[i]) >> (8 * k));
    return b;
}

// N files in 50 banks; names from a small vocabulary, so that searches find hundreds, as in real libraries.
// Parameters at random within the form's ranges; one patch in ten repeats the sound of an earlier one under
// another name, as collected libraries do.
void Generate(const fs::path& folder, int n) {
    static const char* kWords[] = {"Warm",    "Bright", "Dark",  "Soft",  "Hard",   "Fat",  "Thin",  "Analog",
                                   "Digital", "Glass",  "Metal", "Wood",  "Air",    "Deep", "Sweep", "Pluck",
                                   "Stab",    "Drone",  "Choir", "Brass", "String", "Bass", "Lead",  "Pad",
                                   "Keys",    "Bell",   "Organ", "Sync",  "Noise",  "Poly", "Mono",  "Wide"};
    static const char* kAuthors[] = {"Anna", "Bob", "C\xE9line", "Dieter", "Eve", "Factory", "G\xFCnther", "Hiro"};
    std::mt19937 random(14);
    auto word = [&] { return std::string(kWords[random() % std::size(kWords)]); };
    std::vector<std::vector<std::int32_t>> sounds;
    for (int i = 0; i < n; ++i) {
        const fs::path bank = folder / ("Bank " + std::to_string(i % 50 + 1));
        if (i < 50) fs::create_directories(bank);
        const std::string name = word() + " " + word() + " " + std::to_string(i);
        std::string comment;
        for (int k = static_cast<int>(random() % 40); k > 0; --k) comment += word() + (k % 8 ? " " : "\r\n");
        std::vector<std::int32_t> params(50);
        if (i % 10 == 9 && !sounds.empty()) {
            params = sounds[random() % sounds.size()];
        } else {
            for (std::size_t k = 1; k < 27; ++k) params[k] = static_cast<std::int32_t>(random() % 256);
            params[11] %= 16;
            params[12] %= 16;
            for (std::size_t k = 27; k < 48; ++k) params[k] = static_cast<std::int32_t>(random() % 4);
            params[48] = static_cast<std::int32_t>(random() % 256);
            params[49] = static_cast<std::int32_t>(random() % 256);
            sounds.push_back(params);
        }
        std::vector<std::uint8_t> bytes = Patch(name, kAuthors[random() % std::size(kAuthors)], comment, 0, params);
        switch (i % 50 == 49 ? i / 50 % 4 : -1) {  // one in fifty broken, four ways
            case 0: bytes.clear(); break;
            case 1: bytes.resize(1000); break;
            case 2: bytes[0] = 'X'; break;
            case 3: bytes = Patch(name, "", "", 7); break;
            default: break;
        }
        std::ofstream out(bank / ("patch" + std::to_string(i) + ".qnp"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
}

// Drops the files from the page cache (after writing them back), so that a read has to go to the disk.
void Evict(const fs::path& folder) {
    sync();
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        const int fd = open(e.path().c_str(), O_RDONLY);
        if (fd < 0) continue;
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }
}

void RemoveIndex() {
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(LibraryIndexPath() + suffix);
}

struct NullHost : LibraryHost {
    void AuditionPatch(const std::string&) override {}
    bool OpenPatch(const std::string&) override { return true; }
    void RestoreDocumentPatch() override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_library N [core|window|menu|all|reopen] [folder]\n");
        return 2;
    }
    const int n = std::atoi(argv[1]);
    const std::string mode = argc > 2 ? argv[2] : "all";
    const bool all = mode == "all";
    const fs::path base =
        argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / ("quarn-bench-library-v2-" + std::to_string(n));
    setenv("XDG_DATA_HOME", (base / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (base / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base / "config").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const fs::path user = UserPatchFolder();
    if (!fs::exists(user / "Bank 50")) {
        fs::remove_all(user);
        Generate(user, n);
    }
    const std::vector<LibraryRoot> roots = LibraryRoots("", user.string(), {});
    std::printf("N=%d files in %s\n", n, user.c_str());

    // 1. The first index build: no index file; files read from the disk, and from the page cache.
    std::vector<double> cold, warmFiles;
    RefreshStats stats;
    const bool core = all || mode == "core";
    if (!core && !fs::exists(LibraryIndexPath())) {
        SqliteCatalogCache cache(LibraryIndexPath());
        RefreshCatalog(roots, cache);
    }
    for (int rep = 0; rep < (core ? 3 : 0); ++rep) {
        for (bool evict : {true, false}) {
            RemoveIndex();
            if (evict) Evict(user);
            SqliteCatalogCache cache(LibraryIndexPath());
            const auto t0 = Clock::now();
            RefreshCatalog(roots, cache, &stats);
            (evict ? cold : warmFiles).push_back(Ms(Clock::now() - t0));
        }
    }
    if (core)
        std::printf("first build (files from disk)        %8.1f ms  (read %zu files)\n", Median(cold), stats.read);
    if (core) std::printf("first build (files in page cache)    %8.1f ms\n", Median(warmFiles));

    // 2. Reopening with a warm index: a new connection, the cache loaded, every folder checked.
    std::vector<double> reopen, load;
    for (int rep = 0; rep < (core ? 15 : 0); ++rep) {
        SqliteCatalogCache cache(LibraryIndexPath());
        const auto t0 = Clock::now();
        RefreshCallbacks callbacks;
        Clock::time_point loaded;
        callbacks.cached = [&loaded](const std::vector<CatalogEntry>&) { loaded = Clock::now(); };
        RefreshCatalog(roots, cache, &stats, callbacks);
        reopen.push_back(Ms(Clock::now() - t0));
        load.push_back(Ms(loaded - t0));
    }
    if (core)
        std::printf("warm reopen, core (load + check)     %8.1f ms  (of which the index load %.1f ms; read %zu)\n",
                    Median(reopen), Median(load), stats.read);

    // Where a warm reopen's time goes: the index loaded, the catalog prepared for the view, the folders scanned.
    if (core) {
        std::vector<double> loadOnly, prepareOnly, scanOnly;
        for (int rep = 0; rep < 5; ++rep) {
            SqliteCatalogCache cache(LibraryIndexPath());
            auto t0 = Clock::now();
            std::vector<CatalogEntry> loaded = cache.Load();
            loadOnly.push_back(Ms(Clock::now() - t0));
            t0 = Clock::now();
            const PreparedCatalog prepared = PrepareCatalog(std::move(loaded));
            prepareOnly.push_back(Ms(Clock::now() - t0));
            t0 = Clock::now();
            const std::vector<FileStamp> scanned = ScanLibrary(roots);
            scanOnly.push_back(Ms(Clock::now() - t0));
        }
        std::printf("  of which: index load %.1f ms, prepared for the view %.1f ms, folders scanned %.1f ms\n",
                    Median(loadOnly), Median(prepareOnly), Median(scanOnly));
    }

    // 2b. Likeness in the core: the 50 nearest of a patch, and the duplicates, over the whole catalog.
    std::vector<double> nearest, duplicates;
    std::size_t groups = 0;
    if (core) {
        SqliteCatalogCache cache(LibraryIndexPath());
        const std::vector<CatalogEntry> entries = RefreshCatalog(roots, cache);
        const LikenessScale scale = FormLikeness();
        for (int rep = 0; rep < 15; ++rep) {
            const std::size_t self = static_cast<std::size_t>(rep) * 3331 % entries.size();
            const auto t0 = Clock::now();
            const std::vector<Neighbour> near = NearestPatches(entries, entries[self].params, scale, 50, self);
            nearest.push_back(Ms(Clock::now() - t0));
            if (near.empty()) std::printf("no neighbours\n");
        }
        for (int rep = 0; rep < 5; ++rep) {
            const auto t0 = Clock::now();
            groups = DuplicateGroups(entries, scale).size();
            duplicates.push_back(Ms(Clock::now() - t0));
        }
        std::printf("50 nearest, core                     %8.2f ms\n", Median(nearest));
        std::printf("duplicates, core                     %8.1f ms  (%zu groups)\n", Median(duplicates), groups);
    }

    int qargc = 1;
    char name[] = "bench_library";
    char* qargv[] = {name, nullptr};
    QApplication app(qargc, qargv);
    NullHost host;

    // 3. The window: from show to every row listed and the folders checked, with a warm index. Its memory
    // is what it holds beyond the same window over an empty library, opened and closed first so that Qt's
    // own first-use costs (fonts, style, backing store) are paid before the count starts.
    if (all || mode == "window") {
        const fs::path empty = base / "empty";
        fs::create_directories(empty);
        LibrarySetup setup;
        setup.userFolder = empty.string();
        setup.makeCache = [] { return std::make_unique<MemoryCatalogCache>(); };
        CLibraryWnd wnd(host, setup);
        wnd.show();
        while (wnd.Indexing()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        wnd.List()->viewport()->repaint();
        wnd.close();
    }
    // The window during a first build (no index): the longest gap between the ticks of a 1 ms timer, i.e.
    // the longest time the window could not answer the user.
    double stall = 0;
    if (all || mode == "window") {
        RemoveIndex();
        LibrarySetup setup;
        setup.userFolder = user.string();
        setup.makeCache = [] { return std::make_unique<SqliteCatalogCache>(LibraryIndexPath()); };
        CLibraryWnd wnd(host, setup);
        QTimer tick;
        Clock::time_point last = Clock::now();
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            stall = std::max(stall, Ms(now - last));
            last = now;
        });
        tick.start(1);
        wnd.show();
        last = Clock::now();
        while (wnd.Indexing()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        wnd.List()->viewport()->repaint();
        stall = std::max(stall, Ms(Clock::now() - last));
        wnd.close();
        std::printf("first build in the window: longest pause of its event loop %.1f ms\n", stall);
    }
    QApplication::processEvents();
    malloc_trim(0);
    const double rssBefore = RssMb(), heapBefore = HeapMb();
    std::vector<double> windowOpen, windowListed, windowListedCpu, windowOpenCpu;
    double rssAfter = 0, heapAfter = 0;
    std::vector<double> keystrokes, similarWindow, duplicatesWindow;
    // "reopen": only the window's warm reopens, many of them, for a profiler.
    const int reopens = all || mode == "window" ? 7 : mode == "reopen" ? 30 : 0;
    for (int rep = 0; rep < reopens; ++rep) {
        LibrarySetup setup;
        setup.userFolder = user.string();
        setup.makeCache = [] { return std::make_unique<SqliteCatalogCache>(LibraryIndexPath()); };
        setup.likeness = FormLikeness();
        CLibraryWnd wnd(host, setup);
        const auto t0 = Clock::now();
        const double c0 = CpuMs();
        wnd.show();
        while (wnd.Model()->rowCount() == 0) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        wnd.List()->viewport()->repaint();
        windowListed.push_back(Ms(Clock::now() - t0));
        windowListedCpu.push_back(CpuMs() - c0);
        while (wnd.Indexing()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        wnd.List()->viewport()->repaint();
        windowOpen.push_back(Ms(Clock::now() - t0));
        windowOpenCpu.push_back(CpuMs() - c0);
        if (rep == 0 && mode != "reopen") {
            // The memory and the keystrokes once the indexing thread is done, its check of each file included.
            while (!wnd.Settled()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            malloc_trim(0);
            rssAfter = RssMb();
            heapAfter = HeapMb();
            // 4. Search as you type: each keystroke filters, resets the view and repaints it.
            for (int round = 0; round < 3; ++round) {
                wnd.FilterBox()->clear();
                QApplication::processEvents();
                for (const char c : std::string("warm pad 1")) {
                    const auto k0 = Clock::now();
                    QTest::keyClick(wnd.FilterBox(), c);
                    wnd.List()->viewport()->repaint();
                    keystrokes.push_back(Ms(Clock::now() - k0));
                }
                // Deleting back to nothing: each key widens the search.
                for (int k = 0; k < 10; ++k) {
                    const auto k0 = Clock::now();
                    QTest::keyClick(wnd.FilterBox(), Qt::Key_Backspace);
                    wnd.List()->viewport()->repaint();
                    keystrokes.push_back(Ms(Clock::now() - k0));
                }
            }
            // 5. Likeness in the window: from the key to the list of the 50 nearest (or the duplicates) shown.
            for (int round = 0; round < 7; ++round) {
                wnd.List()->setCurrentIndex(wnd.Model()->index(round * 97 % wnd.Model()->rowCount(), 0));
                const auto s0 = Clock::now();
                QTest::keyClick(wnd.List(), Qt::Key_L, Qt::ControlModifier);
                wnd.List()->viewport()->repaint();
                similarWindow.push_back(Ms(Clock::now() - s0));
                QTest::keyClick(wnd.List(), Qt::Key_Escape);
            }
            for (int round = 0; round < 3; ++round) {
                const auto d0 = Clock::now();
                QTest::keyClick(wnd.List(), Qt::Key_U, Qt::ControlModifier);
                wnd.List()->viewport()->repaint();
                duplicatesWindow.push_back(Ms(Clock::now() - d0));
                QTest::keyClick(wnd.List(), Qt::Key_Escape);
            }
        }
        wnd.close();
    }
    keystrokes.push_back(0);
    if (!windowOpen.empty()) {
        std::printf("warm reopen, window: listed          %8.1f ms, checked against the folders %.1f ms\n",
                    Median(windowListed), Median(windowOpen));
        std::printf("  the same in CPU time (all threads) %8.1f ms, %.1f ms\n", Median(windowListedCpu),
                    Median(windowOpenCpu));
    }
    if (!similarWindow.empty()) {
        std::printf("keystroke (filter + repaint)          %8.2f ms median, %.2f ms worst of %zu\n", Median(keystrokes),
                    *std::max_element(keystrokes.begin(), keystrokes.end()), keystrokes.size() - 1);
        std::printf("memory of the open library           %8.1f MB resident (heap %.1f MB)\n", rssAfter - rssBefore,
                    heapAfter - heapBefore);
        std::printf("find similar in the window           %8.2f ms median, %.2f ms worst\n", Median(similarWindow),
                    *std::max_element(similarWindow.begin(), similarWindow.end()));
        std::printf("duplicates in the window             %8.1f ms median\n", Median(duplicatesWindow));
    }

    // 5. The quick-load menu: from the click to the menu on screen, with the warm index.
    void* module = dlopen(QUARN_QUICKLOAD_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    using Entry = int (*)(char*, std::uintptr_t, std::int32_t, std::int32_t);
    auto entry = reinterpret_cast<Entry>(dlsym(module, "RunQuickLoadMenuA"));
    std::vector<double> menu, menuCpu;
    for (int rep = 0; rep < ((all || mode == "menu") ? 7 : 0); ++rep) {
        Clock::time_point shown;
        QTimer::singleShot(0, [&shown] {
            while (qobject_cast<QMenu*>(QApplication::activePopupWidget()) == nullptr)
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            shown = Clock::now();
            g_menuShownCpu = CpuMs();
            QApplication::activePopupWidget()->close();
        });
        std::array<char, 261> buffer{'.'};
        const auto t0 = Clock::now();
        const double c0 = CpuMs();
        entry(buffer.data(), 0, 10, 10);
        menu.push_back(Ms(shown - t0));
        menuCpu.push_back(g_menuShownCpu - c0);
    }
    if (!menu.empty())
        std::printf("quick-load menu shown                %8.1f ms (CPU %.1f ms)\n", Median(menu), Median(menuCpu));
    dlclose(module);
    std::printf(
        "RESULT %s n=%d first_build_disk_ms=%.1f first_build_cached_ms=%.1f reopen_core_ms=%.1f "
        "reopen_window_listed_ms=%.1f reopen_window_ms=%.1f first_build_window_stall_ms=%.1f keystroke_median_ms=%.2f "
        "keystroke_worst_ms=%.2f memory_mb=%.1f heap_mb=%.1f "
        "ql_menu_ms=%.1f similar_core_ms=%.2f duplicates_core_ms=%.1f similar_window_ms=%.2f "
        "similar_window_worst_ms=%.2f duplicates_window_ms=%.1f reopen_window_listed_cpu_ms=%.1f "
        "reopen_window_cpu_ms=%.1f ql_menu_cpu_ms=%.1f\n",
        mode.c_str(), n, Median(cold), Median(warmFiles), Median(reopen), Median(windowListed), Median(windowOpen),
        stall, Median(keystrokes), *std::max_element(keystrokes.begin(), keystrokes.end()), rssAfter - rssBefore,
        heapAfter - heapBefore, Median(menu), Median(nearest), Median(duplicates), Median(similarWindow),
        similarWindow.empty() ? 0.0 : *std::max_element(similarWindow.begin(), similarWindow.end()),
        Median(duplicatesWindow), Median(windowListedCpu), Median(windowOpenCpu), Median(menuCpu));
    return 0;
}
