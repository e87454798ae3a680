#!/usr/bin/env bash
# Every file the front end writes (read's OUT, --report, check --fix) against hostile paths: the
# path and the inputs stay as they were, no temporary file is left, and no success line follows a
# write that failed.
# Usage: outputs.sh CASE
. "$(dirname "$0")/../support/lib.sh"

srec image.s19 -generate 0x1000 0x1200 -repeat-string "outputs " -- -address-length=2 -obs=32
tr -d '\r' <"$WORK/image.s19" >"$WORK/lf.s19"  # refused by a run, fixed by check --fix

# writer KIND PATH: the command that writes PATH; its input (if any) is $WORK/image.s19 or lf.s19.
writer() {
  case $1 in
    read) echo "read $2 --tcp 127.0.0.1:$PORT --range 0x1000-0x11FF --tick 1 --report $WORK/r.json" ;;
    report) echo "program $WORK/image.s19 --tcp 127.0.0.1:$PORT --tick 1 --report $2" ;;
    fix) echo "check $WORK/lf.s19 --fix $2" ;;
  esac
}

# snapshot: what the work folder holds (names, types, sizes, modes, content), but the test's own files.
snapshot() {
  find "$WORK" -path "$WORK/*.out" -prune -o -path "$WORK/*.err" -prune -o -path "$WORK/*.rc" -prune -o -path "$WORK/*.ms" -prune \
    -o -path "$WORK/board.*" -prune -o -path "$WORK/flash.bin" -prune -o -printf '%P %y %s %m\n' | sort
  find "$WORK" -maxdepth 2 -type f \( -name '*.s19' -o -name '*.json' \) -exec md5sum {} + | sort
}

# refused NAME KIND PATH TEXT: the writer refuses PATH before anything is sent; the folder is unchanged.
refused() {
  local before
  before=$(snapshot)
  # shellcheck disable=SC2046
  cli "$1" $(writer "$2" "$3")
  expect_rc "$1" 2
  expect_contains "$1" err "$4"
  [ "$(snapshot)" = "$before" ] || { fail "$1: the folder changed"; diff <(echo "$before") <(snapshot) >&2; }
  expect_count "$1" out "***  Success ***.  QRB interface FLASH Read." 0
  expect_no_success "$1"
}

case "$1" in
  paths)
    start_board --tcp 0 --mode flash --load "$WORK/image.s19"
    echo '{}' >"$WORK/r.json"
    mkfifo "$WORK/fifo"
    mkdir "$WORK/dir"
    ln -s image.s19 "$WORK/image-link"
    ln -s lf.s19 "$WORK/lf-link"
    ln -s r.json "$WORK/r-link"
    node=""
    if mknod "$WORK/node" c 1 7 2>/dev/null; then node=$WORK/node; fi  # the full device, in the test's folder
    # kind | path | part of the reason
    while IFS='|' read -r kind path text; do
      # shellcheck disable=SC2016  # the table's paths are expanded below
      [ -n "$node" ] || [[ $path != *'$node'* ]] || continue
      path=$(eval echo "$path") text=$(eval echo "$text")
      refused "$kind-$(basename "$path")" "$kind" "$path" "$text"
    done <<'TABLE'
