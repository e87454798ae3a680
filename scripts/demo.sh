#!/usr/bin/env bash
# Programs and then verifies the bundled example image on the simulated board,
# over TCP on a free loopback port, and shows both lists of each run.
# Usage: scripts/demo.sh   (BUILD selects the build directory, default build;
#        BIN the folder of the programs, default $BUILD/bin, e.g. BIN=/usr/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BIN:-${BUILD:-build}/bin}
image=examples/qrb-example.s19

work=$(mktemp -d)
board=""
cleanup() {
  if [ -n "$board" ] && kill -0 "$board" 2>/dev/null; then kill -TERM "$board"; wait "$board" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/qrb-board-sim" --tcp 0 >"$work/board.out" 2>"$work/board.log" &
board=$!
for _ in $(seq 100); do grep -q '^READY' "$work/board.out" 2>/dev/null && break; sleep 0.05; done
port=$(sed -n 's/^TCP_PORT=//p' "$work/board.out")
[ -n "$port" ] || { echo "demo: the simulated board did not start" >&2; cat "$work/board.log" >&2; exit 1; }
echo "Simulated QRB board at start-up idle on 127.0.0.1:$port"
echo

show() {  # title, status file, debug file
  echo "---- $1: Status list"
  sed 's/^/    /' "$2"
  echo "---- $1: Debug list"
  sed 's/^/    /' "$3"
  echo
}

status=0
for command in program verify; do
  echo "\$ qrb-flash-cli $command $image --tcp 127.0.0.1:$port"
  rc=0
  "$bin/qrb-flash-cli" "$command" "$image" --tcp "127.0.0.1:$port" >"$work/$command.status" 2>"$work/$command.debug" || rc=$?
  show "$command (exit status $rc)" "$work/$command.status" "$work/$command.debug"
  [ "$rc" -eq 0 ] || status=1
done

kill -TERM "$board"
wait "$board" || true
board=""
echo "Simulated board stopped."
[ "$status" -eq 0 ] && echo "Demo passed: the example was programmed and verified." || echo "Demo FAILED."
exit "$status"
