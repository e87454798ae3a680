#!/usr/bin/env bash
# Times whole runs of qrb-flash-cli against qrb-board-sim (board in FLASH
# mode): program and verify of 4, 64 and 256 KiB images over loopback TCP and
# over a pseudo-terminal on which the board models the line at 115200 and at
# 19200 baud, each at tick 50 and tick 1, against the tick ideal and the wire
# ideal; then 1, 4, 8 and 16 boards at once over TCP at tick 1; runs against a
# board that floods the link, and the board's cost of noise; then the Google
# Benchmark figures of the core and the cost of posting to the desktop
# program's lists. Prints the tables and writes them to
# RESULTS. Figures only: the exit status is 0 whatever they show.
# The 256 KiB runs at 19200 baud (about 13 minutes) run only with
# BENCH_FULL=1.
# Usage: run-bench.sh BIN-DIR RESULTS.md [SIZES-KIB...]
set -euo pipefail
BIN=$(cd "$1" && pwd)
RESULTS=$2
shift 2
SIZES=("${@:-4 64 256}")
read -r -a SIZES <<<"${SIZES[*]}"
SIM="$BIN/qrb-board-sim" CLI="$BIN/qrb-flash-cli"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qrb-bench.XXXXXX")
BOARD_PIDS=()
trap 'for p in "${BOARD_PIDS[@]}"; do kill -KILL "$p" 2>/dev/null; done; rm -rf "$WORK"' EXIT

# start_board N options...: board N's port or pty lands in $WORK/board-N.out.
start_board() {
  local n=$1
  shift
  # Emptied here: the shell that starts the board opens the file later.
  : >"$WORK/board-$n.out"
  "$SIM" "$@" >"$WORK/board-$n.out" 2>"$WORK/board-$n.log" &
  BOARD_PIDS+=($!)
  for _ in $(seq 250); do grep -q '^READY' "$WORK/board-$n.out" && return; sleep 0.02; done
  echo "the simulated board did not start" >&2
  cat "$WORK/board-$n.log" >&2
  exit 1
}
stop_boards() {
  kill -TERM "${BOARD_PIDS[@]}"
  for p in "${BOARD_PIDS[@]}"; do wait "$p" || true; done
  BOARD_PIDS=()
}
image_of() {  # KIB: an image of that size from 0x10000
  local image="$WORK/image-$1.s19"
  [ -f "$image" ] || srec_cat -generate 0x10000 $((0x10000 + $1 * 1024)) -repeat-string "QRB bench image " \
    -o "$image" -motorola -address-length=3 -obs=32 -crlf -disable=header -disable=data-count \
    -execution-start-address=0
  echo "$image"
}

