#!/usr/bin/env bash
# Soak: RUNS runs over TCP and a pseudo-terminal, half on a fresh board with a random fault, half on
# two long-lived boards, now and then stopped by a signal. Each ends by itself as its fault allows,
# leaves no lock file and, programmed, the image in FLASH; the long-lived boards' descriptors and
# memory stay flat. Usage: soak.sh BIN-DIR RUNS [START]   (the same START draws the same runs)
set -euo pipefail
BIN=$(cd "$1" && pwd) RUNS=$2 START=${3:-$(date +%s)}
export SIM="$BIN/qrb-board-sim" CLI="$BIN/qrb-flash-cli"
# shellcheck source=../support/lib.sh
source "$(dirname "$0")/../support/lib.sh"
echo "soak: $RUNS runs, random start $START (repeat with: make soak SOAK_RUNS=$RUNS SOAK_START=$START)"
RANDOM=$START

# Images at disjoint addresses, no zero byte in their data.
NAMES=(one-block four-blocks hole eight-blocks)
declare -A BASES=([one-block]=0x1000 [four-blocks]=0x20000 [hole]=0x8000 [eight-blocks]=0x4000)
declare -A BLOCKS=([one-block]=1 [four-blocks]=4 [hole]=3 [eight-blocks]=8)
declare -A PROGRAMMED  # "LINK NAME" of the images the long-lived boards hold
srec one-block.s19 -generate 0x1000 0x10C8 -repeat-string "QRB soak one " -- -obs=16
srec four-blocks.s19 -generate 0x20000 0x20400 -repeat-string "QRB soak four " -- -obs=32 -address-length=3
srec hole.s19 -generate 0x8000 0x8180 -repeat-string "QRB soak hole " -generate 0x9000 0x9040 \
  -repeat-string "after the hole " -- -obs=28 -address-length=4
srec eight-blocks.s19 -generate 0x4000 0x4800 -repeat-string "QRB soak eight " -- -obs=64

sim tcp --tcp 0
sim pty --pty

SAMPLES=()
sample() {  # RUN: open descriptors and resident KiB of both long-lived boards
  local pid line=$1
  for pid in "${SIM_PID[tcp]}" "${SIM_PID[pty]}"; do
    line+=" $(find "/proc/$pid/fd" -mindepth 1 -maxdepth 1 | wc -l) $(awk '$1 == "VmRSS:" { print $2 }' "/proc/$pid/status")"
  done
  SAMPLES+=("$line")
}

