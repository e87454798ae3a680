# Helpers for the end-to-end tests: the simulated board, the command-line
# front end, images made with srec_cat, and checks on the outcome.
# Needs SIM and CLI (the two programs); every test runs in its own WORK dir.
set -euo pipefail

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qrb-e2e.XXXXXX")
BOARD_PID="" PORT="" PTY="" FAILURES=0
declare -A SIM_PID=() SIM_PORT=() SIM_PTY=()

cleanup() {
  [ -z "$BOARD_PID" ] || kill -KILL "$BOARD_PID" 2>/dev/null || true
  [ "${#SIM_PID[@]}" = 0 ] || kill -KILL "${SIM_PID[@]}" 2>/dev/null || true
  if [ "$FAILURES" -eq 0 ]; then rm -rf "$WORK"; else echo "kept $WORK"; fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}

finish() {
  [ "$FAILURES" -eq 0 ] || { echo "$FAILURES check(s) failed" >&2; exit 1; }
  echo "all checks passed"
}

wait_for() {  # SECONDS COMMAND...: polls COMMAND every 0.05 s until it succeeds
  local _
  for _ in $(seq $(($1 * 20))); do "${@:2}" && return 0; sleep 0.05; done
  return 1
}

# start_board [simulator options...]: sets PORT (--tcp 0) and/or PTY (--pty).
# Saves its FLASH to $WORK/flash.bin from $BASE when BASE is set.
start_board() {
  local save=()
  [ -n "${BASE:-}" ] && save=(--save "$WORK/flash.bin" --base "$BASE")
  : >"$WORK/board.out"
  "$SIM" "$@" "${save[@]}" >"$WORK/board.out" 2>"$WORK/board.log" &
  BOARD_PID=$!
  wait_for 4 grep -q '^READY' "$WORK/board.out" || { cat "$WORK/board.log" >&2; echo "board did not start" >&2; exit 1; }
  PORT=$(sed -n 's/^TCP_PORT=//p' "$WORK/board.out")
  PTY=$(sed -n 's/^PTY=//p' "$WORK/board.out")
}

# board tcp|pty|ptyBAUD [simulator options...]: start_board on that link; WHERE is the front end's link to it.
board() {
  case $1 in
    tcp) start_board --tcp 0 "${@:2}"; WHERE=(--tcp "127.0.0.1:$PORT") ;;
    pty) start_board --pty "${@:2}"; WHERE=(--serial "$PTY") ;;
    *) start_board --pty --baud "${1#pty}" "${@:2}"; WHERE=(--serial "$PTY" --baud "${1#pty}") ;;
  esac
}

# sim NAME options...: one more board, beside start_board's, until stop_sims; its port or pty
# in SIM_PORT[NAME] / SIM_PTY[NAME], its log in $WORK/NAME.board.log.
sim() {
  BASE="" start_board "${@:2}"
  mv "$WORK/board.log" "$WORK/$1.board.log"
  SIM_PID[$1]=$BOARD_PID SIM_PORT[$1]=$PORT SIM_PTY[$1]=$PTY BOARD_PID=""
}
stop_sims() { kill -TERM "${SIM_PID[@]}" 2>/dev/null || true; wait "${SIM_PID[@]}" 2>/dev/null || true; SIM_PID=(); }

# stop_board: SIGTERM, and the board must stop cleanly (saving its FLASH).
stop_board() {
  kill -TERM "$BOARD_PID"
  local rc=0
  wait "$BOARD_PID" || rc=$?
  BOARD_PID=""
  [ "$rc" -eq 0 ] || fail "the board stopped with status $rc"
}

# cli NAME args...: the front end with a hard time limit; its stdout, stderr,
# exit status and milliseconds taken land in $WORK/NAME.{out,err,rc,ms}
# (stdout in CLI_OUT, stderr in CLI_ERR when set; run through the command CLI_AS).
cli() { CLI_AS="timeout 60 ${CLI_AS:-}" cli_bg "$@"; wait_cli "$1"; }

# cli_bg NAME args...: the same in the background (CLI_PID), without the time
# limit; wait_cli NAME then writes $WORK/NAME.rc and NAME.ms.
cli_bg() {
  CLI_STARTED=$(date +%s%N)
  ${CLI_AS:-} "$CLI" "${@:2}" >"${CLI_OUT:-$WORK/$1.out}" 2>"${CLI_ERR:-$WORK/$1.err}" </dev/null &
  CLI_PID=$!
}
wait_cli() {
  local rc=0
  wait "$CLI_PID" || rc=$?
  echo "$rc" >"$WORK/$1.rc"
  echo $((($(date +%s%N) - CLI_STARTED) / 1000000)) >"$WORK/$1.ms"
}

