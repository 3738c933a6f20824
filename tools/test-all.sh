#!/usr/bin/env bash
# Installs what is missing, then builds every preset and runs every test:
# natively, natively under AddressSanitizer and UBSan, for 32-bit Windows
# under Wine and under ThreadSanitizer; then the hardening checks: coverage of
# the native suite (printed), every fuzz target for 20 seconds, and the
# native suite and vreltest under Valgrind. Exits non-zero if any step fails.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh all

jobs=$(nproc)
failed=()
for preset in native native-asan windows-x86 tsan; do
  echo "==== $preset"
  if cmake --preset "$preset" >/dev/null &&
     cmake --build --preset "$preset" -j "$jobs" &&
     ctest --preset "$preset"; then
    echo "==== $preset: passed"
  else
    echo "==== $preset: FAILED"
    failed+=("$preset")
  fi
done

for check in "coverage:tools/coverage.sh" "fuzz:tools/fuzz.sh 20" "valgrind:tools/valgrind.sh"; do
  name=${check%%:*}
  echo "==== $name"
  if ${check#*:}; then
    echo "==== $name: passed"
  else
    echo "==== $name: FAILED"
    failed+=("$name")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All presets and checks passed."