ROWS="$WORK/rows"
: >"$ROWS"
for tick in 50 1; do
  for link in tcp pty115200 pty19200; do
    for kib in "${SIZES[@]}"; do
      if [ "$link" = pty19200 ] && [ "$kib" -ge 256 ] && [ -z "${BENCH_FULL:-}" ]; then
        echo "bench: skipping $kib KiB at 19200 baud, tick $tick (BENCH_FULL=1 runs it)" >&2
        echo "$link $kib skipped $tick" >>"$WORK/skipped"
        continue
      fi
      image=$(image_of "$kib")
      blocks=$((kib * 4))
      for op in program verify; do
        load=()
        [ "$op" = verify ] && load=(--load "$image")
        if [ "$link" = tcp ]; then
          start_board 0 --tcp 0 --mode flash "${load[@]}"
          where=(--tcp "127.0.0.1:$(sed -n 's/^TCP_PORT=//p' "$WORK/board-0.out")")
          baud=0
        else
          baud=${link#pty}
          start_board 0 --pty --baud "$baud" --mode flash "${load[@]}"
          where=(--serial "$(sed -n 's/^PTY=//p' "$WORK/board-0.out")" --baud "$baud")
        fi
        echo "bench: $op $kib KiB over $link at tick $tick ..." >&2
        rc=0
        QRB_TICK_STATS="$WORK/ticks" /usr/bin/time -q -f '%e %U %S %M' -o "$WORK/time" \
          "$CLI" "$op" "$image" "${where[@]}" --tick "$tick" >"$WORK/cli.out" 2>"$WORK/cli.err" </dev/null || rc=$?
        stop_boards
        [ "$rc" -eq 0 ] || echo "$op $kib KiB over $link at tick $tick: exit $rc, $(tail -2 "$WORK/cli.err" | tr '\n' ' ')" >>"$WORK/failures"
        read -r wall user sys rss <"$WORK/time"
        cpu=$(awk '$1 == "cpu_ms" { print $2 / 1000 }' "$WORK/ticks")
        [ -n "$cpu" ] && user=$cpu sys=0
        echo "$link $kib $op $blocks $tick $baud $wall $user $sys $rss $rc" >>"$ROWS"
      done
    done
  done
done

# Several boards at once over TCP at tick 1, 64 KiB each.
BOARDS_ROWS="$WORK/boards"
: >"$BOARDS_ROWS"
image=$(image_of 64)
for n in 1 4 8 16; do
  links=()
  for i in $(seq "$n"); do
    start_board "$i" --tcp 0 --mode flash
    links+=(--tcp "127.0.0.1:$(sed -n 's/^TCP_PORT=//p' "$WORK/board-$i.out")")
  done
  echo "bench: program 64 KiB on $n board(s) at once over TCP at tick 1 ..." >&2
  rc=0
  /usr/bin/time -q -f '%e %U %S %M' -o "$WORK/time" "$CLI" program "$image" "${links[@]}" --tick 1 \
    --report "$WORK/boards.json" >"$WORK/cli.out" 2>"$WORK/cli.err" </dev/null || rc=$?
  stop_boards
  [ "$rc" -eq 0 ] || echo "$n boards: exit $rc, $(tail -2 "$WORK/cli.err" | tr '\n' ' ')" >>"$WORK/failures"
  read -r wall user sys rss <"$WORK/time"
  read -r mean slowest <<<"$(python3 -c '
import json, sys
b = json.load(open(sys.argv[1]))["boards"]
s = [x["totals"]["seconds"] for x in b]
print(sum(s) / len(s), max(s))' "$WORK/boards.json")"
  echo "$n $wall $user $sys $rss $mean $slowest $rc" >>"$BOARDS_ROWS"
done

# The awk function both tables print with: one row of cells, as Markdown
# (md set) or aligned in columns of the widths W.
AWK_CELLS='
  function cells(md, n, V, W,    i, line) {
    if (md) { line = "|"; for (i = 1; i <= n; i++) line = line " " V[i] " |"; print line; return }
    line = ""; for (i = 1; i <= n; i++) line = line sprintf("%" W[i] "s ", V[i]); print line
  }
  function header(md, h, widths, W,    n, H, i, sep) {
    n = split(h, H, "|"); split(widths, W, " ")
    cells(md, n, H, W)
    if (md) { sep = "|"; for (i = 1; i <= n; i++) sep = sep "---|"; print sep }
    return n
  }'

# link KiB op blocks tick baud wall user sys rss-KiB rc
table() {
  awk -v md="$1" "$AWK_CELLS"'
    BEGIN {
      n = header(md, "link|tick ms|image|run|blocks|wall s|tick ideal s|wire ideal s|wall/tick ideal|wall/wire ideal|CPU ms/block|peak RSS MiB|exit",
                 "-9 7 7 -7 6 8 12 12 15 15 12 12 4", W)
    }
    {
      ticks = $3 == "program" ? 3 + 3 * $4 : 4 + 2 * $4
      tideal = ticks * $5 / 1000
      # Bytes on the wire: the handshake (2 out, 5 in), then per block the
      # program packet (264), its reply (2), the read-back request (8) and
      # its answer (258); a verify block is the request and its answer.
      bytes = 7 + ($3 == "program" ? 532 : 266) * $4
      wideal = $6 > 0 ? bytes * 10 / $6 : tideal
      v[1] = $1; v[2] = $5; v[3] = $2 " KiB"; v[4] = $3; v[5] = $4; v[6] = sprintf("%.2f", $7)
      v[7] = sprintf("%.3f", tideal); v[8] = sprintf("%.3f", wideal)
      v[9] = sprintf("%.2f", $7 / tideal); v[10] = sprintf("%.2f", $7 / wideal)
      v[11] = sprintf("%.3f", ($8 + $9) * 1000 / $4); v[12] = sprintf("%.1f", $10 / 1024); v[13] = $11
      cells(md, n, v, W)
    }' "$ROWS"
}

# boards wall user sys rss mean-board-s slowest-board-s rc
boards_table() {
  awk -v md="$1" "$AWK_CELLS"'
    BEGIN {
      n = header(md, "boards|wall s|wall / one board|mean board s|slowest board s|CPU ms/block|peak RSS MiB|RSS per extra board MiB|exit",
                 "6 7 16 13 16 12 12 24 4", W)
    }
    NR == 1 { one = $2; onerss = $5 }
    {
      v[1] = $1; v[2] = sprintf("%.2f", $2); v[3] = sprintf("%.2f", $2 / one); v[4] = sprintf("%.2f", $6)
      v[5] = sprintf("%.2f", $7); v[6] = sprintf("%.3f", ($3 + $4) * 1000 / ($1 * 256))
      v[7] = sprintf("%.1f", $5 / 1024); v[8] = $1 > 1 ? sprintf("%.2f", ($5 - onerss) / 1024 / ($1 - 1)) : "-"; v[9] = $8
      cells(md, n, v, W)
    }' "$BOARDS_ROWS"
}

# The targets, as figures.
targets() {
  awk -v large="${SIZES[-1]}" '
    FILENAME == ARGV[1] {
      ticks = $3 == "program" ? 3 + 3 * $4 : 4 + 2 * $4; tideal = ticks * $5 / 1000
      wideal = $6 > 0 ? (7 + ($3 == "program" ? 532 : 266) * $4) * 10 / $6 : tideal
      if ($1 == "pty115200" && $5 == 1 && $7 / wideal > ptyratio) ptyratio = $7 / wideal
      if ($1 == "tcp" && $5 == 1 && $2 == large && $3 == "program") tcpwall = $7
      if ($5 == 50 && $2 >= 64 && $1 != "pty19200" && $7 / tideal > slowratio) slowratio = $7 / tideal
      next
    }
    FNR == 1 { one = $2; onerss = $5 }
    $1 == 16 { many = $2; cpu = ($3 + $4) * 1000 / ($1 * 256); extra = ($5 - onerss) / 1024 / 15 }
    END {
      printf "- tick 1, pty at 115200 baud: worst wall / wire ideal %.2f (target at most 1.15): %s\n", ptyratio, ptyratio <= 1.15 ? "met" : "NOT met"
      printf "- tick 1, TCP: %s KiB program in %.2f s (target under 5 s): %s\n", large, tcpwall, tcpwall < 5 ? "met" : "NOT met"
      printf "- 16 boards at once, 64 KiB, TCP, tick 1: wall %.2fx one board'"'"'s (target at most 1.3): %s\n", many / one, many / one <= 1.3 ? "met" : "NOT met"
      printf "- 16 boards at once: CPU %.3f ms per block (target under 0.2): %s\n", cpu, cpu < 0.2 ? "met" : "NOT met"
      printf "- 16 boards at once: %.2f MiB per extra board (target under 2): %s\n", extra, extra < 2 ? "met" : "NOT met"
      printf "- tick 50, from 64 KiB, TCP and pty at 115200 baud: worst wall / tick ideal %.3f (target at most 1.02): %s\n", slowratio, slowratio <= 1.02 ? "met" : "NOT met"
    }' "$ROWS" "$BOARDS_ROWS"
}


# ---- hostile links: a flooding board, and the board's cost of noise ----
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); split($0, f, " "); printf "%d\n", (f[12] + f[13]) * 1000 / hz }' "/proc/$1/stat"; }

