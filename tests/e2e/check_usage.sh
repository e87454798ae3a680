#!/usr/bin/env bash
# The front end without a board: "check" on good and damaged S19 files, and
# the command line's usage errors, files that cannot be opened and links that
# cannot be opened.
# Usage: check_usage.sh check|usage
. "$(dirname "$0")/lib.sh"

good() {  # a clean image: S1, two ranges with an aligned hole, S9 end record
  srec "$1" -generate 0x1000 0x1140 -constant 0x11 -generate 0x1400 0x1420 -constant 0x22 \
    -execution-start-address 0x1000 -- -address-length=2 -disable=data-count
}

case "$1" in
  check)
    good good.s19
    cli good check "$WORK/good.s19"
    expect_rc good 0
    expect_line good out "Records: 11 data (S1: 11), end record S9"
    expect_line good out "Bytes: 352"
    expect_line good out "Blocks: 3 of 256 bytes"
    expect_line good out "Ranges: \$1000-\$113F, \$1400-\$141F"
    expect_line good out "Result: the file will program cleanly."
    # Blocks out of address order, each written once, are fine.
    (sed -n '11p' "$WORK/good.s19"; sed -n '1,10p;12p' "$WORK/good.s19") >"$WORK/unsorted.s19"
    cli unsorted check "$WORK/unsorted.s19"
    expect_rc unsorted 0

    # Damaged copies of the good file: name | how | part of the problem line
    good base.s19
    while IFS='|' read -r name how text; do
      (cd "$WORK" && eval "$how") >"$WORK/$name.s19"
      cli "$name" check "$WORK/$name.s19"
      expect_rc "$name" 1
      expect_contains "$name" out "$text"
      expect_contains "$name" out "Fix: "
      expect_contains "$name" out "the file will not program cleanly."
    done <<'TABLE'
header|srec_cat base.s19 -o - -crlf 2>/dev/null|S0 header record
lf|tr -d '\r' <base.s19|line ends in LF alone
cr|tr -d '\n' <base.s19|line ends in CR alone
lower|sed '2s/^\(S1....\)\(.*\)$/\1\L\2/' base.s19|lower-case characters
checksum|sed '3s/..\r$/00\r/' base.s19|bad checksum
count|sed '3s/^S123/S124/' base.s19|the count says
outside|srec_cat -generate 0x7FFFFFF0 0x80000010 -constant 1 -o - -crlf -disable=header 2>/dev/null|signed 32-bit
first-block|srec_cat -generate 0x1010 0x1040 -constant 1 -execution-start-address 0x1010 -o - -crlf -disable=header -disable=data-count 2>/dev/null|not at a multiple of 256
hole-block|srec_cat -generate 0x1000 0x1040 -constant 1 -generate 0x1080 0x10C0 -constant 2 -o - -crlf -disable=header 2>/dev/null|after the hole from $1040
no-end|head -n -1 base.s19|no end record
empty-line|sed '3s/^/\r\n/' base.s19|empty line
after-end|(cat base.s19; head -n 1 base.s19)|after the end record
backwards|(sed -n '1,11p' base.s19; sed -n '1p;12p' base.s19)|leads back into a block already sent
junk|(echo 'garbage'; cat base.s19)|not an S-record
TABLE
    ;;

  usage)
    good good.s19
    # arguments | part of the message on stderr
    while IFS='|' read -r args text; do
      # shellcheck disable=SC2086
      cli usage $args
      expect_rc usage 2
      expect_contains usage err "$text"
      [ -s "$WORK/usage.out" ] && fail "usage ($args): output on stdout"
    done <<TABLE
|missing command
program|needs an S19 file
program $WORK/good.s19|needs a link
program $WORK/good.s19 --tcp 127.0.0.1 --com 1|give only one link
program $WORK/good.s19 --com 5|--com takes a port number 1..4
program $WORK/good.s19 --tcp 127.0.0.1:99999|port must be 1..65535
program $WORK/good.s19 --serial /dev/null --baud 9600|--baud takes 19200, 38400, 57600 or 115200
program $WORK/good.s19 --tcp 127.0.0.1 --connect-timeout 0|--connect-timeout takes seconds
program $WORK/good.s19 --tcp 127.0.0.1 --connect-timeout 0.0004|--connect-timeout takes at least 0.001 seconds
program $WORK/good.s19 --tcp ::1:10001|--tcp: an IPv6 address goes in brackets: [::1]:10001, not ::1:10001
program $WORK/good.s19 --tcp fe80::1|--tcp: an IPv6 address goes in brackets: [fe80::1], not fe80::1
program $WORK/good.s19 --tcp 127.0.0.1 --speed 3|unknown option --speed
erase $WORK/good.s19 --tcp 127.0.0.1|unknown command erase
check $WORK/good.s19 --tcp 127.0.0.1|check takes no link
program $WORK/missing.s19 --tcp 127.0.0.1:1|cannot open $WORK/missing.s19
verify $WORK/good.s19 --serial $WORK/no-such-device|cannot open $WORK/no-such-device: No such file or directory
verify $WORK/good.s19 --serial $WORK|cannot open $WORK: 
check $WORK/missing.s19|cannot open $WORK/missing.s19
TABLE
    while IFS='|' read -r option text; do
      cli "$option" "$option"
      expect_rc "$option" 0
      expect_contains "$option" out "$text"
    done <<'TABLE'
--help|qrb-flash-cli {program|verify} FILE.s19
--version|qrb-flash-cli 
TABLE
    ;;

  *) echo "unknown case $1" >&2; exit 2 ;;
esac
finish