# lock_files DEVICE: the lock files the serial link holds for DEVICE, if any.
lock_files() {
  local name
  name=$(basename "$1")
  find /var/lock/ /run/lock/ /tmp/ -maxdepth 1 \( -name "LCK..$name" -o -name "LCK..*_$name" \) 2>/dev/null | sort -u || true
}

show() { sed 's/^/  | /' "$@" >&2; }

expect_rc() {  # NAME STATUS [out|err TEXT...]: the exit status, and each TEXT a whole line of that stream
  [ "$(cat "$WORK/$1.rc")" = "$2" ] || { fail "$1: exit status $(cat "$WORK/$1.rc"), expected $2"; show "$WORK/$1".{out,err}; }
  [ $# -lt 4 ] || expect_line "$1" "$3" "${@:4}"
}

expect_line() {  # NAME out|err TEXT...: each TEXT is one whole line of that stream
  local text
  for text in "${@:3}"; do
    grep -qxF -- "$text" "$WORK/$1.$2" || { fail "$1: no line '$text' on std$2"; show "$WORK/$1.$2"; }
  done
}

expect_empty() {  # NAME out|err
  [ ! -s "$WORK/$1.$2" ] || { fail "$1: std$2 is not empty"; show "$WORK/$1.$2"; }
}

expect_ms() {  # NAME -lt|-ge MS: how long the run took
  [ "$(cat "$WORK/$1.ms")" "$2" "$3" ] || fail "$1: took $(cat "$WORK/$1.ms") ms, expected $2 $3"
}

expect_count() {  # NAME out|err TEXT COUNT: how often TEXT is a whole line
  local got
  got=$(grep -cxF -- "$3" "$WORK/$1.$2" || true)
  [ "$got" = "$4" ] || fail "$1: '$3' appears $got times on std$2, expected $4"
}

expect_contains() {  # NAME out|err TEXT...: each TEXT part of a line
  local text
  for text in "${@:3}"; do
    grep -qF -- "$text" "$WORK/$1.$2" || { fail "$1: nothing like '$text' on std$2"; show "$WORK/$1.$2"; }
  done
}

PROGRAM_SUCCESS="***  Success ***.  QRB interface FLASH Updated."
VERIFY_SUCCESS="***  Success ***.  QRB interface FLASH Verified."
VERIFIED="                           -- Verified."

expect_no_success() {
  expect_count "$1" out "$PROGRAM_SUCCESS" 0
  expect_count "$1" out "$VERIFY_SUCCESS" 0
}

# A successful run; the front end's own messages go to stderr, never into the
# Status list on stdout.
expect_success() {  # NAME program|verify
  expect_rc "$1" 0
  if [ "$2" = program ]; then
    expect_line "$1" out "$PROGRAM_SUCCESS"
    expect_line "$1" out "Exit this program and Re-Boot the QRB interface."
    expect_count "$1" out "Verification errors: 0" 0
  else
    expect_line "$1" out "$VERIFY_SUCCESS"
  fi
  if grep -q 'qrb-flash-cli' "$WORK/$1.out"; then fail "$1: front-end message on stdout"; fi
}

# srec IMAGE input-arguments... [-- output-options...]: makes $WORK/IMAGE with
# srec_cat as a firmware build hands it over: CR LF line ends, no header.
srec() {
  local image=$1 inputs=()
  shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do inputs+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  srec_cat "${inputs[@]}" -o "$WORK/$image" -crlf -disable=header "$@" 2>/dev/null
}

# srec_info_ranges FILE: the data ranges srec_info finds, as check prints them
# ("0x1000-0x113F, 0x1400-0x141F").
srec_info_ranges() {
  local first _ last ranges=""
  while read -r first _ last; do
    ranges+="${ranges:+, }$(printf '0x%X-0x%X' "0x$first" "0x$last")"
  done < <(srec_info "$1" 2>/dev/null | sed -n '/^Data:/,$p' | sed 's/^Data://')
  echo "$ranges"
}

# binary FILE [srec_cat filters...]: the data as srec_cat reads it, as a binary image from address 0.
binary() { srec_cat "$@" -o - -binary 2>/dev/null; }

# expect_flash IMAGE: the board's saved FLASH (from BASE) equals srec_cat's
# own binary of the image, filled with 0xFF out to whole 256-byte blocks.
expect_flash() {
  local image=$WORK/$1
  srec_cat "$image" -fill 0xFF -over '(' "$image" ')' -range-padding 256 -offset "-$BASE" \
    -o "$WORK/expected.bin" -binary 2>/dev/null
  cmp -s "$WORK/expected.bin" "$WORK/flash.bin" ||
    fail "$1: board FLASH differs from srec_cat's binary ($(cmp "$WORK/expected.bin" "$WORK/flash.bin" 2>&1 | head -1))"
}