hostile() {
  srec_cat -generate 0x1000 0x1400 -constant 0x5A -o "$WORK/image.s19" -address-length=2 -crlf -disable=header

  echo "| case | run ends after s | exit | longest tick gap ms | ticks | stdout + stderr bytes | peak RSS MiB |"
  echo "|---|---|---|---|---|---|---|"
  for flood in 1 2; do
    start_board 0 --tcp 0 --mode flash --flood-from "$flood"
    rc=0
    QRB_TICK_STATS="$WORK/ticks" /usr/bin/time -f '%e %M' -o "$WORK/time" "$CLI" program "$WORK/image.s19" \
      --tcp "127.0.0.1:$(sed -n 's/^TCP_PORT=//p' "$WORK/board-0.out")" >"$WORK/out" 2>"$WORK/err" </dev/null || rc=$?
    stop_boards
    read -r wall rss < <(tail -n 1 "$WORK/time")  # after "Command exited with non-zero status"
    pmax=$(awk '$1 == "period_ms" { print $9 }' "$WORK/ticks")
    ticks=$(awk '$1 == "ticks" { print $2 }' "$WORK/ticks")
    what=$([ "$flood" = 1 ] && echo "flood in place of the status" || echo "flood after the status")
    printf '| %s | %s | %s | %.1f | %s | %s | %.1f |\n' "$what" "$wall" "$rc" "$pmax" "$ticks" \
      "$(cat "$WORK/out" "$WORK/err" | wc -c)" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
  done

  head -c 1048576 /dev/urandom | tr -d '\361\341\127' >"$WORK/noise"
  start_board 0 --tcp 0
  before=$(cpu_ms "${BOARD_PIDS[0]}")
  cat "$WORK/noise" >"/dev/tcp/127.0.0.1/$(sed -n 's/^TCP_PORT=//p' "$WORK/board-0.out")"
  sleep 0.5
  after=$(cpu_ms "${BOARD_PIDS[0]}")
  stop_boards
  echo
  echo "The simulated board skipped $(wc -c <"$WORK/noise") bytes of noise in $((after - before)) ms of CPU (target: 1 MiB under 200 ms)."
}
echo "bench: a flooding board and noise ..." >&2
HOSTILE="$WORK/hostile.md"
hostile >"$HOSTILE"

