#!/usr/bin/env bash
# Soak: RUNS program and verify runs back to back through qrb-flash-cli against
# qrb-board-sim, over loopback TCP and a pseudo-terminal: half against a fresh
# board with a random fault (a flood among them), half against two long-lived
# boards, some of those runs stopped by a signal or preceded by a churn of raw
# clients. Every run ends by itself with the outcome its fault allows, leaves
# no lock file and, programmed, exactly the image in FLASH; the long-lived
# boards' descriptors and memory stay flat.
#
# Usage: soak.sh BIN-DIR RUNS [START]     (the same START draws the same runs)
set -euo pipefail
BIN=$(cd "$1" && pwd)
RUNS=$2
START=${3:-$(date +%s)}
SIM="$BIN/qrb-board-sim"
CLI="$BIN/qrb-flash-cli"
export SIM CLI
# shellcheck source=../support/lib.sh
source "$(dirname "$0")/../support/lib.sh"

echo "soak: $RUNS runs, random start $START (repeat with: make soak SOAK_RUNS=$RUNS SOAK_START=$START)"
RANDOM=$START

# ---- images: disjoint addresses, no zero byte in their data ----
NAMES=(one-block four-blocks hole eight-blocks)
declare -A BASES BLOCKS
srec one-block.s19 -generate 0x1000 0x10C8 -repeat-string "QRB soak one " -- -obs=16
srec four-blocks.s19 -generate 0x20000 0x20400 -repeat-string "QRB soak four " -- -obs=32 -address-length=3
srec hole.s19 -generate 0x8000 0x8180 -repeat-string "QRB soak hole " -generate 0x9000 0x9040 \
  -repeat-string "after the hole " -- -obs=28 -address-length=4
srec eight-blocks.s19 -generate 0x4000 0x4800 -repeat-string "QRB soak eight " -- -obs=64
BASES=([one-block]=0x1000 [four-blocks]=0x20000 [hole]=0x8000 [eight-blocks]=0x4000)
BLOCKS=([one-block]=1 [four-blocks]=4 [hole]=3 [eight-blocks]=8)
for name in "${NAMES[@]}"; do  # the same image with one byte changed
  base=${BASES[$name]}
  srec "$name-spoiled.s19" "$WORK/$name.s19" -exclude $((base + 5)) $((base + 6)) \
    -generate $((base + 5)) $((base + 6)) -constant 0x00 -- -obs=16 -address-length=4
done

# ---- the two long-lived boards ----
start_board --tcp 0
LONG_TCP_PID=$BOARD_PID LONG_TCP_PORT=$PORT
mv "$WORK/board.log" "$WORK/long-tcp.log"
start_board --pty
LONG_PTY_PID=$BOARD_PID LONG_PTY=$PTY
mv "$WORK/board.log" "$WORK/long-pty.log"
BOARD_PID=""
stop_long_boards() {
  local pid
  for pid in ${LONG_TCP_PID:-} ${LONG_PTY_PID:-}; do kill -KILL "$pid" 2>/dev/null || true; done
}
trap 'stop_long_boards; cleanup' EXIT
declare -A PROGRAMMED_TCP PROGRAMMED_PTY  # images each long-lived board holds

