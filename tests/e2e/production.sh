#!/usr/bin/env bash
# The production line's forms of the front end: the fast tick, the report, a board read back to a
# file, several boards at once. srec_cat judges every FLASH and every file written.
# Usage: production.sh CASE
. "$(dirname "$0")/../support/lib.sh"

case "$1" in
  tick)
    # The same runs at tick 50 and tick 1 give the same lines; the FLASH equals srec_cat's image. S1, 24-byte
    # records running across block boundaries, an aligned hole, an S9 end record.
    BASE=0x1000
    srec image.s19 -generate 0x1000 0x1200 -repeat-string "fast tick " -generate 0x1400 0x1432 -constant 0x5A \
      -execution-start-address 0x1000 -- -address-length=2 -obs=24 -disable=data-count
    for link in tcp pty115200; do
      for tick in 50 1; do
        board "$link" --mode idle
        for op in program verify; do
          cli "$link-$op-$tick" "$op" "$WORK/image.s19" "${WHERE[@]}" --tick "$tick"
          expect_success "$link-$op-$tick" "$op"
        done
        stop_board
        expect_flash image.s19
      done
      for run in program.out program.err verify.out verify.err; do
        diff "$WORK/$link-${run/./-50.}" "$WORK/$link-${run/./-1.}" >&2 || fail "$link $run: tick 1 differs from tick 50"
      done
    done
    # The whole of both lists of a program run, verbatim and in order.
    printf '%s\n' "QRB interface at startup idle.  Version:  \$15" "Flushing Port Buffers.  Short delay.  Please wait." \
      "QRB interface in FLASH mode.  Version:  \$15" "Block  \$1000     -- Sent." "$VERIFIED" "Block  \$1100     -- Sent." \
      "$VERIFIED" "Block  \$1400     -- Sent." "  " "$PROGRAM_SUCCESS" "Exit this program and Re-Boot the QRB interface." |
      diff - "$WORK/tcp-program-1.out" >&2 || fail "program: the Status list differs"
    printf '%s\n' "Ethernet connection pending." "Ethernet connection complete." "S9 record detected." \
      "Aborting.  ProgramMode = 0." "Ethernet connection closed." | diff - "$WORK/tcp-program-1.err" >&2 ||
      fail "program: the Debug list differs"
    expect_line tcp-verify-1 err "Aborting.  ProgramMode = 0."
    # A board that never answers: at tick 1 the first state's time-out still takes its 3 seconds.
    board tcp --silent-from 1
    cli silent program "$WORK/image.s19" "${WHERE[@]}" --tick 1
    stop_board
    expect_rc silent 1 err "Timeout reading data. E21" "FailTimer expired.  Program mode is 21.  E21_A"
    expect_count silent err "Aborting.  ProgramMode = 0." 2
    expect_empty silent out  # no Status line without an answer from the board
    expect_ms silent -ge 2900
    ;;

  report)
    srec image.s19 -generate 0x2000 0x2180 -repeat-data 1 2 3 -- -address-length=2 -obs=32
    board tcp --mode idle --version-byte 0x21
    cli ok program "$WORK/image.s19" "${WHERE[@]}" --tick 2 --report "$WORK/ok.json"
    expect_success ok program
    OK_PORT=$PORT
    stop_board
    board tcp --mode flash --load "$WORK/image.s19" --corrupt-readback 2:3
    cli bad verify "$WORK/image.s19" "${WHERE[@]}" --report "$WORK/bad.json"
    expect_rc bad 1
    stop_board
    cli refused program "$WORK/image.s19" --tcp 127.0.0.1:1 --report "$WORK/refused.json"
    expect_rc refused 2 err "qrb-flash-cli: no connection to 127.0.0.1:1: Connection refused" "Ethernet connection pending."
    expect_empty refused out
    python3 - "$WORK" "$(sha256sum "$WORK/image.s19" | cut -d' ' -f1)" "$OK_PORT" <<'PY' || fail "report fields"
import datetime, json, sys
work, sha, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
ok, bad, refused = (json.load(open(f"{work}/{name}.json")) for name in ("ok", "bad", "refused"))
assert ok["command_line"][1:4] == ["program", f"{work}/image.s19", "--tcp"] and ok["tick_ms"] == 2, "command line"
assert ok["image"] == {"path": f"{work}/image.s19", "sha256": sha} and ok["command"] == "program", "image"
start, end = (datetime.datetime.fromisoformat(ok[k].replace("Z", "+00:00")) for k in ("start", "end"))
assert start.utcoffset() == datetime.timedelta(0) and start <= end, "UTC times in order"
assert (ok["outcome"], ok["exit_status"]) == ("succeeded", 0), "outcome"
(board,) = ok["boards"]
assert board["link"] == {"kind": "tcp", "host": "127.0.0.1", "port": port, "address": f"127.0.0.1:{port}",
                         "speed": None}, "link"
