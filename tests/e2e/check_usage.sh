#!/usr/bin/env bash
# The front end without a board: "check" on good and damaged files, usage errors, unreadable files.
# Usage: check_usage.sh check|usage|bad-files
. "$(dirname "$0")/../support/lib.sh"

good() {  # a clean image: S1, two ranges with an aligned hole, S9 end record
  srec "$1" -generate 0x1000 0x1140 -constant 0x11 -generate 0x1400 0x1420 -constant 0x22 \
    -execution-start-address 0x1000 -- -address-length=2 -disable=data-count
}

case "$1" in
  check)
    good good.s19
    cli good check "$WORK/good.s19"
    expect_rc good 0
    expect_line good out "Records: S1: 11, S9: 1" "Data bytes: 352" "Blocks: 3 of 256 bytes" \
      "Result: a run would program and verify the file." "Ranges: $(srec_info_ranges "$WORK/good.s19")"
    expect_contains good out "Time: about 0.6 s to program, 0.5 s to verify, at the 50 ms tick"
    # Many separate ranges: one line, shortened.
    # shellcheck disable=SC2046
    srec many.s19 $(for i in $(seq 0 40); do echo -generate $((0x10000 + i * 0x200)) $((0x10010 + i * 0x200)) -constant $i; done) \
      -- -address-length=3
    cli many check "$WORK/many.s19"
    expect_contains many out "0x10E00-0x10E0F and 33 more"

    # Damaged copies of the good file: name | how | exit | parts of the lines that say why
    good base.s19
    while IFS='|' read -r name how rc text cause; do
      (cd "$WORK" && eval "$how") >"$WORK/$name.s19"
      cli "$name" check "$WORK/$name.s19"
      expect_rc "$name" "$rc"
      expect_contains "$name" out "$text" ${cause:+"$cause"}
    done <<'TABLE'
header|srec_cat base.s19 -o - 2>/dev/null|1|header.s19:1: error: Unexpected record found.  The run would stop here|  likely cause: an S0 header record; the data must start on the first line.
lf|tr -d '\r' <base.s19|1|lf.s19:2: error: Unexpected record found.|  likely cause: line 1 ends in LF alone; every line must end in CR LF.
lower|sed '2s/^\(S1......\)../\1ab/' base.s19|1|lower.s19:2: error: Nib1 not valid: 61.|  likely cause: lower-case hexadecimal digits; the digits must be upper case.
empty-line|sed '3s/^.*$/\r/' base.s19|1|  likely cause: line 3 is empty.
first-block|srec_cat -generate 0x1010 0x1040 -constant 1 -o - -crlf -disable=header 2>/dev/null|1|error: Starting address not an even block.  Address: 1010.
checksum|sed '3s/..\r$/00\r/' base.s19|0|checksum.s19:3: warning: bad checksum;
checksums|sed '2,9s/..\r$/00\r/' base.s19|0|checksums.s19:2: warning: bad checksum (8 records, this is the first)
no-end|head -n -1 base.s19|0|no-end.s19: warning: no end record
after-end|(cat base.s19; head -n 1 base.s19)|0|after-end.s19:13: warning: data after the end record of line 12
bom|(printf '\357\273\277'; cat base.s19)|1|  likely cause: a UTF-8 byte order mark (EF BB BF, as some editors save) before the first record.
blanks|sed '2s/\r$/ \r/' base.s19|1|  likely cause: line 2 ends in blanks; CR LF must follow the checksum.
intel|srec_cat base.s19 -o - -intel 2>/dev/null|1|intel.s19:1: error: Unexpected record found.|  likely cause: an Intel HEX record; the file must hold Motorola S-records.
elf|(printf '\177ELF\002\001\001\000'; head -c 64 /dev/zero)|1|  likely cause: characters that are not text (a binary image, or a damaged file).
empty|true|1|empty.s19:1: error: No data record before the end of the data.|  likely cause: the file is empty.
s6|sed 's/^S9.*$/S604000003F8\r/' base.s19|1|  likely cause: an S6 record count (srec_cat writes one for more than 65,535 records); the data must end in an S5, S7, S8 or S9 record.
s5|sed 's/^S9.*$/S5030003F9\r/' base.s19|0|s5.s19:12: warning: the S5 record counts 3 data records, the file has 11.
TABLE

    # Without --fix the one command, paths quoted, is printed; it is the fix.
    mkdir -p "$WORK/it's here"
    srec_cat "$WORK/base.s19" -o "$WORK/it's here/raw.s19" 2>/dev/null
    cli quoted check "$WORK/it's here/raw.s19"
    expect_rc quoted 1
    fix=$(sed -n 's/^Fix: //p' "$WORK/quoted.out")
    [ "$fix" = "srec_cat '$WORK/it'\''s here/raw.s19' -fill 0xFF -within '$WORK/it'\''s here/raw.s19' -range-padding 256 -disable=header -disable=data-count -address-length=2 -o '$WORK/it'\''s here/raw-fixed.s19' -crlf" ] ||
      fail "quoted: the printed fix is '$fix'"
    (eval "$fix") 2>/dev/null
    cli fixed check "$WORK/it's here/raw-fixed.s19"
    expect_rc fixed 0

    # 3 MiB: srec_cat's 32-byte records would need an S6 count; the fix widens them for an S5.
    srec_cat -generate 0x10000 0x310000 -repeat-string "QRB three MiB " -o "$WORK/wide.s19" 2>/dev/null
    cli wide check "$WORK/wide.s19" --fix "$WORK/wide-fixed.s19"
    expect_rc wide 0
    expect_contains wide out " -obs=64 "
    [ "$(tail -n 1 "$WORK/wide-fixed.s19" | cut -c1-2)" = S5 ] || fail "wide: the fix does not end in an S5 record"
    srec_cmp "$WORK/wide.s19" "$WORK/wide-fixed.s19" 2>/dev/null || fail "wide: the fix holds other data"
    cli wide-fixed check "$WORK/wide-fixed.s19"
    expect_rc wide-fixed 0
    ;;

  bad-files)  # what is not a regular file, and a line of megabytes: quickly refused, no link opened
    mkfifo "$WORK/fifo.s19"
    mkdir "$WORK/dir.s19"
    { printf 'S1'; head -c 8000000 /dev/zero | tr '\0' 'A'; printf '\r\n'; } >"$WORK/long-line.s19"
    start_board --tcp 0 --verbose
    # file | exit | reason
    while IFS='|' read -r file rc reason; do
      for command in check program verify; do
        link=(--tcp "127.0.0.1:$PORT") name="$command-$(basename "$file")"
        [ "$command" = check ] && link=()
        cli "$name" "$command" "$file" "${link[@]}"
        expect_rc "$name" "$rc"
        [ -n "$reason" ] && expect_line "$name" err "qrb-flash-cli: cannot open $file: $reason"
      done
    done <<TABLE
