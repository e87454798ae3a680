#!/usr/bin/env bash
# Times whole runs of qrb-flash-cli against qrb-board-sim (board in FLASH mode): program and verify
# over loopback TCP and over a pseudo-terminal at 115200 and 19200 baud, at tick 50 and tick 1; 1 to
# 16 boards at once; skipping unchanged blocks; a flooding board and the board's cost of noise; then
# the Google Benchmark figures of the core and the cost of posting to the window's lists. Writes the
# tables to RESULTS and prints them. Figures only: the exit status is 0 whatever they show. The
# 256 KiB runs at 19200 baud (about 13 minutes) run only with BENCH_FULL=1.
# Usage: run-bench.sh BIN-DIR RESULTS.md [SIZES-KIB...]   (the largest size also sizes the skip runs)
set -euo pipefail
BIN=$(cd "$1" && pwd) RESULTS=$2
shift 2
read -r -a SIZES <<<"${*:-4 64 256}"
SIM="$BIN/qrb-board-sim" CLI="$BIN/qrb-flash-cli"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qrb-bench.XXXXXX")
PIDS=()
trap 'for p in "${PIDS[@]}"; do kill -KILL "$p" 2>/dev/null; done; rm -rf "$WORK"' EXIT

# board tcp|ptyBAUD OPTIONS...: one more simulated board; LINK is the CLI's link to it, BOARD_LOG its log.
board() {
  local out=$WORK/board-${#PIDS[@]} how=(--tcp 0)
  [ "$1" = tcp ] || how=(--pty --baud "${1#pty}")
  : >"$out.out"
  "$SIM" "${how[@]}" "${@:2}" >"$out.out" 2>"$out.log" &
  PIDS+=($!) BOARD_LOG=$out.log
  for _ in $(seq 250); do grep -q '^READY' "$out.out" && break; sleep 0.02; done
  grep -q '^READY' "$out.out" || { cat "$out.log" >&2; echo "the simulated board did not start" >&2; exit 1; }
  LINK=(--tcp "127.0.0.1:$(sed -n 's/^TCP_PORT=//p' "$out.out")")
  [ "$1" = tcp ] || LINK=(--serial "$(sed -n 's/^PTY=//p' "$out.out")" --baud "${1#pty}")
}
stop_boards() { kill -TERM "${PIDS[@]}"; for p in "${PIDS[@]}"; do wait "$p" || true; done; PIDS=(); }

# run WHAT ARGS...: one timed CLI process, then its boards stopped. Sets RC, WALL (s), CPU (s, the CLI's
# own clock), RSS (KiB); $WORK/ticks holds its tick statistics. A failure is listed unless MAY_FAIL is set.
run() {
  echo "bench: $1 ..." >&2
  RC=0
  : >"$WORK/ticks"
  QRB_TICK_STATS="$WORK/ticks" /usr/bin/time -q -f '%e %M' -o "$WORK/time" "$CLI" "${@:2}" \
    >"$WORK/cli.out" 2>"$WORK/cli.err" </dev/null || RC=$?
  stop_boards
  [ "$RC" = 0 ] || [ -n "${MAY_FAIL:-}" ] || echo "- $1: exit $RC, $(tail -2 "$WORK/cli.err" | tr '\n' ' ')" >>"$WORK/failures"
  read -r WALL RSS <"$WORK/time"
  CPU=$(awk '$1 == "cpu_ms" { c = $2 / 1000 } END { print c + 0 }' "$WORK/ticks")
}

# head_md "a | b | c": a Markdown table's head.
head_md() { echo "| $1 |"; echo "|$(sed 's/[^|]*/---/g' <<<"$1")|"; }

s19() { srec_cat "$@" -o - -motorola -address-length=3 -obs=32 -crlf -disable=header -disable=data-count 2>/dev/null; }
image_of() {  # KIB: an image of that size from 0x10000
  [ -f "$WORK/image-$1.s19" ] ||
    s19 -generate 0x10000 $((0x10000 + $1 * 1024)) -repeat-string "QRB bench image " >"$WORK/image-$1.s19"
  echo "$WORK/image-$1.s19"
}

# ---- single runs: the tick ideal is the CLI's own (ideal_ticks); the wire ideal the bytes on the wire ----
head_md "link | tick ms | image | run | blocks | wall s | tick ideal s | wire ideal s | wall/tick ideal | wall/wire ideal | CPU ms/block | peak RSS MiB | exit" >"$WORK/runs.md"
for tick in 50 1; do
  for link in tcp pty115200 pty19200; do
    for kib in "${SIZES[@]}"; do
      [ "$link" = pty19200 ] && [ "$kib" -ge 256 ] && [ -z "${BENCH_FULL:-}" ] &&
        { echo "- $kib KiB over $link at tick $tick" >>"$WORK/skipped"; continue; }
      image=$(image_of "$kib")
      for op in program verify; do
        board "$link" --mode flash $([ "$op" = program ] || echo --load "$image")
        run "$op $kib KiB over $link at tick $tick" "$op" "$image" "${LINK[@]}" --tick "$tick"
        # Handshake 7 bytes; per block 532 to program (packet, reply, read-back request and answer), 266 to verify.
        awk -v row="$link $tick $kib $op $WALL $CPU $RSS $RC" -v baud="${link#pty}" '
          $1 == "blocks" { n = $2 } $1 == "ideal_ticks" { ideal = $2 }
          END {
            split(row, r, " "); d = n ? n : 1; tideal = ideal ? ideal * r[2] / 1000 : 1e-9
            wideal = baud + 0 ? (7 + (r[4] == "program" ? 532 : 266) * n) * 10 / baud : tideal
            printf "| %s | %s | %s KiB | %s | %d | %.2f | %.3f | %.3f | %.2f | %.2f | %.3f | %.1f | %s |\n", r[1], r[2], r[3],
              r[4], n, r[5], tideal, wideal, r[5] / tideal, r[5] / wideal, r[6] * 1000 / d, r[7] / 1024, r[8]
          }' "$WORK/ticks" >>"$WORK/runs.md"
      done
    done
  done
done

# ---- several boards at once over TCP at tick 1, 64 KiB each ----
head_md "boards | wall s | wall / one board | mean board s | slowest board s | CPU ms/block | peak RSS MiB | RSS per extra board MiB | exit" >"$WORK/boards.md"
for n in 1 4 8 16; do
  links=()
  for _ in $(seq "$n"); do board tcp --mode flash; links+=("${LINK[@]}"); done
  run "program 64 KiB on $n board(s) at once over TCP at tick 1" program "$(image_of 64)" "${links[@]}" --tick 1 \
    --report "$WORK/boards.json"
  [ "$n" = 1 ] && one="$WALL $RSS"
  python3 - "$WORK/boards.json" "$RC" "$n" "$WALL" "$CPU" "$RSS" $one <<'PY' >>"$WORK/boards.md" || echo "| $n | no report |" >>"$WORK/boards.md"
import json, sys
rc, (n, wall, cpu, rss, one, onerss) = sys.argv[2], map(float, sys.argv[3:])
boards = json.load(open(sys.argv[1]))["boards"]
s, blocks = [b["totals"]["seconds"] for b in boards], sum(b["totals"]["blocks"] for b in boards)
extra = f"{(rss - onerss) / 1024 / (n - 1):.2f}" if n > 1 else "-"
print(f"| {n:.0f} | {wall:.2f} | {wall / one:.2f} | {sum(s) / n:.2f} | {max(s):.2f} | {cpu * 1000 / blocks:.3f} | {rss / 1024:.1f} | {extra} | {rc} |")
PY
done

# ---- skipping unchanged blocks: the largest size at tick 1, against a plain run ----
BLOCKS=$((${SIZES[-1]} * 4)) START=0x10000
END=$((START + BLOCKS * 256)) RESUMED=$((BLOCKS * 700 / 1024))
image=$(image_of "${SIZES[-1]}")
s19 -generate $START $END -repeat-string "QRB older image " >"$WORK/everywhere.s19"
s19 "$image" -crop $START $((START + RESUMED * 256)) "$WORK/everywhere.s19" -crop $((START + RESUMED * 256)) $END \
  >"$WORK/resumed.s19"
# One byte changed in a tenth of the blocks, scattered (the same blocks on every run).
changed=()
for b in $(python3 -c 'import random, sys; n = int(sys.argv[1]); print(*random.Random(4242).sample(range(n), n // 10))' "$BLOCKS"); do
  at=$((START + b * 256 + 17))
  changed+=(-exclude $at $((at + 1)) -generate $at $((at + 1)) -constant 0x00)
done
s19 '(' "$image" ')' "${changed[@]}" >"$WORK/scattered.s19"
head_md "link | board holds | run | blocks written | unchanged | wall s | wall / plain | target | FLASH as the plain run's | exit | met" >"$WORK/skip.md"
for link in pty115200 tcp; do
  for row in "identical:image-${SIZES[-1]}:plain:" "identical:image-${SIZES[-1]}:skip:0.52" "10% changed, scattered:scattered:skip:0.70" \
    "changed everywhere:everywhere:skip:1.10" "resumed after block $RESUMED:resumed:skip:"; do
    IFS=: read -r what flash mode target <<<"$row"
    board "$link" --mode flash --load "$WORK/$flash.s19" --save "$WORK/$mode.bin" --base $START
    log=$BOARD_LOG
    run "$mode over $link, board holds $what" program "$image" "${LINK[@]}" --tick 1 $([ "$mode" = plain ] || echo --skip-unchanged)
    [ "$mode" = plain ] && plain=$WALL
    awk -v row="$link|$what|$mode|$(grep -c 'wrote block' "$log")|$(grep -c -- '-- Unchanged\.$' "$WORK/cli.out")|$WALL|$plain|$target|$RC" \
      -v same="$(cmp -s "$WORK/plain.bin" "$WORK/$mode.bin" && echo yes || echo NO)" 'BEGIN { split(row, r, "|"); q = r[6] / r[7]
        printf "| %s | %s | %s | %s | %s | %s | %.2f | %s | %s | %s | %s |\n", r[1], r[2], r[3], r[4], r[5], r[6], q,
          r[8] == "" ? "-" : r[8], same, r[9], (r[8] == "" || q <= r[8]) && same == "yes" ? "met" : "NOT met" }' >>"$WORK/skip.md"
  done
