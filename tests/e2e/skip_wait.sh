#!/usr/bin/env bash
# Programming that skips the blocks the board already holds, and links that are waited for.
# srec_cat judges the FLASH and tells which blocks differ; the board's log tells which were written.
# Usage: skip_wait.sh skip|wait
. "$(dirname "$0")/../support/lib.sh"

# blocks_differing OLD NEW: the addresses (hex, upper case) of the 256-byte blocks of NEW's data
# that differ from OLD's FLASH, both read by srec_cat as binaries from BASE with 0xFF fill.
blocks_differing() {
  srec_cat "$WORK/$2" -fill 0xFF -over '(' "$WORK/$2" ')' -range-padding 256 -offset "-$BASE" -o "$WORK/new.bin" -binary 2>/dev/null
  srec_cat "$WORK/$1" -fill 0xFF -over '(' "$WORK/$2" ')' -range-padding 256 -offset "-$BASE" -o "$WORK/old.bin" -binary 2>/dev/null
  { cmp -l "$WORK/old.bin" "$WORK/new.bin" || true; } | awk -v base=$((BASE)) '{ printf "%X\n", base + int(($1 - 1) / 256) * 256 }' | sort -u
}
# image_blocks IMAGE: every block address of the image.
image_blocks() {
  srec_info "$WORK/$1" 2>/dev/null | sed -n '/^Data:/,$p' | sed 's/^Data://' | while read -r first _ last; do
    for ((a = 0x$first & ~0xFF; a <= 0x$last; a += 256)); do printf '%X\n' "$a"; done
  done | sort -u
}
written_blocks() { sed -n "s/^qrb-board-sim: $1 wrote block \\$//p" "$WORK/board.log" | sort; }

case "$1" in
  skip)
    BASE=0x8000
    # 24 blocks; the new image changes three scattered blocks and a stretch of five, and adds one.
    srec old.s19 -generate 0x8000 0x9800 -repeat-string "firmware 1.0 " -- -address-length=2 -obs=32
    srec new.s19 '(' -generate 0x8000 0x9800 -repeat-string "firmware 1.0 " ')' \
      -exclude 0x8120 0x8121 -exclude 0x8AFF 0x8B00 -exclude 0x9000 0x9500 -exclude 0x97FF 0x9800 \
      -generate 0x8120 0x8121 -constant 0x00 -generate 0x8AFF 0x8B00 -constant 0x00 \
      -generate 0x9000 0x9500 -repeat-string "firmware 1.1 " -generate 0x97FF 0x9800 -constant 0x11 \
      -generate 0x9900 0x9910 -constant 0x22 -- -address-length=2 -obs=32
    for link in tcp pty115200; do
      board "$link" --mode flash --load "$WORK/old.s19"
      cli "$link-skip" program "$WORK/new.s19" "${WHERE[@]}" --tick 1 --skip-unchanged --report "$WORK/$link.json"
      expect_success "$link-skip" program
      blocks_differing old.s19 new.s19 >"$WORK/differ"
      written_blocks "${link%115200}" >"$WORK/written"
      image_blocks new.s19 >"$WORK/all"
      # Every block that differs was written; a block written without differing was written blind
      # (after two differing blocks in a row), never one reported unchanged.
      comm -23 "$WORK/differ" "$WORK/written" | grep -q . && fail "$link: a block that differs was not written"
      sed -n 's/^Block  \$\(.*\)     -- Unchanged\.$/\1/p' "$WORK/$link-skip.out" | sort >"$WORK/unchanged"
      comm -12 "$WORK/unchanged" "$WORK/written" | grep -q . && fail "$link: a block reported unchanged was written"
      [ "$(sort -u "$WORK/unchanged" "$WORK/written")" = "$(cat "$WORK/all")" ] || fail "$link: blocks neither written nor unchanged"
      expect_line "$link-skip" out "$(wc -l <"$WORK/written") blocks written, $(wc -l <"$WORK/unchanged") unchanged."
      python3 - "$WORK/$link.json" "$WORK/written" <<'PY' || fail "$link: report fields"
