#!/usr/bin/env bash
# Times whole runs of qrb-flash-cli against qrb-board-sim (board in FLASH
# mode): program and verify of 4, 64 and 256 KiB images over loopback TCP and
# over a pseudo-terminal paced at 115200 baud, against the tick ideal; runs
# against a board that floods the link, and the board's cost of noise; then
# the Google Benchmark figures of the core and the cost of posting to the
# desktop program's lists. Prints the tables and writes them to
# RESULTS. Figures only: the exit status is 0 whatever they show.
# Usage: run-bench.sh BIN-DIR RESULTS.md [SIZES-KIB...]
set -euo pipefail
BIN=$(cd "$1" && pwd)
RESULTS=$2
shift 2
SIZES=("${@:-4 64 256}")
read -r -a SIZES <<<"${SIZES[*]}"
SIM="$BIN/qrb-board-sim" CLI="$BIN/qrb-flash-cli"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qrb-bench.XXXXXX")
BOARD_PID=""
trap '[ -n "$BOARD_PID" ] && kill -KILL "$BOARD_PID" 2>/dev/null; rm -rf "$WORK"' EXIT

start_board() {
  "$SIM" "$@" >"$WORK/board.out" 2>"$WORK/board.log" &
  BOARD_PID=$!
  for _ in $(seq 250); do grep -q '^READY' "$WORK/board.out" && return; sleep 0.02; done
  echo "the simulated board did not start" >&2
  cat "$WORK/board.log" >&2
  exit 1
}
stop_board() {
  kill -TERM "$BOARD_PID"
  wait "$BOARD_PID" || true
  BOARD_PID=""
}

ROWS="$WORK/rows"
: >"$ROWS"
for link in tcp pty; do
  for kib in "${SIZES[@]}"; do
    image="$WORK/image-$kib.s19"
    srec_cat -generate 0x10000 $((0x10000 + kib * 1024)) -repeat-string "QRB bench image " -o "$image" \
      -motorola -address-length=3 -obs=32 -crlf -disable=header -disable=data-count -execution-start-address=0
    blocks=$((kib * 4))
    for op in program verify; do
      load=()
      [ "$op" = verify ] && load=(--load "$image")
      if [ "$link" = tcp ]; then
        start_board --tcp 0 --mode flash "${load[@]}"
        where=(--tcp "127.0.0.1:$(sed -n 's/^TCP_PORT=//p' "$WORK/board.out")")
      else
        start_board --pty --baud 115200 --mode flash "${load[@]}"
        where=(--serial "$(sed -n 's/^PTY=//p' "$WORK/board.out")" --baud 115200)
      fi
      echo "bench: $op $kib KiB over $link ..." >&2
      rc=0
      QRB_TICK_STATS="$WORK/ticks" /usr/bin/time -f '%e %U %S %M' -o "$WORK/time" \
        "$CLI" "$op" "$image" "${where[@]}" >"$WORK/cli.out" 2>"$WORK/cli.err" </dev/null || rc=$?
      stop_board
      read -r wall user sys rss <"$WORK/time"
      ticks=$(awk '$1 == "ticks" { print $2 }' "$WORK/ticks")
      read -r pmean pdev pmax <<<"$(awk '$1 == "period_ms" { print $3, $5, $9 }' "$WORK/ticks")"
      read -r wmean wmax <<<"$(awk '$1 == "work_ms" { print $3, $9 }' "$WORK/ticks")"
      # CPU time from the CLI itself (nanosecond clock) where it reports it;
      # time(1) counts in hundredths of a second.
      cpu=$(awk '$1 == "cpu_ms" { print $2 / 1000 }' "$WORK/ticks")
      [ -n "$cpu" ] && user=$cpu sys=0
      echo "$link $kib $op $blocks $wall $user $sys $rss $ticks $pmean $pdev $pmax $wmean $wmax $rc" >>"$ROWS"
    done
  done
done

