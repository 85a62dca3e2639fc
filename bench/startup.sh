#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up to first paint and peak memory of quarnedit against a bare QMainWindow built the same way
# (bench/bare_window.cpp), plus the start-up taken apart (bench/startup_parts.cpp), on an X server of
# our own (Xvfb, no window manager) with Qt's xcb platform.
#
# Method: bench/first_paint starts each program and watches the X server: every new top-level window
# gets a DAMAGE object as it is created, so the first drawing into the window with the wanted title is
# seen from the server's side, without any code in the program. The time runs from just before the
# program is started to that first paint; the program then gets SIGTERM, and /usr/bin/time reports its
# peak RSS. quarnedit runs with an empty profile (temporary HOME and XDG_CONFIG_HOME) and with no JACK
# server to find (a server name nobody uses), so no device opens; it is measured to the first paint of
# its main window ("Untitled - QuarnEdit"), not of the transmit question that follows.
#
#   bench/startup.sh [RUNS]        (default 10 runs of each, interleaved; medians are printed)
# QUARN_STARTUP_QUARNEDIT=PATH measures another build of the program (a copy with its default.qnp beside it);
# QUARN_STARTUP_VARIANTS="NAME=PATH ..." adds builds measured in the same interleaved rounds, for comparisons.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each program is ended by a signal right after its first paint, which may come while a JACK client of its
# own is still opening; one killed in the middle of its open leaves libjack's database in /dev/shm locked,
# and every later client on the machine waits for ever. So a run gets a /dev/shm of its own when it may
# make one (as root), as ./test does.
if [[ -z "${QUARN_PRIVATE_SHM:-}" ]] && unshare --mount --ipc --propagation private true 2>/dev/null; then
    # shellcheck disable=SC2016 # expanded by the inner shell
    exec env QUARN_PRIVATE_SHM=1 unshare --mount --ipc --propagation private bash -c \
        'mount -t tmpfs -o mode=1777 quarn-shm /dev/shm || echo "startup.sh: JACK shares /dev/shm with the machine" >&2
         exec "$0" "$@"' "$(pwd)/bench/startup.sh" "$@"
fi
runs="${1:-10}"
build="${QUARN_BENCH_BUILD:-build-bench}"

need=()
command -v Xvfb >/dev/null || need+=(xvfb)
[[ -x /usr/bin/time ]] || need+=(time)
pkg-config --exists xdamage x11 2>/dev/null || need+=(libxdamage-dev libx11-dev)
if ((${#need[@]})); then
    echo "startup.sh: installing ${need[*]}" >&2
    sudo_cmd=()
    [[ "$(id -u)" == 0 ]] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get install -y -qq "${need[@]}" >/dev/null ||
        { "${sudo_cmd[@]}" apt-get update -qq && "${sudo_cmd[@]}" apt-get install -y -qq "${need[@]}" >/dev/null; }
fi

if [[ ! -f "$build/CMakeCache.txt" ]] || ! grep -q '^XDAMAGE_FOUND:INTERNAL=1' "$build/CMakeCache.txt"; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target quarnedit default_patch bare_window startup_parts first_paint >/dev/null

tmp="$(mktemp -d /tmp/quarn-startup.XXXXXX)"
xvfb_pid=""
cleanup() {
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

# Our own server on a free display number, which it reports through fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$tmp/display" ]] && break; sleep 0.05; done
[[ -s "$tmp/display" ]] || { echo "Xvfb did not start:" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(tr -d '\n' <"$tmp/display")"
export QT_QPA_PLATFORM=xcb
# An empty profile, and nothing of the user's session.
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS
# No JACK server: a name nobody serves, and none may be started for us.
export JACK_DEFAULT_SERVER="quarn-startup-none-$$" JACK_NO_START_SERVER=1


# run_one NAME TITLE COMMAND...: appends "paint_ms map_ms rss_kib" to $tmp/NAME.
run_one() {
    local name="$1" title="$2"
    shift 2
    local out
    if ! out="$("$build/bench/first_paint" "$title" 20000 -- /usr/bin/time -f %M -o "$tmp/rss" "$@" 2>"$tmp/err")"; then
        # A run that never painted is reported and left out; the table says how many runs each has.
        echo "$name: run left out: $(grep -v XDG_RUNTIME_DIR "$tmp/err" | tail -n 3)" >&2
        return 0
    fi
    local paint map rss
    paint="$(sed -E 's/.*paint_ms=([0-9.]+).*/\1/' <<<"$out")"
    map="$(sed -E 's/.*map_ms=([-0-9.]+).*/\1/' <<<"$out")"
    rss="$(tail -n 1 "$tmp/rss")"
    echo "$paint $map $rss" >>"$tmp/$name"
}

bin="$build"
program="${QUARN_STARTUP_QUARNEDIT:-$bin/quarnedit}"
configs=(bare quarnedit parts parts_ports parts_icon parts_label parts_form parts_all)
jack_configs=(quarnedit_jack parts_ports_jack)
declare -A variant
for v in ${QUARN_STARTUP_VARIANTS:-}; do
    variant["${v%%=*}"]="${v#*=}"
    configs+=("${v%%=*}")
    jack_configs+=("${v%%=*}_jack")
done
run_config() {
    local name="${1%_jack}"
    if [[ -n "${variant[$name]:-}" ]]; then
        run_one "$1" "Untitled - QuarnEdit" "${variant[$name]}"
        return
    fi
    case "$1" in
        bare) run_one bare "Bare Window" "$bin/bench/bare_window" ;;
        quarnedit) run_one quarnedit "Untitled - QuarnEdit" "$program" ;;
        parts) run_one parts "Parts Window" "$bin/bench/startup_parts" ;;
        parts_ports) run_one parts_ports "Parts Window" "$bin/bench/startup_parts" --ports ;;
        parts_icon) run_one parts_icon "Parts Window" "$bin/bench/startup_parts" --icon ;;
        parts_label) run_one parts_label "Parts Window" "$bin/bench/startup_parts" --label ;;
        parts_form) run_one parts_form "Parts Window" "$bin/bench/startup_parts" --form ;;
        parts_all) run_one parts_all "Parts Window" "$bin/bench/startup_parts" --ports --icon --form ;;
        quarnedit_jack) run_one quarnedit_jack "Untitled - QuarnEdit" "$program" ;;
        parts_ports_jack) run_one parts_ports_jack "Parts Window" "$bin/bench/startup_parts" --ports ;;
    esac
}

