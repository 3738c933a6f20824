#!/usr/bin/env bash
# The test command: installs what is missing, then runs every check and prints
# the time of each step (docs/development.md lists what each step covers):
#   wineprefix   the Windows presets' Wine prefix, made once before any suite runs
#   native       Release build: every suite, the report against this machine, consumers
#   quickstart   tools/quickstart.sh: the README's quick start, the C, Python and C# sections
#                and the registry's walk-throughs, run as written; each language prints
#                vreltest's token
#   packages     tools/check-packages.sh: the Debian packages installed, used through
#                pkg-config, ctypes and Mono, and removed again
#   native-asan  the same suites under AddressSanitizer and UBSan
#   windows-x86  32-bit Windows build: every suite, the report check, ZIP and consumer, under Wine
#   windows-x64  the same for 64-bit Windows, and its answers against the x86 build's
#   tsan         the concurrency suite (the one that starts threads) under ThreadSanitizer
#   coverage     tools/coverage.sh: native gates, then the Windows-only files under Wine
#   fuzz         tools/fuzz.sh 20: every target 20 seconds, as many at once as processors
#   valgrind     tools/valgrind.sh: the native build's suites and vreltest under memcheck
# Exits non-zero if any step fails; every step runs either way.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
# The real SMBIOS tables lie beside the project (CMake variable VREL_REAL_SMBIOS_DIR): here their
# test fails when it cannot find them, where elsewhere it skips.
export VREL_REAL_SMBIOS_REQUIRED=1
# The registry's suites start a PostgreSQL server of their own; here one that
# cannot start is a failure, not a skip.
export VREL_REQUIRE_POSTGRES=1
failed=() times=()
step() {  # <name> <command...>
  local start=$SECONDS result=passed
  echo "==== $1 (load $(cut -d' ' -f1 /proc/loadavg))"
  "${@:2}" || { result=FAILED; failed+=("$1"); }
  times+=("$(printf '%-12s %5ds  %s' "$1" $((SECONDS - start)) "$result")")
  echo "==== $1: $result in $((SECONDS - start))s"
}
preset() {  # <preset>: configure, build and test (Windows: with Wine's server started first)
  local wine=true
  case $1 in windows-*) wine=build/$1/wine-run.sh ;; esac
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs" && "$wine" &&
    ctest --preset "$1"
}

step setup tools/setup.sh all
step wineprefix sh -c 'cmake --preset windows-x86 >/dev/null && build/windows-x86/wine-run.sh'
step native preset native
step quickstart tools/quickstart.sh
step packages tools/check-packages.sh
for p in native-asan windows-x86 windows-x64 tsan; do step "$p" preset "$p"; done
step coverage tools/coverage.sh
step fuzz tools/fuzz.sh 20
step valgrind tools/valgrind.sh

printf '%s\n' "---- time per step" "${times[@]}" "$(printf '%-12s %5ds' total "$SECONDS")"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All presets and checks passed."