# link KiB op blocks wall user sys rss-KiB ticks period-mean period-sd period-max work-mean work-max rc
table() {
  awk -v md="$1" '
    BEGIN {
      h = "link|image|run|blocks|wall s|ideal s|ratio|CPU ms/block|peak RSS MiB|ticks|tick mean ms|jitter sd ms|tick max ms|tick work mean us|tick work max us|exit"
      n = split(h, H, "|")
      if (md) { line = "|"; sep = "|"; for (i = 1; i <= n; i++) { line = line " " H[i] " |"; sep = sep "---|" } print line; print sep }
      else printf "%-4s %6s %-8s %6s %8s %8s %6s %12s %12s %6s %12s %12s %11s %17s %16s %4s\n", H[1], H[2], H[3], H[4], H[5], H[6], H[7], H[8], H[9], H[10], H[11], H[12], H[13], H[14], H[15], H[16]
    }
    {
      ideal = ($3 == "program" ? 3 + 3 * $4 : 4 + 2 * $4) * 0.05
      v[1] = $1; v[2] = $2 " KiB"; v[3] = $3; v[4] = $4; v[5] = sprintf("%.2f", $5); v[6] = sprintf("%.2f", ideal)
      v[7] = sprintf("%.3f", $5 / ideal); v[8] = sprintf("%.3f", ($6 + $7) * 1000 / $4); v[9] = sprintf("%.1f", $8 / 1024)
      v[10] = $9; v[11] = sprintf("%.2f", $10); v[12] = sprintf("%.2f", $11); v[13] = sprintf("%.1f", $12)
      v[14] = sprintf("%.1f", $13 * 1000); v[15] = sprintf("%.0f", $14 * 1000); v[16] = $15
      if (md) { line = "|"; for (i = 1; i <= 16; i++) line = line " " v[i] " |"; print line }
      else printf "%-4s %6s %-8s %6s %8s %8s %6s %12s %12s %6s %12s %12s %11s %17s %16s %4s\n", v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13], v[14], v[15], v[16]
    }' "$ROWS"
}

# The targets, as figures: worst ratio over TCP, peak memory growth from the
# smallest to the largest image, worst CPU per block, worst tick work.
targets() {
  awk -v small="${SIZES[0]}" -v large="${SIZES[-1]}" '
    { ideal = ($3 == "program" ? 3 + 3 * $4 : 4 + 2 * $4) * 0.05
      if ($1 == "tcp" && $5 / ideal > ratio) ratio = $5 / ideal
      cpu = ($6 + $7) * 1000 / $4; if (cpu > maxcpu) maxcpu = cpu
      if ($14 * 1000 > work) work = $14 * 1000
      if ($13 * 1000 > workmean) workmean = $13 * 1000
      if ($2 == small) rs[$1 " " $3] = $8
      if ($2 == large) rl[$1 " " $3] = $8 }
    END {
      for (k in rs) if (k in rl) { g = rl[k] / rs[k] - 1; if (g > growth) growth = g }
      printf "- worst wall/ideal ratio over TCP: %.3f (target at most 1.02): %s\n", ratio, ratio <= 1.02 ? "met" : "NOT met"
      printf "- peak RSS growth from %s KiB to %s KiB: %.1f%% (target within 10%%): %s\n", small, large, growth * 100, growth <= 0.10 ? "met" : "NOT met"
      printf "- worst CPU per block: %.3f ms (target under 0.2 ms): %s\n", maxcpu, maxcpu < 0.2 ? "met" : "NOT met"
      printf "- tick work in the CLI: worst mean %.1f us, longest single tick %.0f us (target under 50 us)\n", workmean, work
    }' "$ROWS"
}


# ---- hostile links: a flooding board, and the board's cost of noise ----
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); split($0, f, " "); printf "%d\n", (f[12] + f[13]) * 1000 / hz }' "/proc/$1/stat"; }

hostile() {
  srec_cat -generate 0x1000 0x1400 -constant 0x5A -o "$WORK/image.s19" -address-length=2 -crlf -disable=header

  echo "| case | run ends after s | exit | longest tick gap ms | ticks | stdout + stderr bytes | peak RSS MiB |"
  echo "|---|---|---|---|---|---|---|"
  for flood in 1 2; do
    start_board --tcp 0 --mode flash --flood-from "$flood"
    rc=0
    QRB_TICK_STATS="$WORK/ticks" /usr/bin/time -f '%e %M' -o "$WORK/time" "$CLI" program "$WORK/image.s19" \
      --tcp "127.0.0.1:$(sed -n 's/^TCP_PORT=//p' "$WORK/board.out")" >"$WORK/out" 2>"$WORK/err" </dev/null || rc=$?
    stop_board
    read -r wall rss < <(tail -n 1 "$WORK/time")  # after "Command exited with non-zero status"
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
}
echo "bench: a flooding board and noise ..." >&2
HOSTILE="$WORK/hostile.md"
hostile >"$HOSTILE"

