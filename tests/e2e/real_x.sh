#!/usr/bin/env bash
# The desktop program on a real X server, by mouse and keyboard as a technician uses it, up to
# the success lines of "Program FLASH" (read through QRB_LIST_MIRROR); a screenshot lands in SHOT.
# Environment: FLASH, SIM (programs), IMAGE (S19 file), SHOT (PNG). Exit 77 (skipped) without X.
# shellcheck source=../support/lib.sh
. "$(dirname "$0")/../support/lib.sh"

skip() { echo "SKIPPED: $*"; exit 77; }
for tool in Xvfb xdotool scrot; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done

PIDS=()
trap 'kill "${PIDS[@]}" 2>/dev/null; cleanup; wait' EXIT

fail() {
  echo "FAILED: $*" >&2
  for f in flash.log board.log List1.txt List2.txt; do
    [ -f "$WORK/$f" ] && { echo "--- $f" >&2; cat "$WORK/$f" >&2; }
  done
  scrot -o "$SHOT" 2>/dev/null && echo "screenshot: $SHOT" >&2
  exit 1
}

wait_for() {  # SECONDS COMMAND...: polls COMMAND every 0.1 s
  for _ in $(seq $(($1 * 10))); do "${@:2}" && return 0; sleep 0.1; done
  return 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
PIDS+=($!)
wait_for 10 test -s "$WORK/display" || skip "Xvfb did not start: $(tail -3 "$WORK/xvfb.log")"
export DISPLAY=":$(head -1 "$WORK/display")"
xdotool getmouselocation >/dev/null 2>&1 || skip "no connection to the X server on $DISPLAY"

start_board --tcp 0

# Under AddressSanitizer: the X keyboard library hands strndup a string without its NUL.
[ -z "${ASAN_OPTIONS:-}" ] || export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
QT_QPA_PLATFORM=xcb QRB_LIST_MIRROR="$WORK" "$FLASH" >"$WORK/flash.log" 2>&1 &
PIDS+=($!)

# window TITLE: waits for the visible window titled exactly TITLE, focuses it, prints its id.
window() {
  local id
  id=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -1) && focus "$id" && echo "$id"
}
geometry() {  # WINDOW: prints "x y width height"
  xdotool getwindowgeometry --shell "$1" | awk -F= '{ v[$1] = $2 } END { print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"] }'
}
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
# Without a window manager the test gives the input focus as one would on showing a window.
focus() { xdotool windowfocus --sync "$1"; }

MAIN=$(window "QRB-530 FLASH Download") || fail "the main window did not appear"
read -r _ _ _ main_h <<<"$(geometry "$MAIN")"
MENU=$((main_h - 434))  # the menu bar above the 448 x 434 client area

# "Select Data Pipe": 8, 200, 113 x 25 in the client area.
click "$MAIN" 64 $((MENU + 212))
DIALOG=$(window "COM Port Parameters") || fail "the settings dialog did not appear"
read -r dx dy _ _ <<<"$(geometry "$DIALOG")"

# The user drags it elsewhere and cancels; shown again, it is where he put it.
xdotool windowmove --sync "$DIALOG" $((dx + 40)) $((dy + 30))
sleep 0.5  # the program hears of the move
xdotool key Escape
wait_for 10 sh -c "! xdotool search --onlyvisible --name '^COM Port Parameters\$' >/dev/null" ||
  fail "Esc did not close the settings dialog"
click "$MAIN" 64 $((MENU + 212))
DIALOG=$(window "COM Port Parameters") || fail "the settings dialog did not appear again"
at_moved_place() { read -r x y _ _ <<<"$(geometry "$DIALOG")" && [ "$x $y" = "$((dx + 40)) $((dy + 30))" ]; }
wait_for 2 at_moved_place || fail "the dialog opened at $x,$y, not at $((dx + 40)),$((dy + 30)) where it was moved to"

# "Ethernet": 32, 200 in the dialog. Tab to the address, over it, Tab to the port, over it, Enter: Initialize.
click "$DIALOG" 38 208
xdotool key Tab ctrl+a
xdotool type --delay 20 "127.0.0.1"
xdotool key Tab ctrl+a
xdotool type --delay 20 "$PORT"
xdotool key Return
wait_for 10 grep -q '^Ethernet connection' "$WORK/List2.txt" || fail "Initialize did not open the link"

# "Select Source File": 8, 160 in the client area; the path typed over the selected "*.s19", Enter.
focus "$MAIN"
click "$MAIN" 64 $((MENU + 172))
window "Open" >/dev/null || fail "the file dialog did not appear"
xdotool type --delay 10 "$IMAGE"
xdotool key Return
wait_for 10 sh -c "! xdotool search --onlyvisible --name '^Open\$' >/dev/null" || fail "Enter did not close the file dialog"

# "Program FLASH": Tab from "Select Source File", Enter.
focus "$MAIN"
xdotool key Tab Return
wait_for 60 grep -qxF 'Exit this program and Re-Boot the QRB interface.' "$WORK/List1.txt" ||
  fail "no success lines on the Status list"
grep -qxF '***  Success ***.  QRB interface FLASH Updated.' "$WORK/List1.txt" || fail "no success line"
sleep 0.3  # the last repaint
mkdir -p "$(dirname "$SHOT")"
scrot -o "$SHOT" || fail "no screenshot"
sed 's/^/  /' "$WORK/List1.txt"
echo "screenshot: $SHOT; PASSED"
