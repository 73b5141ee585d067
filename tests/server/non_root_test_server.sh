#!/usr/bin/env bash
# The throwaway test server for a user who is not root: it starts, lets the
# account it made in over TCP, stops without leaving its data behind, and a start
# that fails leaves nothing either. Needs root to become user nobody (else 77).
set -euo pipefail
source_root=$1
[ "$(id -u)" = 0 ] && command -v setpriv >/dev/null || { echo "skipped: needs root and setpriv"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
cp "$source_root/scripts/test-server" "$work/test-server"
mkdir -p "$work/state" "$work/tmp" "$work/home" "$work/bin"
chown 65534:65534 "$work/state" "$work/tmp" "$work/home"

as_nobody() {
  setpriv --reuid=65534 --regid=65534 --clear-groups \
    env -u USER HOME="$work/home" TMPDIR="$work/tmp" PATH="$1" bash "$work/test-server" "$2" "$work/state"
}

as_nobody "$PATH" start
# shellcheck disable=SC1091
. "$work/state/env"
mariadb --no-defaults -h "$host" -P "$port" -u "$user" -p"$password" -N -e 'SELECT 1' | grep -qx 1
data=$(cat "$work/state/datadir")
as_nobody "$PATH" stop
[ ! -e "$data" ] || { echo "the data folder outlived stop: $data"; exit 1; }

# A daemon that cannot start: the start fails and removes what it made.
printf '#!/bin/sh\nexit 1\n' > "$work/bin/mariadbd"
chmod 755 "$work/bin/mariadbd"
if as_nobody "$work/bin:$PATH" start 2>/dev/null; then
  echo "a start without a daemon succeeded"; exit 1
fi
[ -z "$(ls -A "$work/tmp")" ] || { echo "a failed start left: $(ls -A "$work/tmp")"; exit 1; }
[ ! -e "$work/state/env" ] && [ ! -e "$work/state/datadir" ] || { echo "a failed start left its state"; exit 1; }
echo "passed"
