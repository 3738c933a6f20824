#!/usr/bin/env bash
# Makes the Debian packages from the native build (CPack), installs them with
# apt-get as a user would, and checks them under /usr: every file where the
# README says, no rpath in any program or library, a C++ and a C consumer built
# with pkg-config alone, and the C consumer, Python's ctypes (libvrel.so.0) and
# docs/bindings.md's C# program under Mono (DllImport("vrel")) printing the installed
# vreltest's token; the registry's tool and library. The packages are removed again on every way out, so that no
# later step finds them. Needs root (or sudo) and the native build.
#   tools/check-packages.sh [build dir, default build/native]
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD build=$(realpath "${1:-build/native}")
work=$build/package-check
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
packages=(libvrel0 libvrel-dev vrel-tools vrel-registry)
fail() { echo "packages: $*" >&2; exit 1; }

for p in "${packages[@]}"; do  # installed by someone else: leave it, and stop
  ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    fail "$p is already installed"
done
rm -rf "$work" && mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work/debs" >/dev/null)
debs=("$work"/debs/*.deb)
[ "${#debs[@]}" -eq "${#packages[@]}" ] || fail "CPack made ${debs[*]}"
for deb in "${debs[@]}"; do
  echo "---- dpkg -c $(basename "$deb")" && dpkg -c "$deb"
done

remove() {
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get purge -y -q "${packages[@]}" >/dev/null 2>&1 || true
}
trap remove EXIT
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
  "${debs[@]}" >/dev/null

for f in /usr/bin/vreltest /usr/lib/libvrel.so.0 /usr/lib/libvrel.so /usr/lib/libvrel.a \
  /usr/include/vrel/vrel.h /usr/include/vrel/c/vrel_c.h /usr/include/vrel/version.h \
  /usr/lib/cmake/vrel/vrelConfig.cmake /usr/lib/pkgconfig/vrel.pc /usr/lib/pkgconfig/vrel-c.pc \
  /usr/bin/vrel-registry /usr/bin/vrel-server /usr/lib/libvrel_registry.so.0 \
  /usr/include/vrel/registry/vrel_registry.h; do
  [ -e "$f" ] || fail "not installed: $f"
done
for f in /usr/bin/vreltest /usr/lib/libvrel.so.0 /usr/bin/vrel-registry /usr/bin/vrel-server \
  /usr/lib/libvrel_registry.so.0; do
  ! readelf -d "$f" | grep -E 'R(UN)?PATH' || fail "$f has an rpath"
done

# Consumers with pkg-config alone: the C++ library (the static archive, not
# libvrel.so) and the C interface, found by the loader under /usr.
echo "---- pkg-config --cflags --libs vrel: $(pkg-config --cflags --libs vrel)"
echo "---- pkg-config --cflags --libs vrel-c: $(pkg-config --cflags --libs vrel-c)"
g++ -std=c++17 "$src/tests/consumer/consumer.cpp" -o "$work/consumer" $(pkg-config --cflags --libs vrel)
! readelf -d "$work/consumer" | grep -q 'NEEDED.*libvrel' || fail "the C++ consumer needs libvrel.so"
"$work/consumer" | grep '^vrel consumer: signature'
cc -std=c99 "$src/examples/c/licence_check.c" -o "$work/licence_check" $(pkg-config --cflags --libs vrel-c)

key=package-key
token=$(vreltest fingerprint --key "$key")
echo "---- vreltest fingerprint --key $key: $token"
c=$("$work/licence_check" "$key" | sed -n 's/^token: //p')
[ "$c" = "$token" ] || fail "the C consumer printed $c"
py=$(python3 "$src/examples/python/vrel_token.py" libvrel.so.0 "$key" | sed -n 's/^token: //p')
[ "$py" = "$token" ] || fail "ctypes printed $py"
mkdir -p "$work/csharp"
tools/quickstart.sh --print "docs/bindings.md#C#" | sed -n "/^cat > build\/csharp\/Licence.cs <<'EOF'/,/^EOF\$/p" |
  sed '1d;$d' > "$work/csharp/Licence.cs"
mcs -out:"$work/csharp/licence.exe" "$work/csharp/Licence.cs" >/dev/null
cs=$(mono "$work/csharp/licence.exe" | sed -n 's/^token: //p')
want=$(vreltest fingerprint --key my-app-secret)  # the key the C# section's program has
[ "$cs" = "$want" ] || fail "Mono printed $cs, vreltest $want"

# The registry package: the tool enrolls this machine's token into a new
# database, and the ctypes example finds the same machine through the library.
db=$work/registry.db
verdict=$(vrel-registry --db "sqlite:$db" enroll "$token")
echo "---- vrel-registry enroll: $verdict"
case $verdict in *'"verdict":"new","machine":1,'*) ;; *) fail "vrel-registry printed $verdict" ;; esac
again=$(python3 "$src/examples/python/registry_licence_check.py" libvrel_registry.so.0 "$db" 1 "$token")
[ "$again" = "allow 1" ] || fail "the registry's ctypes example printed $again"
vrel-server --version | grep -q '^vrel-server ' || fail "vrel-server --version failed"
echo "packages: installed, consumed through pkg-config, ctypes and Mono; removing them"
