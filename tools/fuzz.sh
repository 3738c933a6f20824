#!/usr/bin/env bash
# Builds the `fuzz` preset (clang, libFuzzer, AddressSanitizer, UBSan) and runs
# every fuzz target for the given number of seconds (default 60), as many at
# once as there are processors. Each starts from its seed corpus in
# fuzz/corpus/<target> and keeps what it finds in build/fuzz/corpus/<target>
# (the repository's seeds stay as they are). Exits non-zero if any target finds
# a fault; the input that found it is left in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

out=build/fuzz
mkdir -p "$out/artifacts"
fuzz_one() {  # <target> <seconds>: prints one line, "passed" or "FAILED"
  local corpus=build/fuzz/corpus/$1 log=build/fuzz/$1.log
  mkdir -p "$corpus"
  if "build/fuzz/fuzz/$1" -max_total_time="$2" -max_len=4096 -len_control=20 \
       -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$1-" \
       "$corpus" "fuzz/corpus/$1" >"$log" 2>&1; then
    echo "fuzz: $1: passed, $2s, $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") runs," \
         "$(grep -o 'cov: [0-9]*' "$log" | tail -1) edges"
  else
    tail -n 40 "$log"
    echo "fuzz: $1: FAILED (log $log)"
  fi
}
export -f fuzz_one
targets=(fuzz_property_text fuzz_card_pass fuzz_md5 fuzz_rijndael)
results=$(printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -I{} bash -c "fuzz_one {} $seconds")
echo "$results"
if [ "$(grep -c ': passed, ' <<<"$results" || true)" -ne "${#targets[@]}" ]; then
  echo "fuzz: not every target ran its time without a fault"
  exit 1
fi
echo "fuzz: every target ran ${seconds}s without a fault"
