#!/usr/bin/env bash
# Checks a list of installed paths (one absolute path a line, as `dpkg -L`
# prints them) for every file the package must install. With --exact, the
# list (files only) must hold nothing else either.
# Usage: expect-layout.sh [--exact] LIST
set -euo pipefail
exact=0
[ "$1" = --exact ] && { exact=1; shift; }
list=$1

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
while read -r path; do
  grep -qxF "$path" "$list" || { echo "not installed: $path" >&2; status=1; }
done <<<"$expected"
if [ "$exact" -eq 1 ]; then
  while read -r path; do
    grep -qxF "$path" <<<"$expected" || { echo "installed but not expected: $path" >&2; status=1; }
  done <"$list"
fi
exit "$status"
