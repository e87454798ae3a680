#!/usr/bin/env bash
# Regenerates qrb-example.s19, the bundled example image: S1 records of 32
# data bytes, CR LF line ends, no S0 header and no S5 count record, an S9 end
# record. Code from 0x8000 (1440 bytes, the last block partly filled) and a
# 64-byte settings block at 0x8800 after an aligned hole.
set -euo pipefail
cd "$(dirname "$0")"
srec_cat \
  -generate 0x8000 0x8020 -repeat-string "QRB-530 example firmware 1.0    " \
  -generate 0x8020 0x85A0 -repeat-data 0x4E 0x71 0x20 0x3C 0x00 0x01 0x86 0xA0 0x53 0x80 0x66 0xFC \
  -generate 0x8800 0x8840 -repeat-data 0xC0 0xA8 0x01 0x46 0x27 0x11 0x00 0x00 \
  -execution-start-address 0x8000 \
  -o qrb-example.s19 -address-length=2 -crlf -disable=header -disable=data-count