fds() { find "/proc/$1/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l; }
rss() { awk '$1 == "VmRSS:" { print $2 }' "/proc/$1/status"; }
SAMPLES=()
sample() {  # RUN
  SAMPLES+=("$1 $(fds "$LONG_TCP_PID") $(rss "$LONG_TCP_PID") $(fds "$LONG_PTY_PID") $(rss "$LONG_PTY_PID")")
}

# cli_signalled NAME SIGNAL DELAY-MS args...: like cli, with SIGNAL sent to
# the front end DELAY-MS after its start (unless it has ended by then).
cli_signalled() {
  local name=$1 signal=$2 delay=$3 pid rc=0 i
  shift 3
  "$CLI" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill "-$signal" "$pid" 2>/dev/null || true
  for i in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { kill -KILL "$pid"; rc=124; }
  if [ "$rc" = 124 ]; then wait "$pid" 2>/dev/null || true; else wait "$pid" || rc=$?; fi
  echo "$rc" >"$WORK/$name.rc"
}

# churn PORT: 1 to 4 raw clients connect, some send a few random bytes or a
# packet's first half, and all hang up in random order. Sets churned.
churn() {
  local port=$1 fds=() fd i
  churned=$((1 + RANDOM % 4))
  for i in $(seq "$churned"); do
    exec {fd}<>"/dev/tcp/127.0.0.1/$port" || continue
    fds+=("$fd")
    case $((RANDOM % 3)) in
      0) printf "$(printf '\\%03o\\%03o' $((RANDOM % 256)) $((RANDOM % 256)))" >&"$fd" 2>/dev/null || true ;;
      1) printf '\x57\x3a\x00' >&"$fd" 2>/dev/null || true ;;
    esac
  done
  while [ ${#fds[@]} -gt 0 ]; do
    i=$((RANDOM % ${#fds[@]}))
    fd=${fds[i]}
    exec {fd}>&-
    fds=("${fds[@]:0:i}" "${fds[@]:i+1}")
  done
  sleep 0.05  # the board notices the hang-ups
}

# draw VAR CHOICES...: VAR = one of the choices. Every draw happens in this
# shell: a subshell restarts RANDOM, and the runs would not repeat.
draw() {
  local -n drawn=$1
  shift
  local choices=("$@")
  drawn=${choices[RANDOM % ${#choices[@]}]}
}

# Replies of a run, in order: h status replies (one from a board in FLASH
# mode, two from one at start-up idle), then per block an acknowledgement
# (program runs) and a read-back.
reply_length() {  # OP H N R -> length of reply R
  local op=$1 h=$2 r=$4
  if [ "$r" -le "$h" ]; then echo 5; return; fi
  if [ "$op" = verify ] || [ $(((r - h) % 2)) -eq 0 ]; then echo 258; else echo 2; fi
}

declare -A OUTCOMES
failed_before=0
for run in $(seq "$RUNS"); do
  draw link tcp pty
  draw name "${NAMES[@]}"
  n=${BLOCKS[$name]}
  image=$WORK/$name.s19
  if [ $((RANDOM % 2)) -eq 0 ]; then
    # ---- a fresh board with a fault ----
    draw op program verify
    draw mode idle flash
    h=$([ "$mode" = idle ] && echo 2 || echo 1)
    per_block=1
    [ "$op" = program ] && per_block=2
    replies=$((h + per_block * n))
    draw kind wrong-byte silent-from corrupt-readback split-reply stray-bytes drop-after flood-from
    expect=succeed
    case $kind in
      wrong-byte)
        r=$((1 + RANDOM % replies)) len=$(reply_length "$op" "$h" "$n" "$r")
        header=$((RANDOM % 5)) anywhere=$((RANDOM % 260))
        draw i 0 1 "$header" "$anywhere"
        fault=(--wrong-byte "$r:$i")
        if [ "$i" -lt "$len" ] && ! { [ "$len" = 5 ] && [ "$i" = 4 ]; }; then expect=fail; fi ;;
      silent-from) fault=(--silent-from $((1 + RANDOM % replies))) expect=fail ;;
      corrupt-readback) fault=(--corrupt-readback "$((1 + RANDOM % n)):$((1 + RANDOM % 256))") expect=fail ;;
      split-reply) fault=(--split-reply "$((1 + RANDOM % replies)):$((50 + RANDOM % 950))") ;;
      stray-bytes)  # any bytes but 0x91, which would pass for the status
        below=$((RANDOM % 0x91)) above=$((0x92 + RANDOM % 0x6E))
        fault=(--stray-bytes "$(printf '%02X%02X' "$below" "$above")") ;;
      flood-from) fault=(--flood-from $((1 + RANDOM % replies))) expect=fail ;;
      drop-after)
        k=$((1 + RANDOM % n))
        fault=(--drop-after "$k")
        if [ "$k" -lt "$n" ]; then expect=fail; else expect=either; fi ;;
    esac
    load=() holds="the image"
    if [ "$op" = verify ]; then
      if [ $((RANDOM % 3)) -eq 0 ]; then load=(--load "$WORK/$name-spoiled.s19") expect=fail holds="one byte off"
      else load=(--load "$image"); fi
    fi
    BASE=${BASES[$name]}
    where=(--tcp 0)
    [ "$link" = pty ] && where=(--pty)
    start_board "${where[@]}" --mode "$mode" "${load[@]}" "${fault[@]}"
    desc="$op $name over $link, board $mode, ${fault[*]}"
    [ "$op" = verify ] && desc+=", FLASH holds $holds"
  else
    # ---- a long-lived board, no fault ----
    BASE=""
    if [ "$link" = tcp ]; then held=${PROGRAMMED_TCP[$name]:-}; else held=${PROGRAMMED_PTY[$name]:-}; fi
    op=program
    [ -n "$held" ] && [ $((RANDOM % 2)) -eq 0 ] && op=verify
    expect=succeed kind=none
    desc="$op $name over $link, long-lived board"
    case $((RANDOM % 4)) in
      0)
        draw signal INT TERM HUP
        delay=$((RANDOM % 800))
        kind=signal desc+=", SIG$signal after $delay ms" ;;
      1)
        if [ "$link" = tcp ]; then
          kind=churn
          churn "$LONG_TCP_PORT"
          desc+=", after a churn of $churned raw clients"
        fi ;;
    esac
  fi

  if [ "$link" = tcp ]; then
    port=$PORT
    [ -z "$BASE" ] && port=$LONG_TCP_PORT
    where=(--tcp "127.0.0.1:$port")
  else
    dev=$PTY
    [ -z "$BASE" ] && dev=$LONG_PTY
    where=(--serial "$dev" --baud 115200)
  fi
  started=$(date +%s%N)
  if [ "$kind" = signal ]; then
    cli_signalled run "$signal" "$delay" "$op" "$image" "${where[@]}"
  else
    cli run "$op" "$image" "${where[@]}"
  fi
  took=$((($(date +%s%N) - started) / 1000000))
  rc=$(cat "$WORK/run.rc")
  [ -n "$BASE" ] && stop_board

  case $rc in
    0 | 1) ;;
    124) fail "run $run ($desc): no end within 60 s" ;;
    129 | 130 | 143)
      [ "$kind" = signal ] || fail "run $run ($desc): exit status $rc without a signal"
      [ "$rc" = $((128 + $(kill -l "$signal"))) ] || fail "run $run ($desc): exit status $rc for SIG$signal"
      if grep -qxF "Aborted processing." "$WORK/run.err"; then
        grep -qxF "Aborting.  ProgramMode = 0." "$WORK/run.err" || fail "run $run ($desc): aborted without its line"
      fi
      [ "$link" = pty ] && [ -n "$(lock_files "$dev")" ] && fail "run $run ($desc): lock file left: $(lock_files "$dev")"
      [ "$op" = program ] && unset "PROGRAMMED_${link^^}[$name]"  # partly programmed
      ;;
    *) fail "run $run ($desc): exit status $rc" ;;
  esac
  [ "$kind" = flood-from ] && [ "$took" -gt 8000 ] && fail "run $run ($desc): took $took ms under the flood"
  if [ "$rc" = 0 ] && [ "$expect" = fail ]; then fail "run $run ($desc): succeeded although its fault spoils it"; fi
  if [ "$rc" = 1 ] && [ "$expect" = succeed ]; then fail "run $run ($desc): failed although it should succeed"; fi
  if [ "$rc" = 0 ] && [ -n "$BASE" ] && [ "$op" = program ]; then expect_flash "$name.s19"; fi
  if [ "$rc" = 0 ] && [ -z "$BASE" ] && [ "$op" = program ]; then
    if [ "$link" = tcp ]; then PROGRAMMED_TCP[$name]=1; else PROGRAMMED_PTY[$name]=1; fi
  fi
  printf 'run %d: %s: exit %s\n' "$run" "$desc" "$rc"
  OUTCOMES["$kind $([ "$rc" = 0 ] && echo ok || echo failed)"]=$((${OUTCOMES["$kind $([ "$rc" = 0 ] && echo ok || echo failed)"]:-0} + 1))
  if [ "$FAILURES" -gt "$failed_before" ]; then
    failed_before=$FAILURES
    sed 's/^/  | /' "$WORK/run.out" "$WORK/run.err" >&2
  fi
  if [ $((run % 10)) -eq 0 ] || [ "$run" = 1 ] || [ "$run" = "$RUNS" ]; then sample "$run"; fi
