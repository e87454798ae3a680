#!/usr/bin/env bash
# Checks the Debian package that `make package` built with lintian, installs
# it, uses the installed programs (version, manual pages, completion, the
# window, the demo's run), shows what the package holds, and removes it
# again. Needs root or sudo.
# Usage: scripts/package-check.sh [BUILD]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
deb=$(ls -t "$build"/qrb-flash_*.deb 2>/dev/null | head -n 1 || true)
[ -n "$deb" ] || { echo "package-check: no $build/qrb-flash_*.deb; run make package first" >&2; exit 2; }
deb=$(realpath "$deb")
version=$(dpkg-deb -f "$deb" Version)

installed() { dpkg-query -W -f='${Status}' qrb-flash 2>/dev/null | grep -q 'install ok installed'; }
if installed; then
  echo "package-check: qrb-flash is installed on this machine; remove it first (apt-get remove qrb-flash)" >&2
  exit 2
fi
scripts/install-deps.sh man-db lintian  # man -w, Debian's own package checks

apt=(env DEBIAN_FRONTEND=noninteractive apt-get -y -qq)
[ "$(id -u)" -eq 0 ] || apt=(sudo "${apt[@]}")
work=$(mktemp -d)
cleanup() {
  installed && "${apt[@]}" purge qrb-flash >/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

echo "---- lintian"
lint=0
lintian --fail-on error,warning "$deb" >"$work/lintian" 2>&1 || lint=$?
grep -v 'running with root privileges' "$work/lintian" || true
[ "$lint" -eq 0 ] || { echo "package-check: lintian finds faults" >&2; exit 1; }

echo "---- Installing $deb"
# Minimal Debian images keep no manual pages or documents (path-exclude=
# /usr/share/man/* and /usr/share/doc/* in /etc/dpkg/dpkg.cfg.d); ours are
# included again, the command line wins.
"${apt[@]}" --no-install-recommends -o 'DPkg::Options::=--path-include=/usr/share/man/man1/qrb-*' \
  -o 'DPkg::Options::=--path-include=/usr/share/doc/qrb-flash/*' install "$deb"

echo "---- dpkg -L qrb-flash"
dpkg -L qrb-flash | tee "$work/list"
tests/packaging/expect-layout.sh "$work/list"
while read -r path; do
  [ -e "$path" ] || { echo "package-check: $path is listed but not on disk" >&2; exit 1; }
done <"$work/list"

echo "---- qrb-flash-cli --version"
/usr/bin/qrb-flash-cli --version | tee "$work/version"
[ "$(cat "$work/version")" = "qrb-flash-cli $version" ] || { echo "package-check: expected version $version" >&2; exit 1; }

echo "---- man -w"
for page in qrb-flash qrb-flash-cli qrb-board-sim; do
  [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || { echo "package-check: man -w $page" >&2; exit 1; }
  echo "$page: $(man -w "$page")"
done

echo "---- bash completion"
for program in qrb-flash-cli qrb-board-sim; do
  bash -c ". /usr/share/bash-completion/completions/$program && complete -p $program"
done

echo "---- qrb-flash starts (offscreen, stopped after 2 s)"
rc=0
QT_QPA_PLATFORM=offscreen timeout 2 /usr/bin/qrb-flash || rc=$?
[ "$rc" -eq 124 ] || { echo "package-check: qrb-flash ended with status $rc" >&2; exit 1; }

echo "---- The demo with the installed programs"
BIN=/usr/bin scripts/demo.sh

echo "---- Removing qrb-flash"
"${apt[@]}" purge qrb-flash
installed && { echo "package-check: qrb-flash is still installed" >&2; exit 1; }
while read -r path; do
  [ -d "$path" ] || [ ! -e "$path" ] || { echo "package-check: $path left behind" >&2; exit 1; }
done <"$work/list"
echo "Package check passed: $(basename "$deb") installed, used and removed."
