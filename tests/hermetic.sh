#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# hermetic.sh COMMAND...: runs COMMAND with a home and XDG folders of its own, made fresh and removed after,
# so that nothing of the user who runs the tests (a recovery file, a profile, a library index) reaches a test,
# and no test leaves anything in their folders. A server's runtime folder that the run made for its tests is
# passed in QUARN_RUNTIME_DIR.
set -u
dir=$(mktemp -d "${TMPDIR:-/tmp}/quarn-home.XXXXXX") || exit 1
for sub in home config config-dirs data state cache runtime; do mkdir "$dir/$sub" || exit 1; done
chmod 700 "$dir/runtime"
HOME="$dir/home"
XDG_CONFIG_HOME="$dir/config"
XDG_CONFIG_DIRS="$dir/config-dirs"
XDG_DATA_HOME="$dir/data"
XDG_STATE_HOME="$dir/state"
XDG_CACHE_HOME="$dir/cache"
XDG_RUNTIME_DIR="${QUARN_RUNTIME_DIR:-$dir/runtime}"
# The system's shared data (fonts, icons), as the standard defaults name it.
XDG_DATA_DIRS=/usr/local/share:/usr/share
export HOME XDG_CONFIG_HOME XDG_CONFIG_DIRS XDG_DATA_HOME XDG_STATE_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR XDG_DATA_DIRS
unset QUARN_RUNTIME_DIR
# A session manager of whoever runs the tests never hears of them; the tests that want one start their own.
unset NSM_URL
"$@"
rc=$?
rm -rf "$dir"
exit "$rc"
