#!/usr/bin/env bash
# The README's examples stay true: its sh blocks run as written, in order, in one shell, from the top
# of a clone whose build/bin holds the programs under test; the files they write are what they say.
# Usage: readme.sh examples
. "$(dirname "$0")/../support/lib.sh"
source=$(cd "$(dirname "$0")/../.." && pwd)
readme=$source/README.md

case "$1" in
  examples)
    clone=$WORK/clone
    mkdir -p "$clone/build"
    ln -s "$(dirname "$CLI")" "$clone/build/bin"
    ln -s "$source/examples" "$clone/examples"
    # A board left running by a failed block is stopped with the shell.
    { echo 'trap '\''kill $(jobs -p) 2>/dev/null || true'\'' EXIT'
      awk '/^```sh$/ { on = 1; next } /^```/ { on = 0 } on' "$readme"; } >"$WORK/examples.sh"
    [ "$(grep -c '^```sh$' "$readme")" -ge 5 ] || fail "README: fewer sh blocks than expected"
    rc=0
    (cd "$clone" && timeout 120 bash -euo pipefail "$WORK/examples.sh") >"$WORK/examples.out" 2>"$WORK/examples.err" || rc=$?
    [ "$rc" = 0 ] || { fail "README examples: exit status $rc"; show "$WORK/examples.out" "$WORK/examples.err"; }
    expect() { grep -qF -- "$1" "$WORK/examples.out" || fail "README examples: no '$1' on stdout"; }
    expect "***  Success ***.  QRB interface FLASH Updated."
    expect "***  Success ***.  QRB interface FLASH Verified."
    expect "***  Success ***.  QRB interface FLASH Read."
    [ "$(grep -c '^127.0.0.1:[0-9]*  *succeeded' "$WORK/examples.out")" = 2 ] || fail "README examples: no two-board summary"
    python3 - "$clone" <<'PY' || fail "README examples: the files they write"
import json, sys
clone = sys.argv[1]
run = json.load(open(f"{clone}/run.json"))
assert run["outcome"] == "succeeded" and run["image"]["path"].endswith("backup.s19"), run["outcome"]
ports = json.load(open(f"{clone}/ports.json"))
assert [p["device"] for p in ports if p["device"] == "./ttyQRB"], ports
assert open(f"{clone}/fixed.s19", newline="").read().endswith("\r\n")
PY
    # From a clone the programs are not on PATH: every command names ./build/bin/ (or make, sudo ...).
    awk '/^```(sh|shell)$/ { on = 1; next } /^```/ { on = 0 } on' "$readme" | grep -E '^(qrb-flash|qrb-board-sim)' &&
      fail "README: a bare program name in a command block"
    [ -f "$source/doc/DEVELOPING.md" ] || fail "README links doc/DEVELOPING.md, which is missing"
    ;;
  *) echo "unknown case $1" >&2; exit 2 ;;
esac
finish
