#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The patch library's figures at 1,000, 10,000 and 50,000 patch files (50 banks, one file in fifty broken):
# first index build, warm reopen (core and window), a search keystroke, memory, the quick-load menu, and the
# likeness: the 50 patches nearest one and the duplicates, in the core and in the window.
# Each part runs in a process of its own, three times; the medians are printed as a table.
#   bench/library.sh [sizes...]        e.g. bench/library.sh 10000
# The generated libraries stay in $TMPDIR/quarn-bench-library-v2-N for later runs.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${QUARN_BENCH_BUILD:-build-bench}"
runs="${QUARN_BENCH_RUNS:-3}"
sizes=("$@")
((${#sizes[@]})) || sizes=(1000 10000 50000)

scripts/ensure-deps
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j2 --target bench_library

echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(free -m | awk '/^Mem:/{print $2}') MiB, load $(cut -d' ' -f1-3 /proc/loadavg)"
results="$(mktemp)"
trap 'rm -f "$results"' EXIT
for n in "${sizes[@]}"; do
    for ((run = 1; run <= runs; run++)); do
        for mode in core window menu; do
            QT_QPA_PLATFORM=offscreen "$build/bench/bench_library" "$n" "$mode" 2>/dev/null | grep '^RESULT' >>"$results"
        done
    done
done

# Median over the runs of each figure that a part measures.
python3 - "$results" <<'PY'
import statistics, sys
# The figures each part measures; a part prints zeros for the others.
parts = {"core": ("first_build_disk_ms", "first_build_cached_ms", "reopen_core_ms", "similar_core_ms",
                  "duplicates_core_ms"),
         "window": ("reopen_window_listed_ms", "reopen_window_ms", "first_build_window_stall_ms", "keystroke_median_ms", "keystroke_worst_ms",
                    "memory_mb", "heap_mb", "similar_window_ms", "similar_window_worst_ms", "duplicates_window_ms",
                    "reopen_window_listed_cpu_ms", "reopen_window_cpu_ms"),
         "menu": ("ql_menu_ms", "ql_menu_cpu_ms")}
rows = {}
for line in open(sys.argv[1]):
    fields = dict(f.split("=") for f in line.split()[2:])
    mode = line.split()[1]
    n = int(fields.pop("n"))
    for key, value in fields.items():
        if key in parts.get(mode, ()):
            rows.setdefault(n, {}).setdefault(key, []).append(float(value))
names = [("first_build_disk_ms", "first index build, files from disk (ms)", 15000),
         ("first_build_cached_ms", "first index build, files in the page cache (ms)", 15000),
         ("reopen_core_ms", "reopen with a warm index, core (ms)", 150),
         ("reopen_window_listed_ms", "reopen with a warm index, window: show to every row listed (ms)", 150),
         ("reopen_window_ms", "reopen with a warm index, window: show to checked against the folders (ms)", 150),
         ("reopen_window_listed_cpu_ms", "the same to listed, CPU time of all threads (ms)", "-"),
         ("reopen_window_cpu_ms", "the same to checked, CPU time of all threads (ms)", "-"),
         ("first_build_window_stall_ms", "longest pause of the window's event loop during a first build (ms)", "-"),
         ("keystroke_median_ms", "search keystroke, median (ms)", 16),
         ("keystroke_worst_ms", "search keystroke, worst (ms)", 50),
         ("memory_mb", "memory of the open library, resident (MB)", 60),
         ("heap_mb", "memory of the open library, heap (MB)", 60),
         ("ql_menu_ms", "quick-load menu shown (ms)", 100),
         ("ql_menu_cpu_ms", "the same, CPU time (ms)", "-"),
         ("similar_core_ms", "the 50 nearest patches, core (ms)", 50),
         ("similar_window_ms", "Find Similar in the window, key to list shown, median (ms)", 50),
         ("similar_window_worst_ms", "Find Similar in the window, worst (ms)", 50),
         ("duplicates_core_ms", "duplicates, core (ms)", 1000),
         ("duplicates_window_ms", "Duplicates in the window, key to list shown (ms)", 1000)]
sizes = sorted(rows)
print("| figure | " + " | ".join(f"{n:,}" for n in sizes) + " | target |")
print("| --- | " + " | ".join("---" for _ in sizes) + " | --- |")
for key, label, target in names:
    cells = []
    for n in sizes:
        values = rows[n].get(key, [])
        cells.append(f"{statistics.median(values):.1f}" if values else "-")
    print(f"| {label} | " + " | ".join(cells) + f" | {target} |")
PY