echo
table ""
echo
boards_table ""
echo
targets
[ -f "$WORK/skipped" ] && { echo; echo "skipped (BENCH_FULL=1 runs them):"; cat "$WORK/skipped"; }
[ -f "$WORK/failures" ] && { echo; echo "runs that failed:"; cat "$WORK/failures"; }
echo
cat "$HOSTILE"

echo
echo "bench: skipping unchanged blocks, 256 KiB at 115200 baud and over TCP ..." >&2
SKIP="$WORK/skip.md"
"$(dirname "$0")/skip-bench.sh" "$BIN" >"$SKIP"
# The targets against the plain run of the same link: identical at most 0.52, 10% changed at most
# 0.70, changed everywhere at most 1.10, and the FLASH always as the plain run's.
skip_targets() {
  awk -F' *[|] *' '$4 == "skip" {
      limit = $3 ~ /^identical/ ? 0.52 : $3 ~ /^10%/ ? 0.70 : $3 ~ /everywhere/ ? 1.10 : 0
      target = limit ? sprintf(" (target at most %.2f)", limit) : ""
      met = (!limit || $8 <= limit) && $9 == "yes" ? "met" : "NOT met"
      printf "- %s, board holds %s: %.2f of the plain run%s, FLASH as the plain run'"'"'s: %s: %s\n", $2, $3, $8, target, $9, met
    }' "$SKIP"
}
cat "$SKIP"
skip_targets

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
  echo "Board in FLASH mode; a verify run finds the image there. Tick ideal: (3 + 3N) ticks to program N"
  echo "blocks, (4 + 2N) ticks to verify them. Wire ideal: the bytes on the wire x 10 / baud (handshake 7"
  echo "bytes; per block 532 to program, 266 to verify); over TCP it is the tick ideal. On the"
  echo "pseudo-terminal the board models the line both ways at the baud given: it answers a packet once"
  echo "its last byte would have crossed the line, and paces its own bytes. Wall time is the whole CLI"
  echo "process (start-up, connection and run); CPU time is its user + system time (from the CLI's own"
  echo "clock), and includes the process's start-up, which dominates the 4 KiB rows."
  echo
  echo "Every image here ends exactly on a block boundary: the reader meets the end record only in the"
  echo "next-block state, one tick after the last block's read-back, so such a run takes one tick more"
  echo "than the tick ideal."
  echo
  table md
  if [ -f "$WORK/skipped" ]; then
    echo
    echo "Not run here (about 13 minutes; \`BENCH_FULL=1 make bench\` runs them):"
    awk '{ printf "- %s KiB over %s at tick %s\n", $2, $1, $4 }' "$WORK/skipped"
  fi
  if [ -f "$WORK/failures" ]; then
    echo
    echo "Runs that failed (their figures are not those of a whole run):"
    sed 's/^/- /' "$WORK/failures"
  fi
  echo
  echo "## Several boards at once"
  echo
  echo "Program 64 KiB (256 blocks) on each of N simulated boards over loopback TCP at tick 1 from one"
  echo "qrb-flash-cli process: wall time of the whole process, each board's run time from the report, CPU"
  echo "per block over all boards, peak memory and its growth per extra board."
  echo
  boards_table md
  echo
  echo "## Targets"
  echo
  targets
  echo
  echo "## Skipping unchanged blocks"
  echo
  echo "Program a 256 KiB image (1 024 blocks) at tick 1 with \`--skip-unchanged\` against a plain program"
  echo "run, over a pseudo-terminal on which the board models the line at 115200 baud and over loopback"
  echo "TCP. The board starts with the image itself, the image with one byte changed in 102 blocks picked"
  echo "at random (10%, scattered), another image (changed everywhere), or the image up to block 700 and"
  echo "the other image after it (a run resumed after a drop). Blocks written: the board's log; wall time:"
  echo "the whole CLI process; the board's FLASH afterwards is compared with the plain run's."
  echo
  cat "$SKIP"
  echo
  skip_targets
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
