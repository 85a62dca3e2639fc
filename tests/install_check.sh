#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
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
# shellcheck source=tests/window_check.sh
. "$(dirname "$0")/window_check.sh"

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
check_window_opens "$prefix/bin/quarnedit" "$(readlink -f "$prefix/$programdir")/default.qnp"

[ "$failures" -eq 0 ] && echo "install layout OK"
exit "$failures"
