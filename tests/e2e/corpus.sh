#!/usr/bin/env bash
# The corpus (make-corpus.sh): check's exit is a real program run's; a refused file sends nothing; check --fix
# refuses and writes nothing, or writes a file that programs to srec_cat's reading, 0xFF elsewhere in its blocks, and verifies.
# Usage: corpus.sh even|odd (every other file: ctest runs two halves side by side)
. "$(dirname "$0")/../support/lib.sh"

bash "$(dirname "$0")/make-corpus.sh" "$WORK/corpus"

half=$1 index=0
dump="-disable=header -disable=exec-start-address -disable=data-count -address-length=4 -obs=16"
# file | check's exit | --fix | the refusal's Status line, where judged whole
while IFS='|' read -r name want fix refusal; do
  index=$((index + 1))
  [ $((index % 2)) = "$([ "$half" = odd ] && echo 1 || echo 0)" ] || continue
  file=$WORK/corpus/$name.s19
  rm -f "$WORK/fixed.s19" "$WORK/flash.s19"

  cli "$name.check" check "$file"
  expect_rc "$name.check" "$want"
  # srec_info's ranges (it refuses a bad checksum or S5 count, and reads past the end record).
  case "$want:$name" in
    0:data-after-end | 0:bad-checksum | 0:s5-count-wrong | 1:*) ;;
    *) expect_line "$name.check" out "Ranges: $(srec_info_ranges "$file")" ;;
  esac
  start_board --tcp 0 --mode flash --verbose --save "$WORK/flash.s19"
  cli "$name.program" program "$file" --tcp "127.0.0.1:$PORT"
  expect_rc "$name.program" "$want"
  if [ "$want" = 1 ]; then
    grep -q ' received ' "$WORK/board.log" && fail "$name: the board received a packet for a refused file"
    expect_contains "$name.program" out "Nothing sent to the QRB interface."
    [ -z "$refusal" ] || expect_line "$name.program" out "###  S19 file refused at line $refusal  Nothing sent to the QRB interface."
  fi

  cli "$name.fix" check "$file" --fix "$WORK/fixed.s19"
  if [ "$fix" = refused ]; then
    expect_rc "$name.fix" 1
    expect_contains "$name.fix" out "No safe fix: "
    [ -e "$WORK/fixed.s19" ] && fail "$name: a refused fix wrote its file"
    stop_board
    continue
  fi
  expect_rc "$name.fix" 0
  cli "$name.fixed" check "$WORK/fixed.s19"
  expect_rc "$name.fixed" 0
  grep -q ': warning: ' "$WORK/$name.fixed.out" && fail "$name: check warns about its own fix"
  for op in program verify; do  # S1, S2 and S3 records, holes
    cli "$name.fixed-$op" "$op" "$WORK/fixed.s19" --tcp "127.0.0.1:$PORT"
    expect_success "$name.fixed-$op" "$op"
  done
  stop_board
  # Both as srec_cat dumps them: data only, in address order.
  srec_cat "$file" -fill 0xFF -within "$file" -range-padding 256 -o - $dump >"$WORK/expected.dump" 2>/dev/null
  srec_cat "$WORK/flash.s19" -o - $dump >"$WORK/flash.dump" 2>/dev/null
  cmp -s "$WORK/expected.dump" "$WORK/flash.dump" ||
    fail "$name: the board's FLASH differs from srec_cat's reading of the file"
done <<'TABLE'
across-80000000|1|refused
at-80000000|1|refused
bad-checksum|0|refused
clean-s1|0|made
cut-inside-record|1|refused
data-after-end|0|made
empty-line|1|made
empty|1|refused
lower-case|1|made
mixed-line-ends|1|made
no-end-record|0|made
out-of-order-blocks|0|made
out-of-order-records|1|made
overlap-different|1|refused
overlap-equal|1|made
regions-unaligned-s2|1|made
s5-count-wrong|0|refused
toolchain-s0-lf|1|made|1  ###  Unexpected record found.
top-of-range|0|made
unaligned-hole|1|made|3  ###  Starting address not an even block.  Address: 1080.
unaligned-start|1|made
TABLE
finish
