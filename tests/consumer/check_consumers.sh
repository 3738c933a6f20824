#!/usr/bin/env bash
# Proves that other projects can use vrel: installs this build into a scratch
# prefix, builds a find_package consumer against it and an add_subdirectory
# consumer against the source tree, and runs both. With a Windows build it
# also packs the ZIP with CPack, runs vreltest.exe from the unpacked ZIP and
# builds the find_package consumer against the unpacked tree.
#   check_consumers.sh <source dir> <build dir> [<toolchain file> <runner>]
set -euo pipefail
src=$1 build=$2 toolchain=${3:-} runner=${4:-}
work="$build/consumer-check"
rm -rf "$work" && mkdir -p "$work"

cross=()
[ -n "$toolchain" ] && cross=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
run() {
  if [ -n "$runner" ]; then "$runner" "$@"; else "$@"; fi
}
check_consumer() {  # <consumer build dir>
  local exe="$1/consumer"
  [ -n "$toolchain" ] && exe="$exe.exe"
  local out
  out=$(run "$exe")
  echo "$out"
  grep -q '^vrel consumer: signature [0-9a-f]*, [0-9]* card(s), missing bits [0-9]*' <<<"$out"
}
build_consumer() {  # <project> <build dir> <cmake args...>
  local project=$1 dir=$2
  shift 2
  cmake -S "$src/tests/consumer/$project" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    "${cross[@]}" "$@" >/dev/null
  cmake --build "$dir" >/dev/null
}

echo "-- find_package against an installed tree"
cmake --install "$build" --prefix "$work/install" >/dev/null
build_consumer find_package "$work/find_package" -DCMAKE_PREFIX_PATH="$work/install"
check_consumer "$work/find_package"

echo "-- add_subdirectory of the source tree"
build_consumer add_subdirectory "$work/add_subdirectory" -DVREL_SOURCE_DIR="$src"
check_consumer "$work/add_subdirectory"

if [ -n "$toolchain" ]; then
  echo "-- the Windows ZIP"
  (cd "$build" && cpack -G ZIP -B "$work/package" >/dev/null)
  zip=$(ls "$work"/package/vrel-*-win32.zip)
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/unzipped"
  root=$(ls -d "$work"/unzipped/vrel-*)
  for f in bin/vreltest.exe lib/libvrel.a include/vrel/vrel.h lib/cmake/vrel/vrelConfig.cmake README.md LICENSE; do
    [ -f "$root/$f" ] || { echo "missing from the ZIP: $f"; exit 1; }
  done
  run "$root/bin/vreltest.exe" | tee "$work/zip-report.txt"
  grep -q '^Netcard info (new API):' "$work/zip-report.txt"
  build_consumer find_package "$work/zip_consumer" -DCMAKE_PREFIX_PATH="$root"
  check_consumer "$work/zip_consumer"
fi
echo "consumers: all ways work"