$WORK/dir.s19|2|is a directory
$WORK/fifo.s19|2|is not a regular file
/dev/zero|2|is not a regular file
$WORK/missing.s19|2|no such file or directory
$WORK/long-line.s19|1|
TABLE
    stop_board
    [ "$(grep -c 'client connected' "$WORK/board.log")" = 2 ] ||
      fail "a link was opened for a file that cannot be read (board log: $(grep -c 'client connected' "$WORK/board.log") connections)"
    grep -q ' received ' "$WORK/board.log" && fail "the board received a packet"
    ;;

  usage)
    good good.s19
    # arguments | part of the message on stderr
    while IFS='|' read -r args text; do
      # shellcheck disable=SC2086
      cli usage $args
      expect_rc usage 2
      expect_contains usage err "$text"
      expect_count usage err "Ethernet connection pending." 0
      expect_empty usage out
    done <<TABLE
|missing command
program|needs an S19 file
program $WORK/good.s19|needs a link
program $WORK/good.s19 --serial ttyS0 --serial /dev/ttyS0|the same board twice: ttyS0 and /dev/ttyS0
program $WORK/good.s19 --tcp 127.0.0.1 --tick 51|--tick takes milliseconds 1..50
read $WORK/out.s19 --tcp 127.0.0.1|read needs at least one --range
read $WORK/out.s19 --tcp 127.0.0.1 --range 0x100|--range takes START-END
read $WORK/out.s19 --tcp 127.0.0.1 --range 0-0x80000000|addresses end at 0x7FFFFFFF
read $WORK/out.s19 --tcp 127.0.0.1 --range 0x1FFFFF0-0x1000010|END is below START
program $WORK/good.s19 --com 5|--com takes a port number 1..4
program $WORK/good.s19 --tcp 127.0.0.1:99999|port must be 1..65535
program $WORK/good.s19 --serial /dev/null --baud 9600|--baud takes 19200, 38400, 57600 or 115200
program $WORK/good.s19 --tcp 127.0.0.1 --connect-timeout 0.0004|--connect-timeout takes at least 0.001 seconds
program $WORK/good.s19 --tcp ::1:10001|--tcp: an IPv6 address goes in brackets: [::1]:10001, not ::1:10001
erase $WORK/good.s19 --tcp 127.0.0.1|unknown command erase
check $WORK/good.s19 --tcp 127.0.0.1|check takes no link
verify $WORK/good.s19 --serial $WORK/no-such-device|cannot open $WORK/no-such-device: No such file or directory
check $WORK/good.s19 --fix $WORK/good.s19|--fix must write a file other than
program $WORK/good.s19 --tcp 127.0.0.1:1 --tcp localhost:1|the same board twice: 127.0.0.1:1 and localhost:1
program $WORK/good.s19 --tcp 127.0.0.1 --fix $WORK/x.s19|--fix belongs to check
program $WORK/good.s19 --tcp 127.0.0.1 -v|unknown option -v
check $WORK/good.s19 -q|--quiet belongs to program, verify and read
ports $WORK/good.s19|$WORK/good.s19 is not a serial device
ports $WORK/no-such-device|$WORK/no-such-device does not exist
verify $WORK/good.s19 --serial no-such-tty|cannot open /dev/no-such-tty: No such file or directory
program $WORK/good.s19 --tcp 127.0.0.1 --skip-unchanged=yes|--skip-unchanged takes no value
TABLE
    # Every program: an unknown option is a usage error with the way to the help.
    for program in "$CLI" "$SIM" "$FLASH"; do
      CLI=$program QT_QPA_PLATFORM=offscreen cli unknown --no-such-option
      expect_rc unknown 2 err "Run '$(basename "$program") --help' for the usage."
    done
    # The help, and a command's own help: its options alone.
    while IFS=';' read -r args listed unlisted; do
      # shellcheck disable=SC2086
      cli help $args
      expect_rc help 0
      expect_contains help out "$listed"
      [ -n "$unlisted" ] && grep -qF -- "$unlisted" "$WORK/help.out" && fail "$args lists $unlisted"
      [ -z "$(awk 'length > 79' "$WORK/help.out")" ] || fail "$args: lines wider than 79 columns"
    done <<'TABLE'
