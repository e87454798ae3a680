#!/usr/bin/env bash
# The front end where its surroundings fail it.
# Usage: hostile.sh CASE
. "$(dirname "$0")/../support/lib.sh"

srec two.s19 -generate 0x1000 0x1140 -repeat-data 0x01 0x02 0x03 -- -address-length=2 -obs=32
srec one.s19 -generate 0x1000 0x1100 -repeat-data 0x11 0x22 -- -address-length=2 -obs=32

# run_bg NAME: a program run of two.s19 in the background (CLI_PID), once the board got a packet.
# Under AddressSanitizer freed memory is held back (its quarantine) and would
# count as growth: the flood's bound is on memory kept, not memory churned.
run_bg() {
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=0" cli_bg "$1" program "$WORK/two.s19" "${WHERE[@]}"
  wait_for 5 grep -q ' received ' "$WORK/board.log" || true
}

case "$1" in
  output-fails)  # a full device or a closed pipe as stdout, or a full stderr: aborted, exit 1, the reason where it can go
    board tcp --mode flash
    CLI_OUT=/dev/full cli full-out program "$WORK/two.s19" "${WHERE[@]}"
    expect_rc full-out 1
    expect_line full-out err "qrb-flash-cli: cannot write the Status list to stdout: No space left on device" \
      "Aborting.  ProgramMode = 0."
    CLI_ERR=/dev/full cli full-err program "$WORK/two.s19" "${WHERE[@]}"
    expect_rc full-err 1 out "qrb-flash-cli: cannot write the Debug list to stderr: No space left on device"
    expect_no_success full-err
    CLI_OUT=>(head -n 1 >/dev/null) cli gone program "$WORK/two.s19" "${WHERE[@]}"  # a reader that quits
    stop_board
    expect_rc gone 1
    expect_line gone err "qrb-flash-cli: cannot write the Status list to stdout: Broken pipe" "Aborting.  ProgramMode = 0."
    for args in --help --version "check $WORK/two.s19"; do
      # shellcheck disable=SC2086
      CLI_OUT=/dev/full cli full-other $args
      expect_rc full-other 1 err "qrb-flash-cli: cannot write to stdout: No space left on device"
    done
    ;;

  stop-signal)  # a stop signal is the Abort button: link closed, lock file gone, exit 128 + signal
    while IFS='|' read -r link signal closed; do
      board "$link" --silent-from 1 --verbose
      run_bg "$signal"
      locks=$(lock_files "$PTY")
      [ "$link" = tcp ] || [ -n "$locks" ] || fail "no lock file while the port is open"
      kill "-$signal" "$CLI_PID"
      wait_cli "$signal"
      stop_board
      expect_rc "$signal" $((128 + $(kill -l "$signal")))
      printf '%s\n' "Aborting.  ProgramMode = 0." "Aborted processing." "$closed" >"$WORK/want"
      tail -n 3 "$WORK/$signal.err" | diff "$WORK/want" - >&2 || fail "SIG$signal: the run's last lines"
      [ "$(sed -n "s/^qrb-board-sim: $link received //p" "$WORK/board.log" | wc -w)" = 2 ] ||
        fail "SIG$signal: the board received more than the opening packet"
      for lock in $locks; do [ -e "$lock" ] && fail "lock file $lock left behind"; done
    done <<'TABLE'
tcp|INT|Ethernet connection closed.
tcp|HUP|Ethernet connection closed.
pty|TERM|Closed COM port: 1
TABLE
    ;;

  stale-packet)  # half a packet left on the line by a client that went away does not spoil the next run
    BASE=0x1000
    board pty --mode flash --verbose
    printf '\x57\x3A\x00\x00\x10\x00\x01\x00UUUUUUUUUU' >"$PTY"
    sleep 0.7
    cli next program "$WORK/one.s19" "${WHERE[@]}"
    stop_board
    expect_success next program
    expect_flash one.s19
    ;;

  serial-gone)  # the board's end of the line vanishes: one line with the reason, the run ends at once
    board pty --silent-from 1 --verbose
    run_bg gone
    kill -KILL "$BOARD_PID"
    { wait "$BOARD_PID" 2>/dev/null || true; BOARD_PID=""; }
    wait_cli gone
    expect_rc gone 1
    expect_count gone err "Error getting a packet: -11" 1
    expect_contains gone err "$PTY is gone"
    expect_count gone err "COM1 device $PTY is gone" 0  # a --serial device is named by its path
    expect_count gone err "Aborting.  ProgramMode = 0." 1
    expect_ms gone -lt 2000
    ;;

  serial-access)  # a user who may not open the device is told why, once, and what would let them
    [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1 || { echo "needs root and the user nobody: skipped"; finish; exit 0; }
    chmod 755 "$WORK"
    board pty --link "$WORK/ttyQRB"
    link=$WORK/ttyQRB
    pts=$(readlink -f "$link")
    chmod 644 "$WORK/one.s19"
    chgrp tty "$pts" && chmod 620 "$pts"  # as a login's terminal: its group may only write
    CLI_AS="runuser -u nobody --" cli root-only verify "$WORK/one.s19" --serial "$link"
    chgrp dialout "$pts" && chmod 660 "$pts"
    CLI_AS="runuser -u nobody --" cli group verify "$WORK/one.s19" --serial "$link"
    stop_board
    expect_line root-only err "$link may not be opened: permission denied; it belongs to user root and group tty (crw--w----): only root may open it."
    expect_line group err "$link may not be opened: permission denied; it belongs to user root and group dialout (crw-rw----): join the group with 'sudo usermod -aG dialout nobody', then log in again."
    for run in root-only group; do
      expect_rc "$run" 2
      expect_count "$run" err "Error initializing COM port: -4" 1
      grep -qi 'permission denied.*permission denied' "$WORK/$run.err" && fail "$run: the reason said twice"
    done
    ;;

  flood)  # a board that floods its line at 10 MB/s: the run ends by its state's line, output and memory bounded
    while IFS='|' read -r link options line; do
      # shellcheck disable=SC2086
      board "$link" $options --verbose
      peak=0 early=""
      run_bg "$link"
      for samples in $(seq 600); do
        rss=$(awk '$1 == "VmRSS:" { print $2 }' "/proc/$CLI_PID/status" 2>/dev/null) && [ -n "$rss" ] || break
        [ "$rss" -gt "$peak" ] && peak=$rss
        [ "$samples" = 5 ] && early=$peak  # half a second into the flood
        sleep 0.1
      done
      wait_cli "$link"
      stop_board
      early=${early:-$peak}  # a run shorter than half a second
      echo "flood $link $options: the run ended after $(cat "$WORK/$link.ms") ms, resident $early KiB after 0.5 s, at most $peak KiB"
      expect_rc "$link" 1
      [ "$(grep -xF -A1 -- "$line" "$WORK/$link.err" | tail -n 1)" = "Aborting.  ProgramMode = 0." ] ||
        { fail "$link flood: no '$line' before the abort"; show "$WORK/$link.err"; }
      expect_ms "$link" -lt 6000  # 3 s of time-out, 3 s of slack
      [ "$peak" -lt $((early + 8 * 1024)) ] || fail "$link flood: resident memory grew from $early to $peak KiB"
      [ "$(cat "$WORK/$link.out" "$WORK/$link.err" | wc -c)" -lt 65536 ] || fail "$link flood: too much output"
      [ "$(grep -c 'Fifo1 is full\.' "$WORK/$link.out")" -le $((1 + $(grep -c 'Fifo1 was full: ' "$WORK/$link.out"))) ] ||
        fail "$link flood: more than two FIFO lines per burst"
    done <<'TABLE'
tcp|--mode idle --flood-from 1|FailTimer expired.  Program mode is 21.  E21_A
tcp|--mode flash --flood-from 2|Wrong response from QRB interface [61]: $0
pty|--mode idle --flood-from 1|FailTimer expired.  Program mode is 21.  E21_A
TABLE
    ;;

  closed-fds)  # no stdin, stdout or stderr: only protocol bytes reach the board, and the run succeeds
    BASE=0x1000
    for link in tcp pty; do
      board $link --mode flash --verbose
      rc=0
      sh -c 'exec "$0" "$@" <&- >&- 2>&-' "$CLI" program "$WORK/one.s19" "${WHERE[@]}" || rc=$?
      stop_board
      [ "$rc" = 0 ] || fail "$link with closed descriptors: exit status $rc"
      # The opening packet, one program block and its read-back request.
      received=$(sed -n "s/^qrb-board-sim: $link received //p" "$WORK/board.log" | wc -w)
      [ "$received" = $((2 + 264 + 8)) ] || { fail "$link: the board received $received bytes"; show "$WORK/board.log"; }
      expect_flash one.s19
    done
    ;;

  *) echo "unknown case $1" >&2; exit 2 ;;
esac
finish
