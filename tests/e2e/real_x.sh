#!/usr/bin/env bash
# The desktop program on a real X server under a window manager, by mouse and keyboard as a technician
# uses it (the lists read through QRB_LIST_MIRROR): the settings dialog, a refused file, Fast Transfer by
# its accelerators and a 64 KiB image programmed, the FLASH read back to a file, and a run at the 50 ms
# pace that Alt+F4 and then the close box interrupt (No, then Yes). Screenshots land in SHOTS.
# Environment: FLASH, SIM (programs), SHOTS (folder). Exit 77 (skipped) without X.
# shellcheck source=../support/lib.sh
. "$(dirname "$0")/../support/lib.sh"

skip() { echo "SKIPPED: $*"; exit 77; }
for tool in Xvfb xdotool scrot openbox xprop xwininfo srec_cat; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done

PIDS=()
trap 'kill "${PIDS[@]}" 2>/dev/null; cleanup; wait' EXIT

fail() {
  echo "FAILED: $*" >&2
  for f in openbox.log flash.log board.log List1.txt List2.txt; do [ ! -f "$WORK/$f" ] || show "$WORK/$f"; done
  mkdir -p "$SHOTS" && scrot -o "$SHOTS/real-x-failed.png" 2>/dev/null && echo "screenshot: $SHOTS/real-x-failed.png" >&2
  exit 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
PIDS+=($!)
wait_for 10 test -s "$WORK/display" || skip "Xvfb did not start: $(tail -3 "$WORK/xvfb.log")"
export DISPLAY=":$(head -1 "$WORK/display")"
xdotool getmouselocation >/dev/null 2>&1 || skip "no connection to the X server on $DISPLAY"
openbox >"$WORK/openbox.log" 2>&1 &
PIDS+=($!)
# Its start reads fonts and a theme: slow on a busy machine.
wait_for 90 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' ||
  fail "the window manager did not start"

IMAGE=$WORK/64k.s19
srec 64k.s19 -generate 0x10000 0x20000 -repeat-string "QRB real X "
tr -d '\r' <"$IMAGE" >"$WORK/lf.s19"
BASE=0x10000 start_board --tcp 0
mkdir -p "$SHOTS"

# Under AddressSanitizer: the X keyboard library hands strndup a string without its NUL.
[ -z "${ASAN_OPTIONS:-}" ] || export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
export XDG_CONFIG_HOME=$WORK/config  # what the window remembers across starts
QT_QPA_PLATFORM=xcb QRB_LIST_MIRROR="$WORK" "$FLASH" >"$WORK/flash.log" 2>&1 &
PIDS+=($!)

# window TITLE: waits for the visible window titled exactly TITLE, focuses it, prints its id.
window() {
  local id
  # Polled: a search may meet a window (a menu) that goes while it looks.
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$id" ] && focus "$id" && echo "$id" && return 0
    sleep 0.1
  done
  return 1
}
geometry() {  # WINDOW: prints "x y width height"
  xdotool getwindowgeometry --shell "$1" | awk -F= '{ v[$1] = $2 } END { print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"] }'
}
gone() { wait_for 10 sh -c "! xdotool search --onlyvisible --name '^$1\$' >/dev/null"; }  # TITLE: no such window shown
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
# Activates the window as a click on it would, through the window manager.
focus() { xdotool windowactivate --sync "$1"; }

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
read -r mx my _ _ <<<"$(geometry "$DIALOG")"  # where the window manager put it
[ "$mx $my" != "$dx $dy" ] || fail "the dialog did not move"
xdotool key Escape
gone "COM Port Parameters" || fail "Esc did not close the settings dialog"
click "$MAIN" 64 $((MENU + 212))
DIALOG=$(window "COM Port Parameters") || fail "the settings dialog did not appear again"
at_moved_place() { read -r x y _ _ <<<"$(geometry "$DIALOG")" && [ "$x $y" = "$mx $my" ]; }
wait_for 2 at_moved_place || fail "the dialog opened at $x,$y, not at $mx,$my where it was moved to"

# "Ethernet": 32, 200 in the dialog. Tab to the address, over it, Tab to the port, over it, Enter: Initialize.
click "$DIALOG" 38 208
xdotool key Tab ctrl+a
xdotool type --delay 20 "127.0.0.1"
xdotool key Tab ctrl+a
xdotool type --delay 20 "$PORT"
xdotool key Return
wait_for 10 grep -q '^Ethernet connection' "$WORK/List2.txt" || fail "Initialize did not open the link"

# choose_file FILE: "Select Source File" (8, 160 in the client area), the path typed over the selected "*.s19", Enter.
choose_file() {
  focus "$MAIN"
  click "$MAIN" 64 $((MENU + 172))
  window "Open" >/dev/null || fail "the file dialog did not appear"
  xdotool type --delay 5 "$1"
  xdotool key Return
  gone Open || fail "Enter did not close the file dialog"
}
menu() {  # ACCELERATOR KEY: opens a menu of the main window by its accelerator and picks an item by KEY
  focus "$MAIN"
  sleep 0.3
  xdotool key "$1"
  sleep 0.3
  xdotool key "$2"
}
# fast true|false: Fast Transfer by its accelerators, as the window keeps it for the next start.
fast() {
  menu alt+o f
  wait_for 5 grep -qx "FastTransfer=$1" "$XDG_CONFIG_HOME/qrb-flash/qrb-flash.conf" || fail "Fast Transfer is not $1"
}

# A refused file: the whole reason and its likely cause beside the lists.
choose_file "$WORK/lf.s19"
focus "$MAIN"
xdotool key Tab Return  # "Program FLASH", Tab from "Select Source File"
wait_for 10 grep -qF 'S19 file refused at line 1  ###' "$WORK/List1.txt" || fail "the LF file was not refused at line 1"
sleep 0.3
scrot -o "$SHOTS/real-x-refused-file.png" || fail "no screenshot"

# Fast Transfer by its accelerators, then the 64 KiB image.
choose_file "$IMAGE"
fast true
focus "$MAIN"
start=$(date +%s%N)
xdotool key Tab Return
wait_for 60 grep -qxF 'Exit this program and Re-Boot the QRB interface.' "$WORK/List1.txt" ||
  fail "no success lines on the Status list"
grep -qxF '***  Success ***.  QRB interface FLASH Updated.' "$WORK/List1.txt" || fail "no success line"
echo "64 KiB programmed through the window with Fast Transfer: $((($(date +%s%N) - start) / 1000000)) ms (polled every 0.1 s)"
sleep 0.3
scrot -o "$SHOTS/real-x-program-flash.png" || fail "no screenshot"

# Read FLASH to File, the first item of "&File" ("&Read" and "Save Run &Report" share their key): its range
# prefilled from the chosen file, Enter; the path typed, Enter.
menu alt+f Return
window "Read FLASH to File" >/dev/null || fail "the range dialog did not appear"
xdotool key Return
wait_for 10 sh -c "xdotool search --onlyvisible --name '^Read FLASH to File\$' 2>/dev/null | grep -q ." ||
  fail "the save dialog did not appear"
sleep 0.5
xdotool type --delay 5 "$WORK/backup.s19"
xdotool key Return
wait_for 60 grep -qxF '***  Success ***.  QRB interface FLASH Read.' "$WORK/List1.txt" || fail "the FLASH was not read"
binary "$IMAGE" -offset -0x10000 >"$WORK/image.bin"
cmp <(binary "$WORK/backup.s19" -offset -0x10000) "$WORK/image.bin" || fail "the backup is not the image programmed"

# At the 50 ms pace a run long enough to close the window during it.
fast false
click "$MAIN" 64 $((MENU + 276))  # "Program FLASH": 8, 264
wait_for 30 sh -c "xdotool search --onlyvisible --name '^[1-9][0-9]*% - QRB-530 FLASH Download\$' 2>/dev/null | grep -q ." ||
  fail "no percentage in the title"
scrot -o "$SHOTS/real-x-progress.png" || fail "no screenshot"

# Alt+F4 asks; Enter answers the default, No: the run goes on.
focus "$MAIN"
xdotool key alt+F4
window "QRB-530 FLASH Download" >/dev/null || fail "Alt+F4 asked nothing"
xdotool key Return
before=$(cksum <"$WORK/List1.txt")
wait_for 10 sh -c "[ \"\$(cksum <'$WORK/List1.txt')\" != '$before' ]" || fail "the run stopped after No"
grep -q 'client disconnected' "$WORK/board.log" && fail "the board lost its client after No"

# The close box in the title bar asks again; Yes aborts the run and ends the program.
# Its right end, in the middle of the title bar's height, from where the window manager put the window.
read -r x y w < <(xwininfo -id "$MAIN" | awk -F': *' '/Absolute upper-left X/ { x = $2 } /Absolute upper-left Y/ { y = $2 }
  /Width/ { w = $2 } END { print x, y, w }')
read -r _ right top _ <<<"$(xprop -id "$MAIN" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')"
xdotool mousemove $((x + w + right - 11)) $((y - top / 2)) sleep 0.2 click 1
window "QRB-530 FLASH Download" >/dev/null || fail "the close box asked nothing"
xdotool key alt+y
wait_for 10 sh -c "! kill -0 ${PIDS[-1]} 2>/dev/null" || fail "the program did not end after Yes"
grep -qxF 'Aborting.  ProgramMode = 0.' "$WORK/List2.txt" || fail "the run was not aborted"
grep -q 'client disconnected' "$WORK/board.log" || fail "the board's log does not show the link closed"
stop_board
head -c 65536 "$WORK/flash.bin" | cmp - "$WORK/image.bin" || fail "the board's FLASH is not the image"
[ "$FAILURES" -eq 0 ] || exit 1
sed 's/^/  /' "$WORK/List2.txt" | tail -3
echo "screenshots: $SHOTS; PASSED"
