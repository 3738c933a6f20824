#!/usr/bin/env bash
# Builds the `coverage` preset (g++ --coverage), runs the native test suite
# and prints line and branch coverage of utils/vrel with gcovr, leaving out
# the Windows-only files (*_win32.cpp, exercised by the Wine run instead).
# Branches are counted without the exception edges that g++ adds to every
# call that may throw (gcovr --exclude-throw-branches); the figure with them
# is printed too. Exits non-zero when a test fails or coverage is below
# 95% of lines or 90% of branches. An HTML report goes to
# build/coverage/coverage.html. Then the Windows-only files: the
# `windows-coverage` preset (MinGW-w64 with --coverage) runs the suites that
# reach them under Wine and every line of each *_win32.cpp of utils/vrel must
# have run.
set -euo pipefail
cd "$(dirname "$0")/.."
# gcovr checks that it can write its --output file by creating and then
# deleting it, so it must never be pointed at /dev/null (run as root, that
# removes the device). Reports nobody reads go to this scratch file.
scratch=$(mktemp)
trap 'rm -f "$scratch"' EXIT

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$(nproc)"
find build/coverage -name '*.gcda' -delete
# The PostgreSQL backend is reached only through a server the registry's
# suites start; without one they would skip and the figure fall by about a
# tenth, so its absence fails the run with the reason instead.
VREL_REQUIRE_POSTGRES=1 ctest --preset coverage

filters=(--root . --filter 'utils/vrel/' --exclude '.*_win32\.cpp')
echo "coverage: native build and suites took ${SECONDS}s"
gcovr "${filters[@]}" build/coverage -j "$(nproc)" --exclude-throw-branches \
  --html-details build/coverage/coverage.html --print-summary \
  --fail-under-line 95 --fail-under-branch 90 | tail -n 3 | sed 's/^/coverage: /'
gcovr "${filters[@]}" build/coverage -j "$(nproc)" --print-summary --output "$scratch" |
  sed -n 's/^branches: /coverage: branches with exception edges: /p'

# The Windows-only files, from the Wine run of the suites that call the real
# platform (cpu, identity, wmi, components, licence, activation; the preset builds and runs only
# those, since the windows-x86 step already runs every suite under Wine): each
# file must have every line run. A line only another suite reaches fails the
# gate; add that suite to the preset's lists.
native_seconds=$SECONDS
cmake --preset windows-coverage >/dev/null
cmake --build --preset windows-coverage -j "$(nproc)"
find build/windows-coverage -name '*.gcda' -delete
build/windows-coverage/wine-run.sh  # Wine's server and services apart from CTest's streams
ctest --preset windows-coverage
# Only the object folders: the Wine prefix's drive Z: leads to the whole file
# system, and so to other builds' data.
objects=(build/windows-coverage/utils build/windows-coverage/tests)
gcovr --root . --gcov-executable i686-w64-mingw32-gcov-posix --filter '.*_win32\.cpp' \
  "${objects[@]}" --txt | grep '_win32\.cpp' | sed 's/^/coverage under Wine: /'
gcovr --root . --gcov-executable i686-w64-mingw32-gcov-posix --filter 'utils/vrel/.*_win32\.cpp' \
  "${objects[@]}" --fail-under-line 100 --output "$scratch"
echo "coverage: native part ${native_seconds}s, Windows part $((SECONDS - native_seconds))s"