read|$WORK/fifo|is not a regular file
read|$WORK/dir|is not a regular file
read|$node|is not a regular file
read|$WORK/r-link|the report $WORK/r.json: the same file as $WORK/r-link
read|$WORK/r.json|the report $WORK/r.json: the same file as $WORK/r.json
read|$WORK/no-dir/b.s19|No such file or directory
report|$WORK/fifo|is not a regular file
report|$node|is not a regular file
report|$WORK/image.s19|the same file as the image
report|$WORK/image-link|the same file as the image
report|$WORK/no-dir/r.json|No such file or directory
fix|$WORK/fifo|is not a regular file
fix|$node|is not a regular file
fix|$WORK/lf-link|the same file as $WORK/lf.s19
fix|$WORK/dir|is not a regular file
fix|$WORK/no-dir/x.s19|No such file or directory
TABLE
    [ -z "$node" ] || [ -c "$node" ] || fail "the device node was replaced"
    [ -p "$WORK/fifo" ] || fail "the FIFO was replaced"
    grep -q ' received ' "$WORK/board.log" && fail "the board received a packet"

    # Written through a link to a regular file, with the modes a new and an existing file get.
    umask 002
    echo old >"$WORK/kept.s19" && chmod 640 "$WORK/kept.s19" && ln -s kept.s19 "$WORK/kept-link"
    # shellcheck disable=SC2046
    cli through $(writer read "$WORK/kept-link")
    expect_rc through 0
    [ -L "$WORK/kept-link" ] || fail "the link was replaced"
    [ "$(stat -c %a "$WORK/kept.s19")" = 640 ] || fail "an existing file lost its mode: $(stat -c %a "$WORK/kept.s19")"
    # shellcheck disable=SC2046
    cli new-fix $(writer fix "$WORK/new.s19")
    expect_rc new-fix 0
    [ "$(stat -c %a "$WORK/new.s19")" = 664 ] || fail "a new file's mode is not the umask's: $(stat -c %a "$WORK/new.s19")"
    binary "$WORK/kept.s19" >"$WORK/kept.bin"
    cmp -s "$WORK/kept.bin" <(binary "$WORK/new.s19" -crop 0x1000 0x1200) || fail "the backup and the fixed image differ"

    # "-" is stdout for read: the S-records there, the Status list on stderr.
    cli dash read - --tcp "127.0.0.1:$PORT" --range 0x1000-0x11FF --tick 1
    expect_rc dash 0 err "***  Success ***.  QRB interface FLASH Read."
    cmp -s "$WORK/kept.bin" <(binary "$WORK/dash.out") || fail "read to stdout: not the board's FLASH"

    # Files named "-" and "@name" are files to srecord, never stdin or a list of arguments.
    echo "secret" >"$WORK/secret.txt" && echo "secret.txt -binary" >"$WORK/evil"
    cp "$WORK/lf.s19" "$WORK/@evil" && cp "$WORK/lf.s19" "$WORK/-"
    for name in @evil -; do
      (cd "$WORK" && cli "named$name" check "$name" --fix "fixed$name.s19")
      expect_rc "named$name" 0
      expect_contains "named$name" out "srec_cat './$name' -fill 0xFF -within './$name'"
      cmp -s "$WORK/kept.bin" <(binary "$WORK/fixed$name.s19" -crop 0x1000 0x1200) || fail "check $name --fix: not the file's data"
    done
    stop_board
    ;;

  mounts)  # a full file system: the run fails after its own lines, the old file stays, no JSON cut short
    [ "$(id -u)" = 0 ] || { echo "needs root to mount a small tmpfs"; exit 77; }
    mkdir "$WORK/small" "$WORK/ro"
    mount -t tmpfs -o size=64k tmpfs "$WORK/small" || { echo "cannot mount a tmpfs here"; exit 77; }
    trap 'umount "$WORK/small" "$WORK/ro" 2>/dev/null; cleanup' EXIT
    mount -t tmpfs -o ro,size=16k tmpfs "$WORK/ro"
    start_board --tcp 0 --mode flash --load "$WORK/image.s19"
    for kind in read report fix; do  # a read-only folder, even for root
      refused "ro-$kind" "$kind" "$WORK/ro/out" "Read-only file system"
    done
    echo '{"old": true}' >"$WORK/small/r.json" && echo keep >"$WORK/small/b.s19"
    dd if=/dev/zero of="$WORK/small/fill" bs=1k count=64 2>/dev/null || true
    before=$(ls -A "$WORK/small")
    # shellcheck disable=SC2046
    cli report $(writer report "$WORK/small/r.json")
    expect_rc report 1 out "$PROGRAM_SUCCESS"  # the run's verdict stands ...
    expect_contains report err "cannot write the report $WORK/small/r.json: No space left on device"  # ... then this
    [ "$(cat "$WORK/small/r.json")" = '{"old": true}' ] || fail "the report was cut short"
    cli backup read "$WORK/small/b.s19" --tcp "127.0.0.1:$PORT" --range 0x1000-0x11FF --tick 1
    expect_rc backup 1
    expect_contains backup err "cannot write $WORK/small/b.s19: No space left on device"
    expect_count backup out "***  Success ***.  QRB interface FLASH Read." 0
    [ "$(cat "$WORK/small/b.s19")" = keep ] || fail "a failed read changed its output file"
    # shellcheck disable=SC2046
    cli fix $(writer fix "$WORK/small/x.s19")
    expect_rc fix 1
    expect_count fix out "Fixed:" 0
    [ "$(ls -A "$WORK/small")" = "$before" ] || fail "files left: $(ls -A "$WORK/small")"
    stop_board
    ;;

  reads)  # a read-back corrupted on the line is read again: the backup holds the board's bytes
    start_board --tcp 0 --mode flash --load "$WORK/image.s19" --corrupt-readback 2:16
    cli twice read "$WORK/b.s19" --tcp "127.0.0.1:$PORT" --range 0x1000-0x11FF --tick 1 --report "$WORK/r.json"
    stop_board
    expect_rc twice 0 err "Block \$1000 read 2 times, no two reads alike; reading it again."
    cmp -s <(binary "$WORK/image.s19" -fill 0xFF 0x1000 0x1200) <(binary "$WORK/b.s19") || fail "the backup holds the corrupted read-back"
    python3 -c 'import json, sys; b = json.load(open(sys.argv[1]))["boards"][0]["blocks"]; assert [x["reads"] for x in b] == [3, 2], b' \
      "$WORK/r.json" || fail "the report's reads"
    ;;

  signals)  # a stop signal while check --fix runs srec_cat: exit 128 + signal, no child, no temporary file
    srec_cat -generate 0x10000 0x1010000 -repeat-data 1 2 3 4 5 -o "$WORK/big.s19" 2>/dev/null
    mkdir "$WORK/tmp"
    TMPDIR=$WORK/tmp cli_bg sig check "$WORK/big.s19" --fix "$WORK/big-fixed.s19"
    wait_for 10 sh -c '[ -n "$(ls -A "$0")" ]' "$WORK/tmp" || fail "srec_cat never started writing"
    kill -TERM "$CLI_PID"
    wait_cli sig
    expect_rc sig 143
    sleep 0.2
    [ -z "$(ls -A "$WORK/tmp")" ] || fail "temporary files left: $(ls -A "$WORK/tmp")"
    [ -e "$WORK/big-fixed.s19" ] && fail "OUT written after the signal"
    pgrep -f "srec_cat $WORK/big.s19|srec_cat ./big.s19|$WORK/big.s19 -fill" >/dev/null && fail "srec_cat runs on"
    ;;

  *) echo "unknown case $1" >&2; exit 2 ;;
esac
finish
