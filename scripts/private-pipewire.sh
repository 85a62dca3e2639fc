# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by ./test and bench/run: a PipeWire daemon of our own with its default configuration, in a
# runtime directory of its own, so that MIDI tests never touch a user's session. There is no session
# manager: the dummy driver of the default configuration schedules the JACK clients, which run through
# PipeWire's JACK library (pw-jack). The daemon is stopped when the sourcing shell exits.

QUARN_PIPEWIRE_PID=""
QUARN_PIPEWIRE_RUNTIME=""

stop_private_pipewire() {
    if [[ -n "$QUARN_PIPEWIRE_PID" ]]; then
        kill -CONT "$QUARN_PIPEWIRE_PID" 2>/dev/null || true
        kill -TERM "$QUARN_PIPEWIRE_PID" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$QUARN_PIPEWIRE_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$QUARN_PIPEWIRE_PID" 2>/dev/null || true
        wait "$QUARN_PIPEWIRE_PID" 2>/dev/null || true
        QUARN_PIPEWIRE_PID=""
    fi
    if [[ -n "$QUARN_PIPEWIRE_RUNTIME" ]]; then
        rm -rf "$QUARN_PIPEWIRE_RUNTIME"
        QUARN_PIPEWIRE_RUNTIME=""
    fi
}

# on_private_pipewire CMD...: runs CMD as a JACK client of our daemon.
on_private_pipewire() {
    env -u JACK_DEFAULT_SERVER XDG_RUNTIME_DIR="$QUARN_PIPEWIRE_RUNTIME" QUARN_JACK_SERVER=pipewire pw-jack "$@"
}

# start_private_pipewire LOGFILE [PERIOD]: sets QUARN_PIPEWIRE_RUNTIME and returns once JACK clients can
# connect (at most about 10 s), with the graph's period set to PERIOD frames (default 256, as jackd's);
# non-zero if the daemon never answers.
start_private_pipewire() {
    local log="$1" period="${2:-256}"
    QUARN_PIPEWIRE_RUNTIME="$(mktemp -d "${TMPDIR:-/tmp}/quarn-pipewire.XXXXXX")"
    # Whoever sourced private-jack.sh as well gets both servers stopped.
    trap 'stop_private_pipewire; if declare -F stop_private_jack >/dev/null; then stop_private_jack; fi' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM

    # pdeathsig: even if this shell is killed outright, the daemon goes with it.
    XDG_RUNTIME_DIR="$QUARN_PIPEWIRE_RUNTIME" setpriv --pdeathsig TERM pipewire </dev/null >"$log" 2>&1 &
    QUARN_PIPEWIRE_PID=$!

    for _ in $(seq 100); do
        if ! kill -0 "$QUARN_PIPEWIRE_PID" 2>/dev/null; then
            wait "$QUARN_PIPEWIRE_PID" 2>/dev/null || true
            QUARN_PIPEWIRE_PID=""
            break
        fi
        if on_private_pipewire jack_lsp >/dev/null 2>&1; then
            XDG_RUNTIME_DIR="$QUARN_PIPEWIRE_RUNTIME" pw-metadata -n settings 0 clock.force-quantum "$period" >/dev/null
            # The tests start once the graph runs at that period.
            for _ in $(seq 50); do
                [[ "$(on_private_pipewire jack_bufsize 2>/dev/null)" == "$period" ]] && return 0
                sleep 0.1
            done
            echo "private PipeWire daemon did not take the period $period" >&2
            return 1
        fi
        sleep 0.1
    done
    echo "private PipeWire daemon did not come up; its log ($log):" >&2
    cat "$log" >&2 || true
    return 1
}
