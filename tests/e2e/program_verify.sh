#!/usr/bin/env bash
# Programs and verifies an image made with srec_cat; the board's FLASH must equal srec_cat's binary.
# Usage: program_verify.sh s1|s2   (S3 to the top of the range: corpus.sh; a pseudo-terminal: production.sh tick)
. "$(dirname "$0")/../support/lib.sh"

case "$1" in
  s1)  # S1, 24-byte records running across the block boundary, board at start-up idle
    BASE=0x1000
    srec image.s19 -generate 0x1000 0x112C -repeat-string "QRB FLASH test " \
      -execution-start-address 0x1000 -- -address-length=2 -obs=24 -disable=data-count
    board=(--tcp 0 --mode idle) ;;
  s2)  # S2, 32-byte records, aligned holes, one block exactly full, board in FLASH mode
    BASE=0x20000
    srec image.s19 -generate 0x20000 0x20140 -repeat-data 1 2 3 4 5 \
      -generate 0x20400 0x20500 -repeat-data 0xA5 0x5A -generate 0x21000 0x21011 -constant 0x3C \
      -- -address-length=3 -obs=32
    board=(--tcp 0 --mode flash) ;;
  *) echo "unknown case $1" >&2; exit 2 ;;
esac

start_board "${board[@]}"
link=(--tcp "127.0.0.1:$PORT")

cli check check "$WORK/image.s19"
expect_rc check 0

for op in program verify; do
  cli $op $op "$WORK/image.s19" "${link[@]}"
  expect_success $op $op
  expect_line $op err "Aborting.  ProgramMode = 0."
done

# The whole of both lists of the first case, verbatim and in order.
if [ "$1" = s1 ]; then
  printf '%s\n' "QRB interface at startup idle.  Version:  \$15" \
    "Flushing Port Buffers.  Short delay.  Please wait." \
    "QRB interface in FLASH mode.  Version:  \$15" \
    "Block  \$1000     -- Sent." "                           -- Verified." \
    "Block  \$1100     -- Sent." "  " "$PROGRAM_SUCCESS" \
    "Exit this program and Re-Boot the QRB interface." >"$WORK/want.out"
  printf '%s\n' "Ethernet connection pending." "Ethernet connection complete." "S9 record detected." \
    "Aborting.  ProgramMode = 0." "Ethernet connection closed." >"$WORK/want.err"
  for stream in out err; do
    diff "$WORK/want.$stream" "$WORK/program.$stream" >&2 || fail "program: std$stream differs"
  done
fi

stop_board
expect_flash image.s19
finish