assert board["handshake"] == {"board_state": "startup idle", "version": 0x21, "flash_mode_version": 0x21}, "handshake"
assert [(b["address"], b["mismatches"]) for b in board["blocks"]] == [(0x2000, 0), (0x2100, 0)], "blocks"
assert board["totals"]["blocks"] == 2 and board["totals"]["mismatches"] == 0, "totals"
for stream, name in (("out", "status"), ("err", "debug")):
    text = open(f"{work}/ok.{stream}").read().splitlines()
    assert [l["text"] for l in board["lines"] if l["list"] == name] == text, f"{name} lines"
(board,) = bad["boards"]
assert (bad["outcome"], bad["exit_status"], board["handshake"]["board_state"], board["handshake"]["version"]) == (
    "failed", 1, "flash mode", 0x15), "failed run"
assert [(b["address"], b["mismatches"]) for b in board["blocks"]] == [(0x2000, 0), (0x2100, 3)], "mismatches per block"
assert board["totals"]["mismatches"] == 3, "total mismatches"
assert (refused["outcome"], refused["exit_status"], refused["boards"][0]["outcome"]) == ("refused", 2, "refused"), "refused"
assert "no connection" in refused["boards"][0]["refusal"], "refusal"
PY
    ;;

  read)
    # A board's FLASH read back and programmed onto a blank board: the second board's FLASH equals the first's.
    BASE=0x8000
    srec original.s19 -generate 0x8000 0x8300 -repeat-string "original firmware " \
      -generate 0x8340 0x8352 -constant 0x00 -- -address-length=2 -obs=16
    sim first --tcp 0 --mode idle --load "$WORK/original.s19"
    # The record type by the highest address read, with its end record.
    while IFS='|' read -r name range records data; do
      cli "$name" read "$WORK/$name.s19" --tcp "127.0.0.1:${SIM_PORT[first]}" --range "$range" --tick 1
      expect_rc "$name" 0
      [ "$(cut -c1-2 "$WORK/$name.s19" | sort -u | tr -d '\r\n')" = "$records" ] || fail "$name: not $records records"
      [ "$(srec_info "$WORK/$name.s19" 2>/dev/null | grep -c "^Data: *$data\$")" = 1 ] || fail "$name: not the blocks $data"
    done <<'TABLE'