done

# ---- the long-lived boards: still there, descriptors and memory flat ----
[ "$run" = "$RUNS" ] || { echo "soak: stopped after run $run of $RUNS" >&2; exit 1; }
for pid in "$LONG_TCP_PID" "$LONG_PTY_PID"; do kill -0 "$pid" 2>/dev/null || fail "a long-lived board died"; done
echo
echo "run   tcp-board fds  rss-KiB   pty-board fds  rss-KiB"
printf '%s\n' "${SAMPLES[@]}" | awk '{ printf "%-5s %13s %8s %15s %8s\n", $1, $2, $3, $4, $5 }'
# From the first tenth of the runs on (start-up allocations settled), no
# descriptor may be gained and memory may grow by at most 1 MiB.
read -r _ tcp_fd0 tcp_rss0 pty_fd0 pty_rss0 <<<"${SAMPLES[$(((${#SAMPLES[@]} - 1) / 10))]}"
read -r _ tcp_fd1 tcp_rss1 pty_fd1 pty_rss1 <<<"${SAMPLES[-1]}"
[ "$tcp_fd1" -le "$tcp_fd0" ] || fail "TCP board's open descriptors grew from $tcp_fd0 to $tcp_fd1"
[ "$pty_fd1" -le "$pty_fd0" ] || fail "pseudo-terminal board's open descriptors grew from $pty_fd0 to $pty_fd1"
[ "$tcp_rss1" -le $((tcp_rss0 + 1024)) ] || fail "TCP board's memory grew from $tcp_rss0 to $tcp_rss1 KiB"
[ "$pty_rss1" -le $((pty_rss0 + 1024)) ] || fail "pseudo-terminal board's memory grew from $pty_rss0 to $pty_rss1 KiB"
for pid in "$LONG_TCP_PID" "$LONG_PTY_PID"; do
  kill -TERM "$pid"
  rc=0
  wait "$pid" || rc=$?
  [ "$rc" = 0 ] || fail "a long-lived board stopped with status $rc"
done
LONG_TCP_PID="" LONG_PTY_PID=""

echo
echo "fault              outcome  runs"
for key in "${!OUTCOMES[@]}"; do echo "$key ${OUTCOMES[$key]}"; done | sort | awk '{ printf "%-18s %-8s %4s\n", $1, $2, $3 }'
echo "soak: random start $START, $RUNS runs"
finish