echo
table ""
echo
targets
echo
cat "$HOSTILE"

echo
echo "bench: Google Benchmark, one tick per kind of state and reading S19 records ..." >&2
GBENCH="$WORK/gbench.txt"
if [ -x "$BIN/qrb_bench" ]; then
  "$BIN/qrb_bench" --benchmark_min_time=0.5 2>&1 | tee "$GBENCH"
else
  echo "qrb_bench was not built (needs libbenchmark-dev)" | tee "$GBENCH"
fi

echo
echo "bench: posting a 1,000-block run's lines to the window's list boxes ..." >&2
LISTS="$WORK/lists.txt"
if [ -x "$BIN/qrb_list_bench" ]; then
  QT_QPA_PLATFORM=offscreen "$BIN/qrb_list_bench" 2>&1 | tee "$LISTS"
else
  echo "qrb_list_bench was not built" | tee "$LISTS"
fi

{
  echo "# Benchmark results"
  echo
  echo "Written by \`make bench\` on $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
    "$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), shared with other work."
  echo
  echo "## qrb-flash-cli against qrb-board-sim"
  echo
  echo "Board in FLASH mode; a verify run finds the image there. Tick ideal: (3 + 3N) x 50 ms to program N"
  echo "blocks, (4 + 2N) x 50 ms to verify them. Wall time is the whole CLI process (start-up, connection and"
  echo "run); CPU time is its user + system time. Tick figures come from the CLI's QRB_TICK_STATS report:"
  echo "the period between ticks (mean, standard deviation as jitter, longest) and the work of one tick."
  echo "The pseudo-terminal board paces its replies at 115200 baud."
  echo
  echo "Every image here ends exactly on a block boundary: the reader meets the end record only in the"
  echo "next-block state, one tick after the last block's read-back, so such a run takes one tick more"
  echo "than the ideal (52 ticks instead of 51 for 16 blocks); that tick is the whole excess of the 4 KiB"
  echo "rows. CPU time per block includes the process's start-up (Qt, connection), which dominates"
  echo "the 4 KiB rows. The CLI's tick work is measured around Timer1_Timer in the running program: it"
  echo "includes writing the Status lines to stdout and handing packets to the socket or the serial"
  echo "port, and it starts with cold caches after 50 ms asleep, hence the difference from the"
  echo "in-process figures below."
  echo
  table md
  echo
  echo "## Targets"
  echo
  targets
  echo
  echo "## Hostile links"
  echo
  echo "A program run over TCP (4 blocks) against a board that floods the link with 0x00 at 10 MB/s in place"
  echo "of its status reply or after it: the run ends through its state's own line; the longest gap between"
  echo "ticks comes from QRB_TICK_STATS."
  echo
  cat "$HOSTILE"
  echo
  echo "## Google Benchmark: one tick in each kind of state, reading S19 records, the pre-flight"
  echo
  echo "One sequencer tick (manual timing of Timer1_Timer alone) during runs of a 64 KiB image against the"
  echo "board's protocol model in process, over the Ethernet link with the replies waiting; and reading"
  echo "the records of that image's S19 file (2 048 S3 records of 32 bytes) through the reader. For the"
  echo "ticks read the Time column: the CPU column also counts the untimed ticks between two timed ones."
  echo "Preflight256KiB: the start buttons' pre-flight of a 256 KiB image (1 024 blocks), target under 20 ms."
  echo
  echo '```'
  cat "$GBENCH"
  echo '```'
  echo
  echo "## Posting to the desktop program's lists"
  echo
  echo "Every Status and Debug line of a 1,000-block programming run, in the core's order, posted to the"
  echo "main window's real list boxes (offscreen): add, scroll to the newest line, repaint at once, keep"
  echo "200 lines. Timed per post; the event loop runs between posts as it does between ticks. Per-item"
  echo "sizes, each line measured once as it is posted, show every line whole; uniform sizes, which cut"
  echo "long lines short, for comparison."
  echo
  echo '```'
  cat "$LISTS"
  echo '```'
} >"$RESULTS"
echo
echo "bench: written to $RESULTS"
