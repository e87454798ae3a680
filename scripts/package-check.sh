#!/usr/bin/env bash
# Checks the two Debian packages that `make package` built: lintian (pedantic,
# with the hardening checks), BIND_NOW in every program, the command-line
# package free of the GUI libraries (its Depends, their closure, ldd); then
# installs qrb-flash-cli alone and uses it, installs qrb-flash on top and uses
# it, and purges both, checking that nothing is left. Needs root or sudo.
# Usage: scripts/package-check.sh [BUILD]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
newest() { ls -t "$build"/"$1"_*.deb 2>/dev/null | head -n 1 || true; }
cli_deb=$(newest qrb-flash-cli) gui_deb=$(newest qrb-flash)
[ -n "$cli_deb" ] && [ -n "$gui_deb" ] ||
  { echo "package-check: no $build/qrb-flash-cli_*.deb and $build/qrb-flash_*.deb; run make package first" >&2; exit 2; }
cli_deb=$(realpath "$cli_deb") gui_deb=$(realpath "$gui_deb")
version=$(dpkg-deb -f "$cli_deb" Version)
fail() { echo "package-check: $*" >&2; exit 1; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for package in qrb-flash qrb-flash-cli; do
  if installed "$package"; then
    echo "package-check: $package is installed on this machine; remove it first (apt-get remove $package)" >&2
    exit 2
  fi
done
scripts/install-deps.sh man-db lintian binutils  # man -w, Debian's own package checks, readelf

apt=(env DEBIAN_FRONTEND=noninteractive apt-get -y -qq)
[ "$(id -u)" -eq 0 ] || apt=(sudo "${apt[@]}")
work=$(mktemp -d)
cleanup() {
  for package in qrb-flash qrb-flash-cli; do installed "$package" && "${apt[@]}" purge "$package" >/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

echo "---- lintian -I --pedantic"
lint=0
lintian -I --pedantic --fail-on error,warning "$cli_deb" "$gui_deb" >"$work/lintian" 2>&1 || lint=$?
grep -v 'running with root privileges' "$work/lintian" || true
[ "$lint" -eq 0 ] || fail "lintian finds faults"
if grep -q 'hardening' "$work/lintian"; then fail "lintian names a hardening fault"; fi

echo "---- BIND_NOW, fortified functions, stack protector"
for deb in "$cli_deb" "$gui_deb"; do dpkg-deb -x "$deb" "$work/root"; done
for program in qrb-flash qrb-flash-cli qrb-board-sim; do
  dynamic=$(readelf -d "$work/root/usr/bin/$program")
  grep -qE 'BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || fail "$program is not linked with BIND_NOW"
  symbols=$(readelf --dyn-syms -W "$work/root/usr/bin/$program")
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
  grep -q '_chk@' <<<"$symbols" || fail "$program calls no fortified function"
  echo "$program: BIND_NOW, stack protector, fortified functions"
done

echo "---- qrb-flash-cli needs no GUI library"
gui_libraries='libqt6gui|libqt6widgets|libqt6opengl|qt6-qpa-plugins|libx11|libgl1|libegl|libxcb'
depends=$(dpkg-deb -f "$cli_deb" Depends)
echo "Depends: $depends"
if grep -qE "$gui_libraries" <<<"$depends"; then fail "qrb-flash-cli depends on a GUI library"; fi
# Everything those dependencies pull in: on this machine the GUI libraries
# are installed (the build needs them), so the proof is the closure, not a
# bare machine.
names=$(tr ',' '\n' <<<"$depends" | sed 's/[(|].*//; s/ //g' | sed '/^$/d')
# shellcheck disable=SC2086
apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
  --no-enhances $names | grep -v '^ ' | sed 's/:.*//' | sort -u >"$work/closure"
if grep -E "^($gui_libraries)" "$work/closure"; then fail "qrb-flash-cli pulls in a GUI library"; fi
echo "qrb-flash-cli pulls in $(wc -l <"$work/closure") packages, none of them a GUI library"
for program in qrb-flash-cli qrb-board-sim; do
  if ldd "$work/root/usr/bin/$program" | grep -E 'libQt6(Gui|Widgets|OpenGL)|libX11|libGL[.X]|libEGL|libxcb'; then
    fail "$program loads a GUI library"
  fi
done

# Minimal Debian images keep no manual pages or documents (path-exclude=
# /usr/share/man/* and /usr/share/doc/* in /etc/dpkg/dpkg.cfg.d); ours are
# included again, the command line wins.
install_deb() {
  "${apt[@]}" --no-install-recommends -o 'DPkg::Options::=--path-include=/usr/share/man/man1/qrb-*' \
    -o 'DPkg::Options::=--path-include=/usr/share/doc/qrb-flash*' install "$1"
}
listed() {  # PACKAGE cli|gui: dpkg -L holds the package's files, all on disk
  dpkg -L "$1" | tee "$work/list-$1"
  tests/packaging/expect-layout.sh "$2" "$work/list-$1"
  while read -r path; do
    [ -e "$path" ] || fail "$path is listed but not on disk"
  done <"$work/list-$1"
}

echo "---- Installing $cli_deb alone"
install_deb "$cli_deb"
installed qrb-flash && fail "installing qrb-flash-cli installed qrb-flash"
listed qrb-flash-cli cli

echo "---- qrb-flash-cli --version"
/usr/bin/qrb-flash-cli --version | tee "$work/version"
[ "$(cat "$work/version")" = "qrb-flash-cli $version" ] || fail "expected version $version"

echo "---- man -w, bash completion"
for page in qrb-flash-cli qrb-board-sim; do
  [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "man -w $page"
  echo "$page: $(man -w "$page")"
  bash -c ". /usr/share/bash-completion/completions/$page && complete -p $page"
done

echo "---- The demo with the installed programs"
BIN=/usr/bin scripts/demo.sh
echo "---- The installed example, checked"
/usr/bin/qrb-flash-cli check /usr/share/doc/qrb-flash-cli/examples/qrb-example.s19

echo "---- Installing $gui_deb"
install_deb "$gui_deb"
listed qrb-flash gui
[ "$(man -w qrb-flash)" = /usr/share/man/man1/qrb-flash.1.gz ] || fail "man -w qrb-flash"
appstreamcli validate --no-net /usr/share/metainfo/com.example.qrb_flash.metainfo.xml

echo "---- qrb-flash --version without a display; the window starts (offscreen, stopped after 2 s)"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/qrb-flash --version)" = "qrb-flash $version" ] ||
  fail "qrb-flash --version"
rc=0
QT_QPA_PLATFORM=offscreen timeout 2 /usr/bin/qrb-flash || rc=$?
[ "$rc" -eq 124 ] || fail "qrb-flash ended with status $rc"

echo "---- Removing both"
"${apt[@]}" purge qrb-flash qrb-flash-cli
for package in qrb-flash qrb-flash-cli; do installed "$package" && fail "$package is still installed"; done
cat "$work/list-qrb-flash-cli" "$work/list-qrb-flash" | while read -r path; do
  [ -d "$path" ] || [ ! -e "$path" ] || fail "$path left behind"
done
echo "Package check passed: $(basename "$cli_deb") and $(basename "$gui_deb") built hardened, installed one after the other, used and removed."