done

# ---- hostile links: a board that floods the link, and the board's cost of noise ----
s19 -generate 0x10000 0x10400 -constant 0x5A >"$WORK/flood.s19"
head_md "case | run ends after s | exit | longest tick gap ms | ticks | stdout + stderr bytes | peak RSS MiB" >"$WORK/hostile.md"
for flood in 1 2; do
  board tcp --mode flash --flood-from "$flood"
  MAY_FAIL=1 run "a board that floods from its reply $flood" program "$WORK/flood.s19" "${LINK[@]}"
  printf '| flood %s the status | %s | %s | %.1f | %s | %s | %.1f |\n' "$([ "$flood" = 1 ] && echo "in place of" || echo after)" \
    "$WALL" "$RC" "$(awk '$1 == "period_ms" { print $9 }' "$WORK/ticks")" "$(awk '$1 == "ticks" { print $2 }' "$WORK/ticks")" \
    "$(cat "$WORK/cli.out" "$WORK/cli.err" | wc -c)" "$(awk -v k="$RSS" 'BEGIN { print k / 1024 }')" >>"$WORK/hostile.md"
done
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); split($0, f, " "); printf "%d\n", (f[12] + f[13]) * 1000 / hz }' "/proc/$1/stat"; }
head -c 1048576 /dev/urandom | tr -d '\361\341\127' >"$WORK/noise"
board tcp
before=$(cpu_ms "${PIDS[0]}")
cat "$WORK/noise" >"/dev/tcp/127.0.0.1/${LINK[1]#*:}"
sleep 0.5
echo "The simulated board skipped $(wc -c <"$WORK/noise") bytes of noise in $(($(cpu_ms "${PIDS[0]}") - before)) ms of CPU" \
  "(target: 1 MiB under 200 ms)." >"$WORK/noise.md"