backup|0x8000-0x83FF|S1S9|8000 - 83FF
mid|0xFFF0-0x10010|S2S8|00FF00 - 0100FF
wide|0x1000000-0x1000010|S3S7|01000000 - 010000FF
TABLE
    for a in 8000 8100 8200 8300; do expect_line backup out "Block \$$a     -- Read."; done
    expect_line backup out "***  Success ***.  QRB interface FLASH Read."
    binary "$WORK/original.s19" -fill 0xFF 0x8000 0x8400 -offset -0x8000 >"$WORK/original.bin"
    cmp -s "$WORK/original.bin" <(binary "$WORK/backup.s19" -offset -0x8000) || fail "backup differs from the first board's FLASH"
    cli check check "$WORK/backup.s19"
    expect_rc check 0
    board tcp --mode idle
    cli restore program "$WORK/backup.s19" "${WHERE[@]}" --tick 1
    expect_success restore program
    stop_board
    cmp -s "$WORK/original.bin" "$WORK/flash.bin" || fail "the second board's FLASH differs from the first one's"
    # A read that fails leaves OUT as it was.
    echo keep >"$WORK/kept.s19"
    sim dropping --tcp 0 --mode flash --drop-after 2
    cli dropped read "$WORK/kept.s19" --tcp "127.0.0.1:${SIM_PORT[dropping]}" --range 0-0xFFF --tick 1
    expect_rc dropped 1
    [ "$(cat "$WORK/kept.s19")" = keep ] || fail "a failed read changed its output file"
    ;;

  boards)
    # Four boards at once: one silent, one that drops its link, two that succeed.
    srec image.s19 -generate 0x4000 0x4400 -repeat-string "several boards " -- -address-length=2 -obs=32
    sim silent --tcp 0 --silent-from 1
    sim drops --tcp 0 --mode flash --drop-after 2
    sim good1 --tcp 0 --mode idle --save "$WORK/good1.bin" --base 0x4000
    sim good2 --pty --mode flash --save "$WORK/good2.bin" --base 0x4000
    names=("127.0.0.1:${SIM_PORT[silent]}" "127.0.0.1:${SIM_PORT[drops]}" "127.0.0.1:${SIM_PORT[good1]}" "${SIM_PTY[good2]}")
    cli four program "$WORK/image.s19" --tcp "${names[0]}" --tcp "${names[1]}" --tcp "${names[2]}" \
      --serial "${names[3]}" --baud 115200 --tick 1 --report "$WORK/four.json"
    expect_rc four 1 err "[${names[0]}] Timeout reading data. E21"
    expect_count four out "[${names[1]}] Block  \$4000     -- Sent." 1
    expect_count four out "[${names[1]}] $PROGRAM_SUCCESS" 0
    for good in "${names[2]}" "${names[3]}"; do
      expect_line four out "[$good] $PROGRAM_SUCCESS"
      expect_count four out "[$good] Block  \$4300     -- Sent." 1
    done
    expect_line four out "[${names[2]}] QRB interface at startup idle.  Version:  \$15"
    # Every line carries its board's name; the summary closes the output.
    grep -v -e '^\[' -e '^$' -e '^board ' -e '^127\.0\.0\.1:' -e '^/dev/' "$WORK/four.out" "$WORK/four.err" &&
      fail "a line without its board's name"
    for row in "${names[0]} failed 0" "${names[1]} failed 2" "${names[2]} succeeded 4" "${names[3]} succeeded 4"; do
      read -r name outcome blocks <<<"$row"  # then no errors, and the seconds
      grep -qE "^$(sed 's/[.[]/\\&/g' <<<"$name") +$outcome +$blocks +0 +[0-9.]+$" "$WORK/four.out" || fail "no summary row '$row'"
    done
    python3 - "$WORK/four.json" "${names[@]}" <<'PY' || fail "report of four boards"
import json, sys
report, names = json.load(open(sys.argv[1])), sys.argv[2:]
assert report["outcome"] == "failed" and report["exit_status"] == 1
assert [b["name"] for b in report["boards"]] == names
assert [b["outcome"] for b in report["boards"]] == ["failed", "failed", "succeeded", "succeeded"]
assert report["boards"][3]["link"]["kind"] == "serial" and report["boards"][3]["link"]["speed"] == 115200
assert all(l["text"] and not l["text"].startswith("[") for b in report["boards"] for l in b["lines"])
# A board's time and link end with its own run, not with the slowest board's (3 s of time-out).
silent, good = report["boards"][0], report["boards"][2:]
assert all(b["totals"]["seconds"] < silent["totals"]["seconds"] - 1 and b["end"] < silent["end"] for b in good), report
PY
    stop_sims
    BASE=0x4000
    for good in good1 good2; do
      cp "$WORK/$good.bin" "$WORK/flash.bin"
      expect_flash image.s19
    done
    # Two good boards: exit 0.
    sim a --tcp 0 --mode flash
    sim b --tcp 0 --mode flash
    cli two program "$WORK/image.s19" --tcp "127.0.0.1:${SIM_PORT[a]}" --tcp "127.0.0.1:${SIM_PORT[b]}" --tick 1
    expect_rc two 0
    # A stop signal presses every board's Abort button; the report is still written.
    cli_bg stopped program "$WORK/image.s19" --tcp "127.0.0.1:${SIM_PORT[a]}" --tcp "127.0.0.1:${SIM_PORT[b]}" \
      --report "$WORK/stopped.json"
    sleep 0.3  # the run takes 15 ticks of 50 ms
    kill -TERM "$CLI_PID"
    wait_cli stopped
    expect_rc stopped 143
    for board in a b; do
      expect_line stopped err "[127.0.0.1:${SIM_PORT[$board]}] Aborting.  ProgramMode = 0." \
        "[127.0.0.1:${SIM_PORT[$board]}] Ethernet connection closed."
    done
    python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); assert r["exit_status"] == 143, r["exit_status"]' \
      "$WORK/stopped.json" || fail "the stopped run's report"
    ;;

  *) echo "unknown case $1" >&2; exit 2 ;;
esac
finish
