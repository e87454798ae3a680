#!/usr/bin/env bash
# Runs each fuzz target for a set time on its corpus: the starting inputs in
# tests/fuzz/corpus, the S-record files of tests/e2e/make-corpus.sh (as
# toolchains write them, and damaged) and what earlier runs added in
# WORK/<corpus>. Prints
# libFuzzer's final line (executions, edges, corpus, exec/s) per target. Exit
# status 1 on a finding; the input that caused it is kept in WORK/artifacts/.
# Usage: run-fuzz.sh BUILD-DIR SECONDS-PER-TARGET WORK-DIR
set -uo pipefail
build=$1 seconds=$2 work=$3
src="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$work/artifacts" "$work/e2e/board_replies"
bash "$src/../e2e/make-corpus.sh" "$work/e2e/s19_file"

status=0
report=()
# target corpus max-length extra-options...
for entry in "fuzz_s19_file s19_file 8192 -dict=$src/s19.dict" "fuzz_board_replies board_replies 4096"; do
  read -r target corpus maxlen extra <<<"$entry"
  mkdir -p "$work/$corpus"
  log="$work/$target.log"
  echo "== $target: ${seconds} s, log in $log"
  # shellcheck disable=SC2086 # extra holds whole options
  if ! "$build/bin/$target" -max_total_time="$seconds" -max_len="$maxlen" -timeout=30 \
      -artifact_prefix="$work/artifacts/$target-" $extra "$work/$corpus" "$src/corpus/$corpus" "$work/e2e/$corpus" >"$log" 2>&1; then
    status=1
    echo "** $target found a fault:"
    grep -E -A40 'Invariant violated|ERROR: |runtime error' "$log" | head -80
  fi
  report+=("$target: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1), $(find "$work/$corpus" -type f | wc -l) inputs in $work/$corpus")
done
printf '%s\n' "" "${report[@]}"
exit $status
