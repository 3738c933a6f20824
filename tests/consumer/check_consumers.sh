#!/usr/bin/env bash
# check_consumers.sh <source dir> <build dir> [<toolchain file> <runner>]: builds and runs
# the consumer project against this build's install tree (for Windows the unpacked CPack
# ZIP, whose files must be there and whose vreltest.exe must run) and, natively, the source tree.
set -euo pipefail
src=$1 build=$2 toolchain=${3:-} runner=${4:-}
work=$build/consumer-check
rm -rf "$work" && mkdir -p "$work"
consume() {  # <project> <cmake args...>
  cmake -S "$src/tests/consumer" -B "$work/$1" -G Ninja -DCMAKE_BUILD_TYPE= \
    ${toolchain:+"-DCMAKE_TOOLCHAIN_FILE=$toolchain"} "${@:2}" >/dev/null
  cmake --build "$work/$1" >/dev/null
  $runner "$work/$1/consumer${toolchain:+.exe}" | tee "$work/$1.txt"
  grep -q '^vrel consumer: signature [0-9a-f]*, [0-9]* card(s), missing bits [0-9]*' "$work/$1.txt"
}
if [ -z "$toolchain" ]; then
  cmake --install "$build" --prefix "$work/install" >/dev/null
  prefix=$work/install
else
  (cd "$build" && cpack -G ZIP -B "$work/package" >/dev/null)
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
    "$work"/package/vrel-*-win*.zip "$work/unzipped"
  prefix=$(ls -d "$work"/unzipped/vrel-*)
  for f in bin/vreltest.exe lib/libvrel.a include/vrel/vrel.h lib/cmake/vrel/vrelConfig.cmake \
    README.md LICENSE; do [ -f "$prefix/$f" ] || { echo "missing from the ZIP: $f"; exit 1; }; done
  $runner "$prefix/bin/vreltest.exe" | tee "$work/zip-report.txt"
  grep -q '^Netcard info (new API):' "$work/zip-report.txt"
fi
consume installed -DCMAKE_PREFIX_PATH="$prefix"
[ -n "$toolchain" ] || consume source_tree -DVREL_SOURCE_DIR="$src"  # the same CMake either way
echo "consumers: every way works"
