#!/usr/bin/env bash
# Installs what is missing, then builds every preset and runs every test:
# natively, natively under AddressSanitizer and UBSan, and for 32-bit Windows
# under Wine. Exits non-zero if any step fails.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh all

jobs=$(nproc)
failed=()
for preset in native native-asan windows-x86; do
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

if [ "${#failed[@]}" -gt 0 ]; then
  echo "FAILED presets: ${failed[*]}"
  exit 1
fi
echo "All presets passed."