draw() {  # VAR CHOICES...: in this shell, never a subshell, so that the runs repeat
  local -n drawn=$1
  local choices=("${@:2}")
  drawn=${choices[RANDOM % ${#choices[@]}]}
}

# reply_length OP H R: H status replies, then per block an acknowledgement (program) and a read-back.
reply_length() {
  if [ "$3" -le "$2" ]; then echo 5
  elif [ "$1" = verify ] || [ $((($3 - $2) % 2)) -eq 0 ]; then echo 258
  else echo 2; fi
}

for run in $(seq "$RUNS"); do
  draw link tcp pty
  draw name "${NAMES[@]}"
  n=${BLOCKS[$name]} image=$WORK/$name.s19 signal=""
  if [ $((RANDOM % 2)) -eq 0 ]; then  # a fresh board with a fault
    draw op program verify
    draw mode idle flash
    h=$([ "$mode" = idle ] && echo 2 || echo 1)
    replies=$((h + ($([ "$op" = program ] && echo 2 || echo 1)) * n))
    draw kind wrong-byte silent-from corrupt-readback split-reply stray-bytes drop-after flood-from
    expect=fail
    case $kind in
      wrong-byte)
        r=$((1 + RANDOM % replies)) len=$(reply_length "$op" "$h" "$r")
        draw i 0 1 $((RANDOM % 5)) $((RANDOM % 260))
        fault=(--wrong-byte "$r:$i")
        # A byte past the reply, or a status reply's version byte, spoils nothing.
        if [ "$i" -ge "$len" ] || { [ "$len" = 5 ] && [ "$i" = 4 ]; }; then expect=succeed; fi ;;
      silent-from | flood-from) fault=(--$kind $((1 + RANDOM % replies))) ;;
      corrupt-readback) fault=(--corrupt-readback "$((1 + RANDOM % n)):$((1 + RANDOM % 256))") ;;
      split-reply) fault=(--split-reply "$((1 + RANDOM % replies)):$((50 + RANDOM % 950))") expect=succeed ;;
      stray-bytes)  # any bytes but 0x91, which would pass for the status; drawn here, not in a subshell
        printf -v stray '%02X%02X' $((RANDOM % 0x91)) $((0x92 + RANDOM % 0x6E))
        fault=(--stray-bytes "$stray") expect=succeed ;;
      drop-after) k=$((1 + RANDOM % n)) && fault=(--drop-after "$k") && [ "$k" -lt "$n" ] || expect=either ;;
    esac
    BASE=${BASES[$name]}
    board "$link" --mode "$mode" $([ "$op" = program ] || echo --load "$image") "${fault[@]}"
    desc="$op $name over $link, board $mode, ${fault[*]}"
  else  # a long-lived board, no fault, now and then a stop signal
    BASE="" op=program expect=succeed kind=none WHERE=(--tcp "127.0.0.1:${SIM_PORT[tcp]}")
    [ "$link" = pty ] && WHERE=(--serial "${SIM_PTY[pty]}")
    [ -n "${PROGRAMMED[$link $name]:-}" ] && [ $((RANDOM % 2)) -eq 0 ] && op=verify
    desc="$op $name over $link, long-lived board"
    if [ $((RANDOM % 4)) -eq 0 ]; then
      draw signal INT TERM HUP
      delay=$((RANDOM % 800)) kind=signal
      desc+=", SIG$signal after $delay ms"
    fi
  fi
  [ "$link" = pty ] && WHERE+=(--baud 115200)

  if [ -n "$signal" ]; then
    CLI_AS="timeout 60" cli_bg run "$op" "$image" "${WHERE[@]}"
    sleep "$(printf '0.%03d' "$delay")"
    kill "-$signal" "$CLI_PID" 2>/dev/null || true  # timeout hands it on
    wait_cli run
  else
    cli run "$op" "$image" "${WHERE[@]}"
  fi
  rc=$(cat "$WORK/run.rc")
  [ -n "$BASE" ] && stop_board

  case $rc in
    0 | 1) ;;
    124) fail "run $run ($desc): no end within 60 s" ;;
    129 | 130 | 143)
      [ -n "$signal" ] && [ "$rc" = $((128 + $(kill -l "$signal"))) ] || fail "run $run ($desc): exit status $rc"
      if grep -qxF "Aborted processing." "$WORK/run.err"; then
        grep -qxF "Aborting.  ProgramMode = 0." "$WORK/run.err" || fail "run $run ($desc): aborted without its line"
      fi
      [ "$op" = program ] && unset "PROGRAMMED[$link $name]"  # partly programmed
      ;;
    *) fail "run $run ($desc): exit status $rc" ;;
  esac
  [ "$link" = pty ] && [ -n "$(lock_files "${WHERE[1]}")" ] && fail "run $run ($desc): lock file left: $(lock_files "${WHERE[1]}")"
  [ "$kind" = flood-from ] && expect_ms run -lt 8000
  [ "$rc" = 0 ] && [ "$expect" = fail ] && fail "run $run ($desc): succeeded although its fault spoils it"
  [ "$rc" = 1 ] && [ "$expect" = succeed ] && fail "run $run ($desc): failed although it should succeed"
  if [ "$rc" = 0 ] && [ "$op" = program ]; then
    if [ -n "$BASE" ]; then expect_flash "$name.s19"; else PROGRAMMED[$link $name]=1; fi
  fi
  printf 'run %d: %s: exit %s\n' "$run" "$desc" "$rc"
  [ "$FAILURES" = "${failed_before:-0}" ] || show "$WORK/run.out" "$WORK/run.err"
  failed_before=$FAILURES
  if [ $((run % 10)) -eq 0 ] || [ "$run" = 1 ] || [ "$run" = "$RUNS" ]; then sample "$run"; fi
done

# The long-lived boards: still there; from the first tenth of the runs on (start-up
# allocations settled) no descriptor gained and at most 1 MiB more memory.
echo "run   tcp-board fds  rss-KiB   pty-board fds  rss-KiB"
printf '%s\n' "${SAMPLES[@]}" | awk '{ printf "%-5s %13s %8s %15s %8s\n", $1, $2, $3, $4, $5 }'
read -r -a first <<<"${SAMPLES[$(((${#SAMPLES[@]} - 1) / 10))]}"
read -r -a last <<<"${SAMPLES[-1]}"
for i in 1 3; do  # the TCP board's columns, then the pseudo-terminal board's
  board=$([ "$i" = 1 ] && echo TCP || echo pseudo-terminal)
  [ "${last[i]}" -le "${first[i]}" ] || fail "$board board's open descriptors grew from ${first[i]} to ${last[i]}"
  [ "${last[i + 1]}" -le $((first[i + 1] + 1024)) ] ||
    fail "$board board's memory grew from ${first[i + 1]} to ${last[i + 1]} KiB"
done
for pid in "${SIM_PID[@]}"; do
  rc=0
  kill -TERM "$pid" && wait "$pid" || rc=$?
  [ "$rc" = 0 ] || fail "a long-lived board died or stopped with status $rc"
done
SIM_PID=()
finish
