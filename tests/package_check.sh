#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a finished build, checks what it declares and holds, has lintian and
# appstreamcli judge it, then unpacks it into a throwaway root (dpkg -x: nothing on the machine changes) and
# runs the installed program from there.
# usage: package_check.sh BUILD_DIR PROGRAM_DIR  (PROGRAM_DIR relative to /usr, e.g. lib/quarnedit)
set -u
export LC_ALL=C  # sorted lists are compared as bytes
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
programdir=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quarn package.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# shellcheck source=tests/window_check.sh
. "$(dirname "$0")/window_check.sh"
# The profile and the recovery files of the runs below stay in the throwaway folder.
export XDG_CONFIG_HOME="$tmp/config" XDG_STATE_HOME="$tmp/state"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; exit 1; }

# The package's version follows the program's: "1.1 beta 6" is 1.1~beta6, which dpkg sorts before 1.1.
text=$("$build/quarnedit" --version) || { echo "the build's program does not run"; exit 1; }
text=${text#QuarnEdit Version }
release=${text%% *}
prerelease=$(printf '%s' "${text#"$release"}" | tr -d ' ' | tr '[:upper:]' '[:lower:]')
version=$release${prerelease:+~$prerelease}
if [ -n "$prerelease" ]; then
    dpkg --compare-versions "$version" lt "$release" || fail "$version does not sort before $release"
fi
arch=$(dpkg --print-architecture)
deb="$tmp/out/quarnedit_${version}_$arch.deb"
[ "$(ls "$tmp/out"/*.deb)" = "$deb" ] || { fail "expected $(basename "$deb"), got: $(ls "$tmp/out")"; exit 1; }
echo "$(basename "$deb"): $(wc -c <"$deb") bytes"

expected="Package: quarnedit
Version: $version
Architecture: $arch
Section: sound
Priority: optional
Suggests: jackd2 | pipewire-jack"
fields=$(dpkg-deb -f "$deb" Package Version Architecture Section Priority Suggests)
[ "$fields" = "$expected" ] || fail "control fields:
$fields
expected:
$expected"
# Computed from the binaries: what they link must be there, and nothing from the build's tools.
depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n' | sed 's/^ *//; s/ .*//' | sort -u)
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 librtmidi6 libasound2 libjack-jackd2-0 liblo7; do
    echo "$depends" | grep -qx "$lib" || fail "Depends lacks $lib: $(dpkg-deb -f "$deb" Depends)"
done
echo "$depends" | grep -E -e '-dev$|gtest|gmock|benchmark' && fail "Depends names build tools"

dpkg -x "$deb" "$tmp/root" || { fail "dpkg -x failed"; exit 1; }
root="$tmp/root"
contents=$(cd "$root" && find . ! -type d | sort)
expected=$(sort <<EOF
./usr/bin/quarnedit
./usr/$programdir/quarnedit
./usr/$programdir/Selvane.DLL
./usr/$programdir/default.qnp
./usr/share/applications/quarnedit.desktop
./usr/share/doc/quarnedit/changelog.gz
./usr/share/doc/quarnedit/copyright
./usr/share/icons/hicolor/scalable/apps/quarnedit.svg
./usr/share/man/man1/quarnedit.1.gz
./usr/share/metainfo/io.github.quarnedit.QuarnEdit.metainfo.xml
EOF
)
[ "$contents" = "$expected" ] || fail "contents:
$contents
expected:
$expected"
[ "$(readlink "$root/usr/bin/quarnedit")" = "../$programdir/quarnedit" ] ||
    fail "the launcher leads to $(readlink "$root/usr/bin/quarnedit")"
cmp "$root/usr/$programdir/default.qnp" "$build/default.qnp" || fail "the packaged default.qnp is not the build's"
gzip -dc "$root/usr/share/man/man1/quarnedit.1.gz" | cmp - "$source/resources/quarnedit.1" ||
    fail "the packaged man page is not resources/quarnedit.1"

# The installed program, run through its launcher from elsewhere, against the build's.
out=$("$root/usr/bin/quarnedit" --version 2>&1) || fail "--version failed: $out"
[ "$out" = "QuarnEdit Version $text" ] || fail "--version said: $out"
"$build/quarnedit" --export-midi "$build/default.qnp" "$tmp/built.mid" || fail "the build's export failed"
out=$(cd / && "$root/usr/bin/quarnedit" --export-midi "$root/usr/$programdir/default.qnp" "$tmp/installed.mid" 2>&1) ||
    fail "--export-midi failed: $out"
cmp "$tmp/installed.mid" "$tmp/built.mid" || fail "the installed program exports another MIDI file"
# The quick-load library beside the program: every symbol it needs resolves, and it offers its entry point.
dll="$root/usr/$programdir/Selvane.DLL"
out=$(ldd -r "$dll" 2>&1) || fail "ldd -r failed: $out"
echo "$out" | grep -E 'not found|undefined symbol' && fail "Selvane.DLL does not load"
nm -D --defined-only "$dll" | grep -qw RunQuickLoadMenuA || fail "Selvane.DLL has no RunQuickLoadMenuA"

# The window, started through the unpacked launcher, opens the default patch beside the real program.
check_window_opens "$root/usr/bin/quarnedit" "$root/usr/$programdir/default.qnp"

# The licence: Debian's machine-readable copyright naming the common GPL text, the metadata saying the same, and
# a release entry for this very version.
copyright="$root/usr/share/doc/quarnedit/copyright"
head -n 1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in the machine-readable format"
grep -q '^License: GPL-3+$' "$copyright" && grep -q '/usr/share/common-licenses/GPL-3' "$copyright" ||
    fail "the copyright file does not grant the GPL-3+"
meta="$root/usr/share/metainfo/io.github.quarnedit.QuarnEdit.metainfo.xml"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$meta" || fail "the metadata names another licence"
grep -q "<release version=\"$version\"" "$meta" || fail "the metadata has no release entry for $version"
cmp -s "$source/COPYING" /usr/share/common-licenses/GPL-3 || fail "COPYING is not the GPL's text"

appstreamcli validate --no-net --strict --pedantic "$root/usr/share/metainfo/io.github.quarnedit.QuarnEdit.metainfo.xml" ||
    fail "the AppStream metadata does not validate"
desktop-file-validate "$root/usr/share/applications/quarnedit.desktop" || fail "the desktop entry does not validate"
# Errors fail the package; the warnings kept are listed, with the reason, in the README.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors"

[ "$failures" -eq 0 ] && echo "package OK"
exit "$failures"
