# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=sh disable=SC2154 # tmp is the sourcing script's
# Sourced by the install and package checks (POSIX sh, with `tmp` and `fail` defined).
# check_window_opens LAUNCHER PATCH: the window, started through LAUNCHER, opens PATCH. It then waits at its
# transmit question, so it is watched until it opens the file (at most 20 s), then ended.
check_window_opens() {
    if ! command -v strace >/dev/null 2>&1 || ! strace -o /dev/null true 2>/dev/null; then
        echo "strace cannot trace here: the window's lookup of default.qnp is not checked"
        return
    fi
    mkdir -p "$tmp/config"
    # shellcheck disable=SC2016 # expanded by the inner shell
    (cd / && XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp" QT_QPA_PLATFORM=offscreen JACK_NO_START_SERVER=1 \
        JACK_DEFAULT_SERVER=quarn-window-check-none \
        strace -f -qq -e trace=openat -P "$2" -o "$tmp/trace" \
        sh -c 'echo $$ >"$1" && exec "$2"' sh "$tmp/pid" "$1" </dev/null >"$tmp/gui.log" 2>&1) &
    tracer=$!
    opened='openat(.*) = [0-9]'
    i=0
    while [ $i -lt 200 ] && ! grep -aq "$opened" "$tmp/trace" 2>/dev/null && kill -0 $tracer 2>/dev/null; do
        sleep 0.1
        i=$((i + 1))
    done
    grep -aq "$opened" "$tmp/trace" || fail "the window did not open $2: $(cat "$tmp/trace" "$tmp/gui.log")"
    # The program, not the tracer: strace ends when its program does.
    [ -s "$tmp/pid" ] && kill "$(cat "$tmp/pid")" 2>/dev/null
    { wait $tracer; } 2>/dev/null
}
