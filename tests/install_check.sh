#!/bin/sh
# Installs the build into a fresh prefix and checks that the installed program works from the PATH:
# usage: install_check.sh BUILD_DIR PROGRAM_DIR  (PROGRAM_DIR relative to the prefix, e.g. lib/quarnedit)
set -u
export LC_ALL=C  # names are compared as bytes
build=$1
programdir=$2
# A prefix with a space, a non-ASCII letter and a byte that is not UTF-8: every path below must pass
# through unchanged.
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quarn install.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/prefix dir $(printf '\303\251 \377')"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; exit 1; }
# A second install over the first must succeed too (the launcher link already exists).
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; exit 1; }

for f in "$programdir/quarnedit" "$programdir/Selvane.DLL" "$programdir/default.qnp" \
         share/applications/quarnedit.desktop share/icons/hicolor/scalable/apps/quarnedit.svg \
         share/man/man1/quarnedit.1; do
    [ -f "$prefix/$f" ] || fail "missing $f"
done
[ -x "$prefix/$programdir/quarnedit" ] || fail "program not executable"
[ -L "$prefix/bin/quarnedit" ] || fail "bin/quarnedit is not a link"
[ "$(readlink -f "$prefix/bin/quarnedit")" = "$(readlink -f "$prefix/$programdir/quarnedit")" ] ||
    fail "bin/quarnedit does not lead to the program"
case $(readlink "$prefix/bin/quarnedit") in /*) fail "the launcher link is absolute" ;; esac
[ "$(wc -c <"$prefix/$programdir/default.qnp")" -eq 2767 ] || fail "default.qnp is not a patch file"
grep -q "$prefix/bin/quarnedit" "$build/install_manifest.txt" || fail "the launcher is not in the manifest"
# Nothing but the link may lie in bin: the data files belong beside the program.
[ "$(ls "$prefix/bin")" = quarnedit ] || fail "bin holds more than the launcher: $(ls "$prefix/bin")"

version=$("$prefix/bin/quarnedit" --version 2>&1) || fail "--version failed"
[ "$version" = "QuarnEdit Version 1.1 beta 6" ] || fail "--version said: $version"

# Run from elsewhere, so that nothing is found in the working directory by chance.
out=$(cd / && "$prefix/bin/quarnedit" --export-midi "$prefix/$programdir/default.qnp" "$tmp/out file.mid" 2>&1) ||
    fail "--export-midi failed: $out"
[ -f "$tmp/out file.mid" ] && [ "$(wc -c <"$tmp/out file.mid")" -eq 364 ] || fail "exported MIDI file is not 364 bytes"

desktop-file-validate "$prefix/share/applications/quarnedit.desktop" || fail "desktop file does not validate"
if command -v groff >/dev/null 2>&1; then
    warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/quarnedit.1" 2>&1)
    [ -z "$warnings" ] || fail "man page: $warnings"
fi

# The window, started through the launcher link, must open the default patch beside the real program.
# It waits at its transmit question, so it is watched until it opens the file (at most 20 s), then ended.
if command -v strace >/dev/null 2>&1 && strace -o /dev/null true 2>/dev/null; then
    mkdir -p "$tmp/config"
    patch=$(readlink -f "$prefix/$programdir")/default.qnp
    (cd / && XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp" QT_QPA_PLATFORM=offscreen JACK_NO_START_SERVER=1 \
        JACK_DEFAULT_SERVER=quarn-install-check-none \
        strace -f -qq -e trace=openat -P "$patch" -o "$tmp/trace" \
        sh -c 'echo $$ >"$1" && exec "$2"' sh "$tmp/pid" "$prefix/bin/quarnedit" </dev/null >"$tmp/gui.log" 2>&1) &
    tracer=$!
    opened='openat(.*) = [0-9]'
    i=0
    while [ $i -lt 200 ] && ! grep -aq "$opened" "$tmp/trace" 2>/dev/null && kill -0 $tracer 2>/dev/null; do
        sleep 0.1
        i=$((i + 1))
    done
    grep -aq "$opened" "$tmp/trace" || fail "the window did not open $programdir/default.qnp: $(cat "$tmp/trace" "$tmp/gui.log")"
    [ -s "$tmp/pid" ] && kill "$(cat "$tmp/pid")" 2>/dev/null
    { wait $tracer; } 2>/dev/null
else
    echo "strace cannot trace here: the window's lookup of default.qnp is not checked"
fi

[ "$failures" -eq 0 ] && echo "install layout OK"
exit "$failures"
