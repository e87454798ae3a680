#!/usr/bin/env bash
# Figures for hostile links: a program run over TCP against a board that
# floods the link with 0x00 at 10 MB/s after its status reply (how long the
# run takes to end, the longest gap between ticks, output and peak memory),
# and the CPU time the simulated board spends on 1 MiB of noise. Prints a
# Markdown section; never fails on a figure.
# Usage: hostile-bench.sh BIN-DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
SIM="$BIN/qrb-board-sim" CLI="$BIN/qrb-flash-cli"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qrb-hostile.XXXXXX")
BOARD_PID=""
trap '[ -n "$BOARD_PID" ] && kill -KILL "$BOARD_PID" 2>/dev/null; rm -rf "$WORK"' EXIT

start_board() {
  "$SIM" "$@" >"$WORK/board.out" 2>"$WORK/board.log" &
  BOARD_PID=$!
  for _ in $(seq 250); do grep -q '^READY' "$WORK/board.out" && return; sleep 0.02; done
  echo "the simulated board did not start" >&2
  exit 1
}
stop_board() {
  kill -TERM "$BOARD_PID"
  wait "$BOARD_PID" || true
  BOARD_PID=""
}
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); split($0, f, " "); print (f[12] + f[13]) * 1000 / hz }' "/proc/$1/stat"; }

srec_cat -generate 0x1000 0x1400 -constant 0x5A -o "$WORK/image.s19" -address-length=2 -crlf -disable=header

echo "## Hostile links"
echo
echo "| case | run ends after s | exit | longest tick gap ms | ticks | stdout + stderr bytes | peak RSS MiB |"
echo "|---|---|---|---|---|---|---|"
for flood in 1 2; do
  start_board --tcp 0 --mode flash --flood-from "$flood"
  rc=0
  QRB_TICK_STATS="$WORK/ticks" /usr/bin/time -f '%e %M' -o "$WORK/time" "$CLI" program "$WORK/image.s19" \
    --tcp "127.0.0.1:$(sed -n 's/^TCP_PORT=//p' "$WORK/board.out")" >"$WORK/out" 2>"$WORK/err" </dev/null || rc=$?
  stop_board
  read -r wall rss <"$WORK/time"
  pmax=$(awk '$1 == "period_ms" { print $9 }' "$WORK/ticks")
  ticks=$(awk '$1 == "ticks" { print $2 }' "$WORK/ticks")
  what=$([ "$flood" = 1 ] && echo "flood in place of the status" || echo "flood after the status")
  printf '| %s | %s | %s | %.1f | %s | %s | %.1f |\n' "$what" "$wall" "$rc" "$pmax" "$ticks" \
    "$(cat "$WORK/out" "$WORK/err" | wc -c)" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
done

head -c 1048576 /dev/urandom | tr -d '\361\341\127' >"$WORK/noise"
start_board --tcp 0
before=$(cpu_ms "$BOARD_PID")
cat "$WORK/noise" >"/dev/tcp/127.0.0.1/$(sed -n 's/^TCP_PORT=//p' "$WORK/board.out")"
sleep 0.5
after=$(cpu_ms "$BOARD_PID")
stop_board
echo
echo "The simulated board skipped $(wc -c <"$WORK/noise") bytes of noise in $((after - before)) ms of CPU (target: 1 MiB under 200 ms)."
