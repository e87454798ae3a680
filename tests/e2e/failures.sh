#!/usr/bin/env bash
# Ways a run goes wrong on the simulated board: exit status, the line that says why, no success line.
# Usage: failures.sh CASE
. "$(dirname "$0")/../support/lib.sh"

# Three blocks from 0x1000, the last one partly filled; two blocks.
srec three.s19 -generate 0x1000 0x1280 -repeat-data 0x10 0x32 0x54 0x76 -- -address-length=2 -obs=32
srec two.s19 -generate 0x1000 0x1140 -repeat-data 0x01 0x02 0x03 -- -address-length=2 -obs=32

program_fails() {  # NAME IMAGE: a program run that ends in failure
  cli "$1" program "$WORK/$2" --tcp "127.0.0.1:$PORT"
  expect_rc "$1" 1
  expect_no_success "$1"
}

case "$1" in
  faults)
    # name | board options | the Debug line of the fault (every state's: unit tests) | part of another
    while IFS='|' read -r name options line also; do
      # shellcheck disable=SC2086
      start_board --tcp 0 $options
      program_fails "$name" three.s19
      stop_board
      expect_line "$name" err "$line" "Aborting.  ProgramMode = 0."
      [ -z "$also" ] || expect_contains "$name" err "$also"
    done <<'TABLE'
status|--mode idle --wrong-byte 1:1|Wrong response from QRB interface [12/2E]: $ED|
ack|--mode flash --wrong-byte 2:0|Wrong response from QRB interface [61]: $9E|
read-back-code|--mode flash --wrong-byte 3:1|Wrong response from QRB interface [37]: $C8|
silence|--mode flash --silent-from 2|Timeout reading data. E43|
dropped|--mode flash --drop-after 1|Timeout reading data. E43|Ethernet connection lost: The remote host closed the connection
TABLE
    expect_count silence out "Block  \$1000     -- Sent." 1  # and nothing after the silence
    expect_count silence out "Block  \$1100     -- Sent." 0
    ;;
  program-mismatch)  # three bytes of the second block come back wrong
    BASE=0x1000
    start_board --tcp 0 --mode flash --corrupt-readback 2:3
    program_fails mismatch three.s19
    stop_board
    expect_count mismatch out "Verification errors: 3" 2
    expect_flash three.s19  # the FLASH itself was written right
    ;;

  verify-mismatch)  # two bytes of a block; blank FLASH against zeros: every byte
    srec zeros.s19 -generate 0x1000 0x1100 -constant 0 -- -address-length=2
    start_board --tcp 0 --mode flash --load "$WORK/two.s19" --corrupt-readback 1:2
    cli first-block verify "$WORK/two.s19" --tcp "127.0.0.1:$PORT"
    cli blank verify "$WORK/zeros.s19" --tcp "127.0.0.1:$PORT"
    stop_board
    for run in first-block:2 blank:256; do
      expect_rc "${run%:*}" 1
      expect_no_success "${run%:*}"
      expect_line "${run%:*}" out "Block \$1000     -- Verify errors: ${run#*:}" "###  Verify Failed  ###     Total errors: ${run#*:}"
    done
    ;;

  odd-timing)  # stray bytes before the status, a read-back in two halves: still a success
    start_board --tcp 0 --mode idle --stray-bytes 0000 --split-reply 4:400
    cli odd program "$WORK/two.s19" --tcp "127.0.0.1:$PORT"
    stop_board
    expect_success odd program
    expect_count odd err "Unexpected byte read from QRB interface [91]: \$0" 2
    ;;

  *) echo "unknown case $1" >&2; exit 2 ;;
esac
finish
