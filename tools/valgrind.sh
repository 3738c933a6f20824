#!/usr/bin/env bash
# Runs every native test executable and vreltest of the `native` build (built
# first if needed) under Valgrind's memcheck, as many at once as there are
# processors: any invalid access, use of uninitialised memory or leaked block
# (definite, indirect or possible) fails the run. The allocation-failure suite
# is left out: it replaces malloc and operator new itself, as memcheck does,
# and counts its own blocks.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)"

build=build/native
# glibc's AVX2 wmemcmp compares whole 32-byte vectors, reading past the end
# of a short wide string within the same page; memcheck 3.19 has no
# replacement for it and reports every std::wstring comparison. Have glibc
# pick its SSE routines instead, which memcheck follows exactly.
export GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2
mapfile -t programs < <(find "$build/tests" -type f -executable -name 'vrel_*_tests' \
                          ! -name vrel_alloc_failure_tests | sort)
programs+=("$build/utils/vrel/vreltest/vreltest")

memcheck() {  # <program>: prints one line, "clean" or "FAILED"
  local log=$1.memcheck.log launcher=()
  if [ "$(basename "$1")" = vrel_activation_tests ]; then  # started by its loopback server
    launcher=(python3 tests/activation/stand_in.py tests/licence/data/valid.lic)
  fi
  if "${launcher[@]}" valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
       --errors-for-leak-kinds=definite,indirect,possible \
       --show-leak-kinds=definite,indirect,possible --track-origins=yes --log-file="$log" \
       "$1" >"$log.out" 2>&1; then
    echo "valgrind: $(basename "$1"): clean ($(grep -o 'total heap usage: .*' "$log"))"
  else
    tail -n 30 "$log"
    echo "valgrind: $(basename "$1"): FAILED (log $log)"
  fi
}
export -f memcheck
results=$(printf '%s\n' "${programs[@]}" | xargs -P "$(nproc)" -I{} bash -c 'memcheck {}')
echo "$results"
clean=$(grep -c ': clean (' <<<"$results" || true)
if [ "$clean" -ne "${#programs[@]}" ]; then
  echo "valgrind: only $clean of ${#programs[@]} programs ran clean"
  exit 1
fi
echo "valgrind: ${#programs[@]} programs clean"
