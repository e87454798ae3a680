# Helpers for the end-to-end tests: the simulated board, the command-line
# front end, images made with srec_cat, and checks on the outcome.
# Needs SIM and CLI (the two programs); every test runs in its own WORK dir.
set -euo pipefail

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qrb-e2e.XXXXXX")
BOARD_PID=""
PORT=""
PTY=""
FAILURES=0

cleanup() {
  if [ -n "$BOARD_PID" ] && kill -0 "$BOARD_PID" 2>/dev/null; then kill -KILL "$BOARD_PID" 2>/dev/null || true; fi
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

# start_board [simulator options...]: a board on a free loopback port (unless
# the options name --pty alone); sets PORT and/or PTY. Saves its FLASH to
# $WORK/flash.bin from $BASE when BASE is set.
start_board() {
  local save=()
  [ -n "${BASE:-}" ] && save=(--save "$WORK/flash.bin" --base "$BASE")
  : >"$WORK/board.out"
  "$SIM" "$@" "${save[@]}" >"$WORK/board.out" 2>"$WORK/board.log" &
  BOARD_PID=$!
  local i
  for i in $(seq 200); do
    grep -q '^READY' "$WORK/board.out" && break
    kill -0 "$BOARD_PID" 2>/dev/null || break
    sleep 0.02
  done
  grep -q '^READY' "$WORK/board.out" || { cat "$WORK/board.log" >&2; echo "board did not start" >&2; exit 1; }
  PORT=$(sed -n 's/^TCP_PORT=//p' "$WORK/board.out")
  PTY=$(sed -n 's/^PTY=//p' "$WORK/board.out")
}

# stop_board: SIGTERM, and the board must stop cleanly (saving its FLASH).
stop_board() {
  kill -TERM "$BOARD_PID"
  local rc=0
  wait "$BOARD_PID" || rc=$?
  BOARD_PID=""
  [ "$rc" -eq 0 ] || fail "the board stopped with status $rc"
}

# cli NAME args...: runs the front end with a hard time limit; its stdout,
# stderr and exit status land in $WORK/NAME.{out,err,rc}.
cli() {
  local name=$1
  shift
  local rc=0
  timeout 60 "$CLI" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null || rc=$?
  echo "$rc" >"$WORK/$name.rc"
}

expect_rc() {  # NAME STATUS
  local got
  got=$(cat "$WORK/$1.rc")
  [ "$got" = "$2" ] || { fail "$1: exit status $got, expected $2"; sed 's/^/  | /' "$WORK/$1.out" "$WORK/$1.err" >&2; }
}

# expect_line NAME out|err TEXT: TEXT is one whole line of that stream.
expect_line() {
  grep -qxF -- "$3" "$WORK/$1.$2" || { fail "$1: no line '$3' on std$2"; sed 's/^/  | /' "$WORK/$1.$2" >&2; }
}

expect_count() {  # NAME out|err TEXT COUNT
  local got
  got=$(grep -cxF -- "$3" "$WORK/$1.$2" || true)
  [ "$got" = "$4" ] || fail "$1: '$3' appears $got times on std$2, expected $4"
}

expect_no_line() {  # NAME out|err TEXT
  if grep -qxF -- "$3" "$WORK/$1.$2"; then fail "$1: unexpected line '$3' on std$2"; fi
}

expect_contains() {  # NAME out|err TEXT (part of a line)
  grep -qF -- "$3" "$WORK/$1.$2" || { fail "$1: nothing like '$3' on std$2"; sed 's/^/  | /' "$WORK/$1.$2" >&2; }
}

# The lines a successful run ends with.
PROGRAM_SUCCESS="***  Success ***.  QRB interface FLASH Updated."
VERIFY_SUCCESS="***  Success ***.  QRB interface FLASH Verified."

expect_program_success() {
  expect_rc "$1" 0
  expect_line "$1" out "$PROGRAM_SUCCESS"
  expect_line "$1" out "Exit this program and Re-Boot the QRB interface."
  expect_no_line "$1" out "Verification errors: 0"
}

expect_verify_success() {
  expect_rc "$1" 0
  expect_line "$1" out "$VERIFY_SUCCESS"
}

expect_no_success() {
  expect_no_line "$1" out "$PROGRAM_SUCCESS"
  expect_no_line "$1" out "$VERIFY_SUCCESS"
}

# The Status list holds nothing but lines of the engine and the link: the
# front end's own messages go to stderr.
expect_clean_stdout() {
  if grep -q 'qrb-flash-cli' "$WORK/$1.out"; then fail "$1: front-end message on stdout"; fi
}

# srec IMAGE input-arguments... [-- output-options...]: makes $WORK/IMAGE with
# srec_cat the way a firmware build would hand it over: CR LF line ends, no
# header record.
srec() {
  local image=$1
  shift
  local inputs=() outputs=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do inputs+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  outputs=("$@")
  srec_cat "${inputs[@]}" -o "$WORK/$image" -crlf -disable=header "${outputs[@]}" 2>/dev/null
}

# expect_flash IMAGE: the board's saved FLASH (from BASE) equals srec_cat's
# own binary of the image, filled with 0xFF out to whole 256-byte blocks.
expect_flash() {
  local image=$WORK/$1
  srec_cat "$image" -fill 0xFF -over '(' "$image" ')' -range-padding 256 -offset "-$BASE" \
    -o "$WORK/expected.bin" -binary 2>/dev/null
  cmp -s "$WORK/expected.bin" "$WORK/flash.bin" ||
    fail "$1: board FLASH differs from srec_cat's binary ($(cmp "$WORK/expected.bin" "$WORK/flash.bin" 2>&1 | head -1))"
}