# One warm-up run of each (disk cache, font cache), not counted.
for c in "${configs[@]}"; do run_config "$c"; rm -f "$tmp/$c"; done
for _ in $(seq "$runs"); do
    for c in "${configs[@]}"; do run_config "$c"; done
done

# The same with a JACK server running (ours, with no MIDI input on it, so still no device opens):
# what the MIDI ports cost a user whose JACK server is up. A program stopped by a signal leaves its
# JACK clients behind, and the server then makes the next client wait for them (its client timeout),
# so every run gets a fresh server. QUARN_STARTUP_JACK=0 leaves this out.
if [[ "${QUARN_STARTUP_JACK:-1}" == 0 ]] || ! command -v jackd >/dev/null; then
    jack_configs=()
else
    nobody="$JACK_DEFAULT_SERVER"
    unset JACK_DEFAULT_SERVER JACK_NO_START_SERVER
    # shellcheck source=scripts/private-jack.sh
    source scripts/private-jack.sh
    # Each run with a server is paired with one right after it without (row *_jack_off), so that the two are
    # compared under the same load of the machine.
    for i in $(seq 0 "$runs"); do
        for c in "${jack_configs[@]}"; do
            start_private_jack "$tmp/jackd.log"
            trap 'stop_private_jack; cleanup' EXIT
            run_config "$c"
            stop_private_jack
            counted=0
            [[ -f "$tmp/$c" ]] && counted="$(wc -l <"$tmp/$c")"
            JACK_DEFAULT_SERVER="$nobody" JACK_NO_START_SERVER=1 run_config "$c"
            if [[ -f "$tmp/$c" ]] && (("$(wc -l <"$tmp/$c")" > counted)); then
                tail -n 1 "$tmp/$c" >>"$tmp/${c}_off"
                sed -i '$d' "$tmp/$c"
            fi
            ((i > 0)) || rm -f "$tmp/$c" "$tmp/${c}_off"  # the first round warms up
        done
    done
    paired=()
    for c in "${jack_configs[@]}"; do paired+=("$c" "${c}_off"); done
    jack_configs=("${paired[@]}")
fi

if [[ -n "${QUARN_STARTUP_RAW:-}" ]]; then
    for c in "${configs[@]}" "${jack_configs[@]}"; do echo "$c: $(awk '{printf "%s/%s ", $1, $3}' "$tmp/$c")"; done
fi

median() { sort -n | awk '{v[NR]=$1} END{if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }
col() { awk -v c="$2" '{print $c}' "$tmp/$1" | median; }

all=("${configs[@]}" "${jack_configs[@]}")
bare_paint="$(col bare 1)"
bare_rss="$(col bare 3)"
printf '%s runs each, medians; Xvfb 1280x1024x24, QT_QPA_PLATFORM=xcb; *_jack: with a JACK server up\n' "$runs"
printf '%-17s %14s %8s %14s %8s %10s %5s\n' program first-paint-ms x-bare peak-rss-KiB x-bare mapped-ms runs
for c in "${all[@]}"; do
    [[ -s "$tmp/$c" ]] || { printf '%-17s no run painted\n' "$c"; continue; }
    paint="$(col "$c" 1)"
    rss="$(col "$c" 3)"
    printf '%-17s %14.1f %8.2f %14d %8.2f %10.1f %5d\n' "$c" "$paint" "$(awk -v a="$paint" -v b="$bare_paint" 'BEGIN{print a/b}')" \
        "$rss" "$(awk -v a="$rss" -v b="$bare_rss" 'BEGIN{print a/b}')" "$(col "$c" 2)" "$(wc -l <"$tmp/$c")"
done
