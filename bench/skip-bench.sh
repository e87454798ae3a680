#!/usr/bin/env bash
# Times program runs that skip unchanged blocks against a plain program run of the same 256 KiB image
# (1 024 blocks), at tick 1, over a pseudo-terminal on which the board models the line at 115200 baud
# and over loopback TCP. The board starts with: the image itself, the image with 10% of its blocks
# changed (scattered), another image (changed everywhere), and the image up to block 700 with the
# other image after it (a run resumed after a drop). Prints a Markdown table; figures only, the exit
# status is 0 whatever they show.
# Usage: skip-bench.sh BIN-DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
SIM="$BIN/qrb-board-sim" CLI="$BIN/qrb-flash-cli"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qrb-skip-bench.XXXXXX")
BOARD_PID=""
trap '[ -z "$BOARD_PID" ] || kill -KILL "$BOARD_PID" 2>/dev/null; rm -rf "$WORK"' EXIT

START=0x10000 BLOCKS=1024
END=$((START + BLOCKS * 256)) DROP=$((START + 700 * 256))
s19() { srec_cat "$@" -o - -motorola -address-length=3 -obs=32 -crlf -disable=header -disable=data-count 2>/dev/null; }
s19 -generate $START $END -repeat-string "QRB bench image " >"$WORK/image.s19"
s19 -generate $START $END -repeat-string "QRB older image " >"$WORK/everywhere.s19"
s19 "$WORK/image.s19" -crop $START $DROP "$WORK/everywhere.s19" -crop $DROP $END >"$WORK/resumed.s19"
# One byte changed in a tenth of the blocks, scattered (the same blocks on every run).
mapfile -t changed < <(python3 -c 'import random, sys; n = int(sys.argv[1]); random.seed(4242); print("\n".join(str(b) for b in sorted(random.sample(range(n), n // 10))))' "$BLOCKS")
args=() generate=()
for b in "${changed[@]}"; do
  at=$((START + b * 256 + 17))
  args+=(-exclude $at $((at + 1)))
  generate+=(-generate $at $((at + 1)) -constant 0x00)
done
s19 '(' "$WORK/image.s19" ')' "${args[@]}" "${generate[@]}" >"$WORK/scattered.s19"

start_board() {
  : >"$WORK/board.out"
  "$SIM" "$@" >"$WORK/board.out" 2>"$WORK/board.log" &
  BOARD_PID=$!
  for _ in $(seq 250); do grep -q '^READY' "$WORK/board.out" && return; sleep 0.02; done
  echo "the simulated board did not start" >&2
  exit 1
}
stop_board() { kill -TERM "$BOARD_PID"; wait "$BOARD_PID" || true; BOARD_PID=""; }

echo "| link | board holds | run | blocks written | unchanged | wall s | wall / plain | FLASH as the plain run's | exit |"
echo "|---|---|---|---|---|---|---|---|---|"
for link in pty115200 tcp; do
  plain=""
  for row in "identical:image:plain" "identical:image:skip" "10% changed, scattered:scattered:skip" \
    "changed everywhere:everywhere:skip" "resumed after block 700:resumed:skip"; do
    IFS=: read -r what flash run <<<"$row"
    save=(--save "$WORK/$run.bin" --base $START)
    if [ "$link" = tcp ]; then
      start_board --tcp 0 --mode flash --load "$WORK/$flash.s19" "${save[@]}"
      where=(--tcp "127.0.0.1:$(sed -n 's/^TCP_PORT=//p' "$WORK/board.out")")
    else
      start_board --pty --baud 115200 --mode flash --load "$WORK/$flash.s19" "${save[@]}"
      where=(--serial "$(sed -n 's/^PTY=//p' "$WORK/board.out")" --baud 115200)
    fi
    skip=()
    [ "$run" = skip ] && skip=(--skip-unchanged)
    echo "bench: $run over $link, board holds $what ..." >&2
    rc=0
    started=$(date +%s%N)
    "$CLI" program "$WORK/image.s19" "${where[@]}" --tick 1 "${skip[@]}" >"$WORK/out" 2>"$WORK/err" </dev/null || rc=$?
    wall=$(awk -v ns=$(($(date +%s%N) - started)) 'BEGIN { printf "%.2f", ns / 1e9 }')
    stop_board
    written=$(grep -c 'wrote block' "$WORK/board.log" || true)
    unchanged=$(grep -c -- '-- Unchanged\.$' "$WORK/out" || true)
    [ -z "$plain" ] && plain=$wall
    same=$(cmp -s "$WORK/plain.bin" "$WORK/$run.bin" && echo yes || echo NO)
    echo "| $link | $what | $run | $written | $unchanged | $wall | $(awk -v a="$wall" -v b="$plain" 'BEGIN { printf "%.2f", a / b }') | $same | $rc |"
  done
done
