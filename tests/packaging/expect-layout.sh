#!/usr/bin/env bash
# Checks installed paths (one a line, as `dpkg -L` prints them) for every file of a package (cli: the
# package qrb-flash-cli, gui: qrb-flash, all: both); --exact: for nothing else.
# Usage: expect-layout.sh [--exact] cli|gui|all LIST
set -euo pipefail
exact=0
[ "$1" = --exact ] && { exact=1; shift; }
cli=$(cat <<'PATHS'
/usr/bin/qrb-flash-cli
/usr/bin/qrb-board-sim
/usr/share/man/man1/qrb-flash-cli.1.gz
/usr/share/man/man1/qrb-board-sim.1.gz
/usr/share/bash-completion/completions/qrb-flash-cli
/usr/share/bash-completion/completions/qrb-board-sim
/usr/share/doc/qrb-flash-cli/copyright
/usr/share/doc/qrb-flash-cli/changelog.gz
/usr/share/doc/qrb-flash-cli/README
/usr/share/doc/qrb-flash-cli/examples/qrb-example.s19
PATHS
)
gui=$(cat <<'PATHS'
/usr/bin/qrb-flash
/usr/share/applications/qrb-flash.desktop
/usr/share/icons/hicolor/64x64/apps/qrb-flash.png
/usr/share/metainfo/com.example.qrb_flash.metainfo.xml
/usr/share/man/man1/qrb-flash.1.gz
/usr/share/doc/qrb-flash/copyright
/usr/share/doc/qrb-flash/changelog.gz
PATHS
)
case "$1" in
  cli) expected=$cli ;;
  gui) expected=$gui ;;
  all) expected="$cli"$'\n'"$gui" ;;
  *) echo "expect-layout.sh: cli, gui or all, not $1" >&2; exit 2 ;;
esac
status=0
if grep -vxF -f "$2" <<<"$expected" | sed 's/^/not installed: /' >&2; then status=1; fi
if [ "$exact" = 1 ] && grep -vxF -f <(echo "$expected") "$2" | sed 's/^/installed but not expected: /' >&2; then
  status=1
fi
exit "$status"
