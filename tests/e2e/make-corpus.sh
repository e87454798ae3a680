#!/usr/bin/env bash
# Writes the S-record corpus into DIR: files as firmware toolchains hand them over, and damaged by hand.
# Usage: make-corpus.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

s() { srec_cat "$@" 2>/dev/null; }          # srec_cat without its warnings
crlf() { s "$@" -crlf -disable=header; }    # as the reader wants it

# Two 300-byte regions with an aligned hole between them, S1, S9.
clean() { crlf -generate 0x1000 0x112C -repeat-string "QRB test " -generate 0x1400 0x1440 -constant 0x5A \
  -execution-start-address 0x1000 -disable=data-count -address-length=2 "$@"; }

clean -o clean-s1.s19
s -generate 0x1000 0x112C -repeat-string "QRB test " -o toolchain-s0-lf.s19                   # header, LF
crlf -generate 0x7FFFFE00 0x80000000 -repeat-data 0x11 0x22 0x33 -address-length=4 -obs=250 -o top-of-range.s19
crlf -generate 0x80000000 0x80000020 -constant 1 -address-length=4 -o at-80000000.s19
crlf -generate 0x7FFFFFF0 0x80000010 -constant 1 -address-length=4 -o across-80000000.s19
crlf -generate 0x1010 0x1040 -constant 1 -address-length=2 -o unaligned-start.s19
crlf -generate 0x1000 0x1040 -constant 1 -generate 0x1080 0x10C0 -constant 2 -address-length=2 -o unaligned-hole.s19
crlf -generate 0x3000 0x3010 -constant 3 -generate 0x9008 0x9030 -constant 4 -generate 0x20000 0x20004 -constant 5 \
  -address-length=3 -o regions-unaligned-s2.s19
# Records out of order: whole blocks (the run takes them), within one block (it cannot).
clean -o sorted.tmp
(sed -n '13,$p' sorted.tmp | head -n -1; sed -n '1,12p' sorted.tmp; tail -n 1 sorted.tmp) >out-of-order-blocks.s19
(sed -n 2p sorted.tmp; sed -n 1p sorted.tmp; sed -n '3,$p' sorted.tmp) >out-of-order-records.s19
(cat sorted.tmp | head -n -1; sed -n '2p' sorted.tmp; tail -n 1 sorted.tmp) >overlap-equal.s19
(head -n -1 sorted.tmp; crlf -generate 0x1010 0x1020 -constant 0xEE -address-length=2 -disable=data-count -o -;
  tail -n 1 sorted.tmp) >overlap-different.s19

# By hand.
head -n -1 sorted.tmp >no-end-record.s19
(sed -n '1,3p' sorted.tmp; printf '\r\n'; sed -n '4,$p' sorted.tmp) >empty-line.s19
sed '3s/..\r$/00\r/' sorted.tmp >bad-checksum.s19
sed '2,$s/\(S1..\)\(.*\)$/\1\L\2/' sorted.tmp >lower-case.s19
(sed -n '1,4p' sorted.tmp | tr -d '\r'; sed -n '5,$p' sorted.tmp) >mixed-line-ends.s19
head -c 170 sorted.tmp >cut-inside-record.s19
crlf -generate 0x1000 0x1100 -constant 7 -address-length=2 -o - | sed 's/^S5030008F4/S5030009F3/' >s5-count-wrong.s19
(cat sorted.tmp; crlf -generate 0x2000 0x2010 -constant 9 -address-length=2 -disable=data-count -o -) >data-after-end.s19
: >empty.s19
rm sorted.tmp
