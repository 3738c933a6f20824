#!/usr/bin/env bash
# Builds the `fuzz` preset (clang, libFuzzer, AddressSanitizer, UBSan) and runs
# every fuzz target for the given number of seconds (default 60), one after
# the other. Each starts from its seed corpus in fuzz/corpus/<target> and
# keeps what it finds in build/fuzz/corpus/<target> (the repository's seeds
# stay as they are). Exits non-zero if any target finds a fault; the input
# that found it is left in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

out=build/fuzz
mkdir -p "$out/artifacts"
failed=()
for target in fuzz_property_text fuzz_card_pass fuzz_md5 fuzz_rijndael; do
  corpus=$out/corpus/$target
  mkdir -p "$corpus"
  log=$out/$target.log
  echo "==== $target: ${seconds}s"
  if "$out/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -len_control=20 \
       -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" \
       "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "==== $target: passed, $execs runs, $cov edges"
  else
    tail -n 40 "$log"
    echo "==== $target: FAILED (log $log)"
    failed+=("$target")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz: faults found by ${failed[*]}"
  exit 1
fi
echo "fuzz: every target ran ${seconds}s without a fault"