--help;qrb-flash-cli ports [DEVICE...] [--json];
-V;qrb-flash-cli 1.;
program --help;--tcp HOST[:PORT];--range
read --help;--range START-END;--fix
check --help;--fix OUT.s19;--tcp
ports --help;--json;--tcp
program --help;--skip-unchanged;--fix
verify --help;--wait SECS;--skip-unchanged
TABLE
    # The window's program and the simulator answer --help and --version without a display.
    for program in "$SIM" "$FLASH"; do
      for word in --help -h --version -V; do
        CLI=$program CLI_AS="env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM" cli help "$word"
        expect_rc help 0
        [ -z "$(awk 'length > 79' "$WORK"/help.{out,err})" ] || fail "$program $word: lines wider than 79 columns"
      done
      grep -qx "$(basename "$program") [0-9.]*" "$WORK/help.out" || fail "$program -V: $(cat "$WORK/help.out")"
    done
    ;;

  ports)  # the system's ports with the window's COMn, and a pseudo-terminal's link named on the line
    start_board --pty --link "$WORK/ttyQRB"
    cli ports ports "$WORK/ttyQRB"
    cli json ports --json "$WORK/ttyQRB"
    stop_board
    expect_rc ports 0
    expect_rc json 0
    head -n 1 "$WORK/ports.out" | grep -q '^DEVICE  *COM  *DESCRIPTION  *MAKER  *SERIAL  *USB ID$' || fail "ports: no heading"
    grep -q "^$WORK/ttyQRB  *- " "$WORK/ports.out" || fail "ports: the link is not listed"
    for tty in /dev/ttyS[0-3]; do  # the window's COM1..COM4 where the system has them
      [ -c "$tty" ] || continue
      grep -q "^$tty  *COM$((${tty#/dev/ttyS} + 1)) " "$WORK/ports.out" || fail "ports: $tty not listed as COM$((${tty#/dev/ttyS} + 1))"
    done
    python3 - "$WORK/json.out" "$WORK/ttyQRB" "$WORK/ports.out" <<'PY' || fail "ports --json: $(cat "$WORK/json.out")"
import json, sys
ports = json.load(open(sys.argv[1]))
table = open(sys.argv[3]).read().splitlines()[1:]
assert [p["device"] for p in ports] == [line.split()[0] for line in table], "json and table list other ports"
link = [p for p in ports if p["device"] == sys.argv[2]]
assert link and link[0]["com"] is None and link[0]["vendor_id"] is None, link
assert all(set(p) == {"device", "com", "description", "manufacturer", "serial_number", "vendor_id", "product_id"} for p in ports)
PY
    ;;

  *) echo "unknown case $1" >&2; exit 2 ;;
esac
finish
