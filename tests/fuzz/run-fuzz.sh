#!/usr/bin/env bash
# Runs each fuzz target for a set time on its corpus: the starting inputs in
# tests/fuzz/corpus and what earlier runs added in WORK/<corpus>. Prints the
# executions and the corpus reached per target. Exit status 1 on a finding;
# the input that caused it is kept in WORK/artifacts/.
# Usage: run-fuzz.sh BUILD-DIR SECONDS-PER-TARGET WORK-DIR
set -uo pipefail
build=$1 seconds=$2 work=$3
src="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$work/artifacts"

status=0
report=()
# target corpus max-length extra-options...
targets=(
  "fuzz_s19_file s19_file 8192 -dict=$src/s19.dict"
  "fuzz_board_replies board_replies 4096"
)
for entry in "${targets[@]}"; do
  read -r target corpus maxlen extra <<<"$entry"
  mkdir -p "$work/$corpus"
  log="$work/$target.log"
  echo "== $target: ${seconds} s, log in $log"
  # shellcheck disable=SC2086 # extra holds whole options
  if ! "$build/bin/$target" -max_total_time="$seconds" -max_len="$maxlen" -timeout=30 \
      -print_final_stats=1 -artifact_prefix="$work/artifacts/$target-" $extra \
      "$work/$corpus" "$src/corpus/$corpus" >"$log" 2>&1; then
    status=1
    echo "** $target found a fault:"
    grep -E -A40 'Invariant violated|ERROR: |runtime error' "$log" | head -80
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  corp=$(grep -oE 'corp: [0-9]+/[0-9]+[a-zA-Z]*' "$log" | tail -1 | cut -d' ' -f2)
  cover=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
  files=$(find "$work/$corpus" -type f | wc -l)
  report+=("$(printf '%-20s %8s s %12s %10s %12s %10s %12s' "$target" "$seconds" "${execs:-?}" "${rate:-?}" \
    "${corp:-?}" "${cover:-?}" "$files")")
done

printf '\n%-20s %10s %12s %10s %12s %10s %12s\n' target time executions exec/s corpus edges "new inputs"
printf '%s\n' "${report[@]}"
exit $status
