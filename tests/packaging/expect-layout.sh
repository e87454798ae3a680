#!/usr/bin/env bash
# Checks installed paths (one a line, as `dpkg -L` prints them) for every file; --exact: for nothing else.
# Usage: expect-layout.sh [--exact] LIST
set -euo pipefail
exact=0
[ "$1" = --exact ] && { exact=1; shift; }
expected=$(cat <<'PATHS'
/usr/bin/qrb-flash
/usr/bin/qrb-flash-cli
/usr/bin/qrb-board-sim
/usr/share/applications/qrb-flash.desktop
/usr/share/icons/hicolor/64x64/apps/qrb-flash.png
/usr/share/man/man1/qrb-flash.1.gz
/usr/share/man/man1/qrb-flash-cli.1.gz
/usr/share/man/man1/qrb-board-sim.1.gz
/usr/share/bash-completion/completions/qrb-flash-cli
/usr/share/bash-completion/completions/qrb-board-sim
/usr/share/doc/qrb-flash/copyright
/usr/share/doc/qrb-flash/changelog.gz
PATHS
)
status=0
if grep -vxF -f "$1" <<<"$expected" | sed 's/^/not installed: /' >&2; then status=1; fi
if [ "$exact" = 1 ] && grep -vxF -f <(echo "$expected") "$1" | sed 's/^/installed but not expected: /' >&2; then
  status=1
fi
exit "$status"
