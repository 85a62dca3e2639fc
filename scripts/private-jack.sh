# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by ./test and bench/run: a JACK server of our own (dummy driver, no realtime),
# so MIDI tests never touch a user's server. It is stopped when the sourcing shell exits.

QUARN_JACKD_PID=""

stop_private_jack() {
    [[ -n "$QUARN_JACKD_PID" ]] || return 0
    if kill -0 "$QUARN_JACKD_PID" 2>/dev/null; then
        kill -TERM "$QUARN_JACKD_PID" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$QUARN_JACKD_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$QUARN_JACKD_PID" 2>/dev/null || true
    fi
    wait "$QUARN_JACKD_PID" 2>/dev/null || true
    QUARN_JACKD_PID=""
}

# stop_group PGID: ends a process group: its tests and every server they started, also those a test had
# frozen (SIGSTOP), which a TERM alone would not reach until they were continued. Bounded: KILL after 3 s.
stop_group() {
    kill -TERM -- "-$1" 2>/dev/null || return 0
    kill -CONT -- "-$1" 2>/dev/null || true
    for _ in $(seq 30); do
        kill -0 -- "-$1" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL -- "-$1" 2>/dev/null || true
}

# run_interruptibly CMD...: runs CMD in the background in a process group of its own and waits, so that a
# signal to this shell ends CMD, the tests it runs and their servers at once, instead of after CMD has finished.
run_interruptibly() {
    setsid "$@" &
    local pid=$!
    trap 'stop_group "$pid"; exit 130' INT
    trap 'stop_group "$pid"; exit 143' TERM
    local rc=0
    wait "$pid" || rc=$?
    trap 'exit 130' INT
    trap 'exit 143' TERM
    return "$rc"
}

# start_private_jack LOGFILE [PERIOD]: exports JACK_DEFAULT_SERVER and JACK_NO_START_SERVER and
# returns once the server answers (at most about 10 s); non-zero if it never does. PERIOD is in frames
# at 48 kHz (default 256).
start_private_jack() {
    local log="$1" period="${2:-256}"
    # The pid keeps two runs at once (two checkouts, two developers) off each other's server.
    export JACK_DEFAULT_SERVER="quarnedit-test-$$"
    # Nothing in the tests may start a server behind our back (jack_lsp would).
    export JACK_NO_START_SERVER=1
    # Whoever sourced private-pipewire.sh as well gets both servers stopped.
    trap 'stop_private_jack; if declare -F stop_private_pipewire >/dev/null; then stop_private_pipewire; fi' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM

    # pdeathsig: even if this shell is killed outright, the server goes with it.
    setpriv --pdeathsig TERM \
        jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p "$period" \
        </dev/null >"$log" 2>&1 &
    QUARN_JACKD_PID=$!

    for _ in $(seq 100); do
        if ! kill -0 "$QUARN_JACKD_PID" 2>/dev/null; then
            wait "$QUARN_JACKD_PID" 2>/dev/null || true
            QUARN_JACKD_PID=""
            break
        fi
        if jack_lsp >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    echo "private JACK server '$JACK_DEFAULT_SERVER' did not come up; its log ($log):" >&2
    cat "$log" >&2 || true
    return 1
}
