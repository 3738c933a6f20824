#!/usr/bin/env bash
# Builds the `fuzz` preset (clang, libFuzzer, AddressSanitizer, UBSan), replays
# every seed corpus once (its CTest tests), then runs every fuzz target the
# preset builds (build/fuzz/fuzz-targets.txt) for the given number of seconds
# (default 60), as many at once as there are processors. Each starts from its
# seed corpus in fuzz/corpus/<target> and keeps what it finds in
# build/fuzz/corpus/<target> (the repository's seeds stay as they are). Exits
# non-zero if a replay fails or a target finds a fault; the input that found it
# is left in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

out=build/fuzz
mkdir -p "$out/artifacts"
replays=passed
ctest --preset fuzz || replays=FAILED
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
mapfile -t targets <"$out/fuzz-targets.txt"
results=$(printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -I{} bash -c "fuzz_one {} $seconds")
echo "$results"
if [ "$(grep -c ': passed, ' <<<"$results" || true)" -ne "${#targets[@]}" ]; then
  echo "fuzz: not every target ran its time without a fault"
  exit 1
fi
if [ "$replays" != passed ]; then
  echo "fuzz: a seed corpus replay failed"
  exit 1
fi
echo "fuzz: every seed corpus replayed; all ${#targets[@]} targets ran ${seconds}s without a fault"
