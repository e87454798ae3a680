#!/usr/bin/env bash
# Writes the fuzz targets' starting corpora: srec_cat images in the shapes the
# reader and block builders care about, files that must not program cleanly,
# and reply tapes. Inputs named regress-* are earlier findings, kept as they are.
set -euo pipefail
out="$(cd "$(dirname "$0")" && pwd)/corpus"
files="$out/s19_file"
replies="$out/board_replies"
mkdir -p "$files" "$replies"
find "$files" "$replies" -type f ! -name 'regress-*' -delete

# s19 NAME ADDRESS-LENGTH RECORD-LENGTH GENERATOR... : one image, CR LF, S9 end, no header.
s19() {
  local name=$1 alen=$2 obs=$3
  shift 3
  srec_cat "$@" -o "$files/$name.s19" -motorola -address-length="$alen" -disable=header \
    -disable=data-count -obs="$obs" -crlf -execution-start-address=0
}
pattern=(-repeat-data 0x00 0x11 0x5A 0xA5 0xFF 0x7E 0x81 0x3C)

s19 s1-300-bytes 2 16 -generate 0x1000 0x112C "${pattern[@]}"
s19 s2-1k-32 3 32 -generate 0x10000 0x10400 "${pattern[@]}"
s19 s3-hole 4 28 -generate 0x4000 0x4040 "${pattern[@]}" -generate 0x5000 0x5100 -repeat-string "QRB-530 "
s19 s1-cross-boundary 2 32 -generate 0x3000 0x30F0 "${pattern[@]}" -generate 0x30F0 0x3110 -constant 0xC3
s19 s1-exact-block 2 64 -generate 0x2000 0x2200 -repeat-string "block end "
s19 s3-high 4 250 -generate 0x7FFFF000 0x7FFFF300 "${pattern[@]}"
s19 s3-top 4 40 -generate 0x7FFFFF00 0x80000000 "${pattern[@]}"
s19 s1-unaligned-hole 2 16 -generate 0x4000 0x4040 "${pattern[@]}" -generate 0x4080 0x40A0 -constant 0x00

# Files that must not program cleanly: a header record first, LF line ends,
# lower-case digits, a file that ends inside a record.
srec_cat -generate 0x1000 0x1040 "${pattern[@]}" -o "$files/bad-header.s19" -motorola -address-length=2 -crlf
srec_cat -generate 0x1000 0x1040 "${pattern[@]}" -o "$files/bad-lf.s19" -motorola -address-length=2 \
  -disable=header -disable=data-count -line-termination=nl
tr 'A-F' 'a-f' <"$files/s1-300-bytes.s19" | sed 's/^s/S/' >"$files/bad-lower-case.s19"
head -c 200 "$files/s2-1k-32.s19" >"$files/bad-truncated.s19"

# Reply tapes: options byte, then chunks (0xFF: every honest reply waiting).
# 4 and 5: program runs that skip unchanged blocks (5: after a verify run, on a
# board that holds the image).
for run in 0:program-ethernet 1:verify-ethernet 2:program-serial 3:verify-serial 4:skip-ethernet 5:verify-skip-ethernet; do
  { printf "\\x0${run%%:*}"; head -c 40 /dev/zero | tr '\0' '\377'; } >"$replies/${run#*:}-honest"
done
# Raw replies: a board at start-up idle, then in FLASH mode, with a stray byte.
printf '\x00\x05\x91\x12\x92\x04\x15\x00\x00\x02\x00\x91\x04\x2E\x92\x04\x15' >"$replies/program-raw-handshake"
printf '\x01\x06\x00\x91\x2E\x92\x04\x07\xff\xff\x02\x61\x37' >"$replies/verify-raw-short-readback"