import json, sys
report, written = json.load(open(sys.argv[1])), {int(a, 16) for a in open(sys.argv[2]).read().split()}
(board,) = report["boards"]
assert report["skip_unchanged"] is True
assert {b["address"] for b in board["blocks"] if b["written"]} == written
assert all(b["written"] != b["unchanged"] for b in board["blocks"])
t = board["totals"]
assert (t["written"], t["unchanged"]) == (len(written), sum(b["unchanged"] for b in board["blocks"]))
assert (report["totals"]["written"], report["totals"]["unchanged"]) == (t["written"], t["unchanged"])
PY
      # Again: the FLASH already holds the file, nothing is written, the board must still be re-booted.
      wrote=$(grep -c "wrote block" "$WORK/board.log")
      cli "$link-again" program "$WORK/new.s19" "${WHERE[@]}" --tick 1 --skip-unchanged
      expect_rc "$link-again" 0
      expect_line "$link-again" out "0 blocks written, $(wc -l <"$WORK/all") unchanged." \
        "***  Success ***.  QRB interface FLASH already holds the file.  Nothing written." \
        "Exit this program and Re-Boot the QRB interface."
      expect_count "$link-again" out "$PROGRAM_SUCCESS" 0
      stop_board
      [ "$(grep -c "wrote block" "$WORK/board.log")" = "$wrote" ] || fail "$link: the second run wrote a block"
      expect_flash new.s19
    done
    ;;

  wait)
    srec image.s19 -generate 0x1000 0x1300 -repeat-string "wait " -- -address-length=2 -obs=32
    # The board comes up two seconds after the run started: over TCP on a port chosen now, and as a
    # pseudo-terminal link that does not exist yet.
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    for link in tcp pty; do
      if [ "$link" = tcp ]; then where=(--tcp "127.0.0.1:$port"); late=(--tcp "$port")
      else where=(--serial "$WORK/ttyLATE"); late=(--pty --link "$WORK/ttyLATE"); fi
      (sleep 2; start_board --mode flash "${late[@]}"; wait "$BOARD_PID") &
      waiter=$!
      cli "$link-late" program "$WORK/image.s19" "${where[@]}" --tick 1 --wait 10
      expect_success "$link-late" program
      # The lines are those of a run that found the board at once.
      if [ "$link" = tcp ]; then
        board tcp --mode flash
        cli "$link-now" program "$WORK/image.s19" "${WHERE[@]}" --tick 1
        stop_board
        sed "s/$PORT/$port/g" "$WORK/$link-now.err" | diff - "$WORK/$link-late.err" >&2 || fail "$link: Debug lines differ after waiting"
        diff "$WORK/$link-now.out" "$WORK/$link-late.out" >&2 || fail "$link: Status lines differ after waiting"
      fi
      pkill -TERM -P "$waiter" 2>/dev/null || true
      kill "$waiter" 2>/dev/null || true
      wait "$waiter" 2>/dev/null || true
    done
    # No board at all: exit 2 once the wait is over, with the reason and how long it waited.
    cli none verify "$WORK/image.s19" --tcp "127.0.0.1:$port" --wait 2
    expect_rc none 2
    expect_contains none err "qrb-flash-cli: no connection to 127.0.0.1:$port: Connection refused (waited 2."
    expect_count none err "Ethernet connection pending." 1
    expect_ms none -ge 2000  # not before the wait is over
    cli no-device read "$WORK/out.s19" --range 0x1000-0x10FF --serial "$WORK/ttyNONE" --wait 1
    expect_rc no-device 2
    expect_contains no-device err "qrb-flash-cli: cannot open $WORK/ttyNONE: No such file or directory (waited 1."
    [ -e "$WORK/out.s19" ] && fail "no-device: the output was written"
    # Two boards: the one that is there does not wait for the other.
    board tcp --mode flash
    cli two program "$WORK/image.s19" "${WHERE[@]}" --tcp "127.0.0.1:$port" --tick 1 --wait 2
    stop_board
    expect_rc two 1 out "[127.0.0.1:$PORT] $PROGRAM_SUCCESS"
    expect_contains two err "qrb-flash-cli: [127.0.0.1:$port] no connection to 127.0.0.1:$port: Connection refused (waited 2."
    ;;
  *) echo "unknown case $1" >&2; exit 2 ;;
esac
finish
