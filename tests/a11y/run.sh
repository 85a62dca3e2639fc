#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test script against the program's windows as a screen reader sees them: its own HOME and XDG folders,
# a virtual X display, a private D-Bus session on which the AT-SPI bus starts when first asked for, and Qt's
# accessibility bridge on. Usage: run.sh SCRIPT ARGS...
#
# Everything it starts (the X server, both buses, the registry, the program) lives in PID, mount and network
# namespaces of its own where it may make them, with a /tmp of its own: when this script is killed, even with
# SIGKILL, the kernel ends them all and their files go with them, and no display or socket is shared.
set -eu

if [ -z "${QUARN_A11Y_INSIDE:-}" ]; then
    export QUARN_A11Y_INSIDE=1
    # As root the namespaces are ours to make; otherwise through a user namespace, where the system allows it.
    for how in "" "--user --map-root-user"; do
        # shellcheck disable=SC2086 # $how is a list of options
        if unshare $how --pid --fork --kill-child --mount-proc --net true 2>/dev/null; then
            exec unshare $how --pid --fork --kill-child --mount-proc --net sh "$0" "$@"
        fi
    done
    echo "run.sh: no namespaces here; what the test starts is ended by its process group instead" >&2
fi
# A /tmp of its own, unless the checkout or the build lies in /tmp: a fresh one would hide them.
if [ "$$" = 1 ]; then
    case "$(pwd) $0 $*" in
        /tmp/* | */tmp/*) ;;
        *)
            mount -t tmpfs -o mode=1777 quarn-a11y /tmp
            export TMPDIR=/tmp
            ;;
    esac
fi

tmp="$(mktemp -d "${TMPDIR:-/tmp}/quarn-a11y.XXXXXX")"
cleanup() {
    # Without a namespace of its own, end whatever is left of this run's process group.
    if [ "$$" != 1 ]; then kill -TERM -- "-$$" 2>/dev/null || true; fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

mkdir -p "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache" "$tmp/state" "$tmp/runtime"
chmod 700 "$tmp/runtime"
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" XDG_CACHE_HOME="$tmp/cache" \
    XDG_STATE_HOME="$tmp/state" XDG_RUNTIME_DIR="$tmp/runtime"
# The system's own folders only: service files for the AT-SPI bus come from there.
export XDG_DATA_DIRS=/usr/local/share:/usr/share XDG_CONFIG_DIRS=/etc/xdg
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY XDG_SESSION_TYPE
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0 GTK_MODULES=

# Not exec: the trap above still has to run. Debian's own Python, which has the AT-SPI bindings.
xvfb-run -a -s "-screen 0 1600x1200x24" dbus-run-session -- /usr/bin/python3 "$@"
