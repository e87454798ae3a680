#!/usr/bin/env bash
# qrb-flash-cli with stdout and stderr on one pseudo-terminal, the screen rendered as a terminal
# draws it: the progress line never leaves a trace, also when Ctrl-C stops the run.
# Usage: terminal.sh progress|ctrl-c
. "$(dirname "$0")/../support/lib.sh"

# 150 blocks: the progress line ("block 120 of 150, ... bytes/s, 0:00 left") outgrows "-- Verified.".
srec image.s19 -generate 0x10000 0x19600 -repeat-string "QRB terminal " -- -address-length=3 -obs=32
start_board --tcp 0 --mode flash

# on_terminal CTRL-C-AFTER-S args...: prints the rendered screen, then "exit N" and
# "escapes N" (the escape codes written). TERM is xterm unless set in TERM_KIND.
on_terminal() {
  TERM=${TERM_KIND:-xterm} \
  python3 - "$CLI" "$@" <<'PY'
import os, pty, select, sys, time
cli, stop_after, args = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
pid, fd = pty.fork()
if pid == 0:
    os.execv(cli, [cli] + args)
raw, start, pressed = b"", time.monotonic(), False
while True:
    if stop_after > 0 and not pressed and time.monotonic() - start > stop_after:
        os.write(fd, b"\x03")  # Ctrl-C: the terminal sends SIGINT
        pressed = True
    if not select.select([fd], [], [], 0.05)[0]:
        continue
    try:
        chunk = os.read(fd, 65536)
    except OSError:
        break
    if not chunk:
        break
    raw += chunk
_, status = os.waitpid(pid, 0)
screen, col = [""], 0
text = raw.decode().replace("\x1b[K", "\x00").replace("^C", "")
for c in text:
    if c == "\r": col = 0
    elif c == "\n": screen.append(""); col = 0
    elif c == "\x00": screen[-1] = screen[-1][:col]
    else:
        line = screen[-1].ljust(col)
        screen[-1] = line[:col] + c + line[col + 1:]
        col += 1
print("\n".join(l for l in screen if l))
print("exit", os.waitstatus_to_exitcode(status))
print("escapes", raw.count(b"\x1b"))
PY
}

case "$1" in
  progress)  # a whole run: the screen holds the run's lines and nothing else
    on_terminal 0 program "$WORK/image.s19" --tcp "127.0.0.1:$PORT" --tick 1 >"$WORK/screen"
    grep -qx "exit 0" "$WORK/screen" || fail "progress: the run failed"
    grep -qxF "***  Success ***.  QRB interface FLASH Updated." "$WORK/screen" || fail "progress: no success line"
    [ "$(grep -cxF "$VERIFIED" "$WORK/screen")" = 150 ] ||
      fail "progress: not 150 clean '-- Verified.' lines"
    grep -E "bytes/s|^block " "$WORK/screen" && fail "progress: the progress line left a trace"
    grep -qx "escapes 0" "$WORK/screen" && fail "progress: no progress line was drawn"
    # A terminal that cannot redraw a line, or -q: not one escape code, the same lines.
    TERM_KIND=dumb on_terminal 0 program "$WORK/image.s19" --tcp "127.0.0.1:$PORT" --tick 1 >"$WORK/dumb"
    on_terminal 0 program "$WORK/image.s19" --tcp "127.0.0.1:$PORT" --tick 1 -q >"$WORK/quiet"
    for kind in dumb quiet; do
      grep -qx "escapes 0" "$WORK/$kind" || fail "progress: $kind: $(tail -n 1 "$WORK/$kind")"
      grep -qx "exit 0" "$WORK/$kind" || fail "progress: $kind: the run failed"
    done
    ;;
  quiet)  # -q: stderr empty on a success; the Debug list after all when the run fails
    cli quiet program "$WORK/image.s19" --tcp "127.0.0.1:$PORT" --tick 1 -q
    expect_success quiet program
    expect_empty quiet err
    stop_board
    start_board --tcp 0 --mode flash --silent-from 3
    cli quiet-fails program "$WORK/image.s19" --tcp "127.0.0.1:$PORT" --tick 1 --quiet
    expect_rc quiet-fails 1
    expect_contains quiet-fails err "Timeout reading data."
    ;;
  ctrl-c)  # Ctrl-C in the middle of the run: the Abort lines, no progress line after them
    on_terminal 1 program "$WORK/image.s19" --tcp "127.0.0.1:$PORT" >"$WORK/screen"
    grep -qx "exit 130" "$WORK/screen" || fail "ctrl-c: $(tail -n 2 "$WORK/screen")"
    tail -n 5 "$WORK/screen" | head -n 3 >"$WORK/end"
    printf '%s\n' "Aborting.  ProgramMode = 0." "Aborted processing." "Ethernet connection closed." |
      diff - "$WORK/end" >&2 || fail "ctrl-c: the screen does not end with the Abort lines"
    grep -E "bytes/s|^block " "$WORK/screen" && fail "ctrl-c: the progress line left a trace"
    ;;
  *) echo "unknown case $1" >&2; exit 2 ;;
esac
finish
