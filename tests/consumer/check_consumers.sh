#!/usr/bin/env bash
# check_consumers.sh <source dir> <build dir> [<toolchain file> <runner>]: builds and runs
# the consumer project against this build's install tree (for Windows the unpacked CPack
# ZIP, whose files must be there and whose vreltest.exe must run) and, natively, the source tree.
# Then the C interface's shared library: it exports exactly the functions its header declares,
# the DLL imports no MinGW runtime DLL, and the C example (and natively the Python one) give
# the token and verdict of vreltest.
set -euo pipefail
src=$1 build=$2 toolchain=${3:-} runner=${4:-}
work=$build/consumer-check
fail() { echo "consumers: $*"; exit 1; }
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
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
  for f in bin/vreltest.exe bin/vrel.dll lib/libvrel.a lib/libvrel.dll.a include/vrel/vrel.h \
    include/vrel/c/vrel_c.h lib/cmake/vrel/vrelConfig.cmake README.md LICENSE; do
    [ -f "$prefix/$f" ] || { echo "missing from the ZIP: $f"; exit 1; }
  done
  $runner "$prefix/bin/vreltest.exe" | tee "$work/zip-report.txt"
  grep -q '^Netcard info (new API):' "$work/zip-report.txt"
  # The README's command for a program built without CMake, for this build's compiler.
  triplet=$(basename "$(cache CMAKE_OBJDUMP)" -objdump)
  command=$(sed -n '/^i686-w64-mingw32-g++-posix -std=c++17/{N;p}' "$src/README.md")
  mkdir -p "$work/plain" && cp "$src/tests/consumer/consumer.cpp" "$work/plain/app.cpp"
  (cd "$work/plain" && vrel=$prefix && eval "${command//i686-w64-mingw32/$triplet}")
  $runner "$work/plain/app.exe" | grep -q '^vrel consumer: signature' || fail "the README's command"
fi
consume installed -DCMAKE_PREFIX_PATH="$prefix"
[ -n "$toolchain" ] || consume source_tree -DVREL_SOURCE_DIR="$src"  # the same CMake either way

tool() { $runner "$prefix/bin/vreltest${toolchain:+.exe}" "$@" | tr -d '\r'; }
header=$prefix/include/vrel/c/vrel_c.h
declared=$(grep -o 'VREL_CALL vrel_[a-z_]*' "$header" | cut -d' ' -f2 | sort)
if [ -z "$toolchain" ]; then
  exported=$("$(cache CMAKE_NM)" -D --defined-only "$prefix/lib/libvrel.so" | cut -d' ' -f3)
  objdump -p "$prefix/lib/libvrel.so" | grep -q "SONAME *libvrel\.so\.[0-9]*$" || fail "no soname"
else
  table=$("$(cache CMAKE_OBJDUMP)" -p "$prefix/bin/vrel.dll")
  exported=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' <<<"$table")
  ! grep -iE 'DLL Name: lib(stdc|gcc|winpthread)' <<<"$table" || fail "the DLL needs the above"
fi
[ "$(sort <<<"$exported")" = "$declared" ] || fail "exported:" $exported "; declared:" $declared
key=licence-key
token=$(tool fingerprint --key "$key")
verdict() { tool "$@" >/dev/null && echo 1 || echo 0; }  # exit 0: same machine
same=$(verdict compare "$token" "$token")
c=$($runner "$work/installed/licence_check${toolchain:+.exe}" "$key" | tr -d '\r') || fail "$c"
want="vrel $(tool --version | cut -d' ' -f2)
token: $token
same machine: $same
this machine: $(verdict match --key "$key" "$token")"
[ "$(head -n 4 <<<"$c")" = "$want" ] || fail "the C example printed" "$c" "instead of" "$want"
if [ -z "$toolchain" ]; then
  py=$(python3 "$src/examples/python/vrel_token.py" "$prefix/lib/libvrel.so" "$key")
  [ "$py" = "$(head -n 2 <<<"$want")
compare: $same" ] || fail "the Python example printed $py"
fi
echo "consumers: every way works"