stop_boards

# ---- in process: Google Benchmark of the core, posting to the window's lists ----
echo "bench: Google Benchmark and the window's lists ..." >&2
for program in "qrb_bench --benchmark_min_time=0.5" qrb_list_bench; do
  set -- $program
  if [ -x "$BIN/$1" ]; then QT_QPA_PLATFORM=offscreen "$BIN/$1" "${@:2}" >"$WORK/$1.txt" 2>&1
  else echo "$1 was not built (qrb_bench needs libbenchmark-dev)" >"$WORK/$1.txt"; fi
done

targets() {
  awk -F' *[|] *' -v large="${SIZES[-1]} KiB" '
    function t(text, ok) { print "- " text ": " (ok ? "met" : "NOT met") }
    FILENAME ~ /runs/ {
      if ($2 == "pty115200" && $3 == 1 && $11 > pty) pty = $11
      if ($2 == "tcp" && $3 == 1 && $4 == large && $5 == "program") tcp = $7
      if ($3 == 50 && $4 + 0 >= 64 && $2 != "pty19200" && $10 > slow) slow = $10
    }
    FILENAME ~ /boards/ && $2 == 16 { many = $4; cpu = $7; extra = $9 }
    FILENAME ~ /skip/ && $12 == "NOT met" { skip++ }
    END {
      t(sprintf("tick 1, pty at 115200 baud: worst wall / wire ideal %.2f (target at most 1.15)", pty), pty <= 1.15)
      t(sprintf("tick 1, TCP: %s program in %.2f s (target under 5 s)", large, tcp), tcp < 5)
      t(sprintf("16 boards at once, 64 KiB, TCP, tick 1: wall %.2fx one board'"'"'s (target at most 1.3)", many), many <= 1.3)
      t(sprintf("16 boards at once: CPU %.3f ms per block (target under 0.2)", cpu), cpu < 0.2)
      t(sprintf("16 boards at once: %.2f MiB per extra board (target under 2)", extra), extra < 2)
      t(sprintf("tick 50, from 64 KiB, TCP and pty at 115200 baud: worst wall / tick ideal %.3f (target at most 1.02)", slow), slow <= 1.02)
      t(sprintf("skipping unchanged blocks: %d row(s) above their target or with other FLASH than the plain run'"'"'s", skip), !skip)
    }' "$WORK/runs.md" "$WORK/boards.md" "$WORK/skip.md"
}

# section TITLE TEXT FILES...: one part of RESULTS.
section() { printf '\n## %s\n\n' "$1"; [ -z "$2" ] || printf '%s\n\n' "$2"; cat "${@:3}"; }
code() { echo '```'; cat "$1"; echo '```'; }
{
  echo "# Benchmark results"
  echo
  echo "Written by \`make bench\` on $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
    "$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), shared with other work."
  section "qrb-flash-cli against qrb-board-sim" "Board in FLASH mode; a verify run finds the image there. \
Tick ideal: the run's ticks on a board that answers at once, as the CLI reports them (QRB_TICK_STATS); an image \
ending on a block boundary takes one tick more. Wire ideal: bytes on the wire x 10 / baud (over TCP the tick ideal); \
on the pseudo-terminal the board models the line at that baud. Wall and CPU: the whole CLI process." "$WORK/runs.md"
  [ ! -f "$WORK/skipped" ] || { echo; echo "Not run here (\`BENCH_FULL=1 make bench\` runs them):"; cat "$WORK/skipped"; }
  [ ! -f "$WORK/failures" ] || { echo; echo "Runs that failed:"; cat "$WORK/failures"; }
  section "Several boards at once" "64 KiB on each of N boards over TCP at tick 1 from one process; board times \
from the report." "$WORK/boards.md"
  section "Skipping unchanged blocks" "${SIZES[-1]} KiB ($BLOCKS blocks) at tick 1 with \`--skip-unchanged\` against \
a plain run; blocks written from the board's log. Met: wall / plain at most the target, and the board's FLASH \
afterwards as the plain run's." "$WORK/skip.md"
  section Targets "" <(targets)
  section "Hostile links" "A 4-block program run over TCP against a board flooding 0x00 at 10 MB/s; tick gaps from \
QRB_TICK_STATS." "$WORK/hostile.md" <(echo) "$WORK/noise.md"
  section "Google Benchmark: one tick in each kind of state, reading S19 records, the pre-flight" "For the ticks read \
the Time column: the CPU column also counts the untimed ticks between timed ones." <(code "$WORK/qrb_bench.txt")
  section "Posting a 1,000-block run's lines to the desktop program's lists" "" <(code "$WORK/qrb_list_bench.txt")
} >"$RESULTS"
cat "$RESULTS"
