#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# private_shm.sh COMMAND...: runs COMMAND with a /dev/shm of its own, in private mount and IPC namespaces
# (as root), and tells it so through QUARN_OWN_SHM=1. What a test leaves there (a locked JACK database)
# goes with it. Without the namespaces COMMAND runs as it is, and such tests skip.
if unshare --mount --ipc --propagation private true 2>/dev/null; then
    # shellcheck disable=SC2016 # expanded by the inner shell
    exec unshare --mount --ipc --propagation private sh -c \
        'mount -t tmpfs -o mode=1777 quarn-test-shm /dev/shm && QUARN_OWN_SHM=1 exec "$@"' sh "$@"
fi
exec "$@"
