#!/usr/bin/env bash
# Installs what building and testing vrel needs on a Debian 12 machine:
#   tools/setup.sh native   compiler, CMake, Ninja, GoogleTest, CLI11, nlohmann-json,
#                           OpenSSL, libcurl, SQLite, libpq and the PostgreSQL server (the native
#                           build and its tests: the suites start a private server),
#                           pkg-config, Mono's C# compiler (the C and C# sections of docs/bindings.md),
#                           faketime (a licence signed by a server whose clock is ahead),
#                           Boost (vrel-server's HTTP and TLS: Beast over Asio), openssl
#                           (the server tests' certificate) and wrk (its benchmark)
#   tools/setup.sh all      also MinGW-w64 (x86 and x64), Wine, Google Benchmark, clang 14
#                           with libFuzzer, gcovr and Valgrind, and what CPack needs for
#                           the Debian packages (dpkg-dev, file)
# Runs apt-get only for packages that are missing. Needs root (or sudo).
set -euo pipefail

scope=${1:-all}
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

native_packages=(cmake ninja-build g++ googletest libgtest-dev python3 iproute2 libcli11-dev
  nlohmann-json3-dev libssl-dev libcurl4-openssl-dev libsqlite3-dev libpq-dev postgresql pkg-config
  mono-mcs faketime libboost-dev openssl wrk)  # vrel-server: Beast and Asio; its certificate; its benchmark
all_packages=("${native_packages[@]}" g++-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix wine wine64 wine32:i386 libbenchmark-dev
  clang clang-14 libclang-rt-14-dev gcovr valgrind  # fuzzing, coverage, memcheck
  dpkg-dev file)  # CPack's Debian packages

packages=("${native_packages[@]}")
if [ "$scope" = all ]; then
  packages=("${all_packages[@]}")
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ "$scope" = all ]; then
  # Wine's 32-bit loader is an i386 Linux program. Where the kernel cannot run
  # those (64-bit-only hosts and sandboxes), hand them to qemu-i386 through
  # binfmt_misc; the Windows code itself is unaffected. qemu 7.2 of Debian 12
  # takes minutes to start a Wine process (its guest mmap scans the whole
  # address space), so take the current qemu from bookworm-backports.
  misc=/proc/sys/fs/binfmt_misc
  if [ -e "$misc/qemu-i386" ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    qemu_major=$( (qemu-i386-static --version 2>/dev/null || true) | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
    if [ "${qemu_major:-0}" -lt 8 ]; then
      echo "setup: installing qemu-user-static from bookworm-backports"
      # The backports suite lives in the archive the machine already uses for
      # bookworm: take its address from the configured apt sources.
      archive=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' |
        awk '$2 == "bookworm" { print $1; exit }')
      [ -n "$archive" ] || { echo "setup: no bookworm archive among the apt sources" >&2; exit 1; }
      echo "deb $archive bookworm-backports main" |
        "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/vrel-bookworm-backports.list >/dev/null
      "${sudo_cmd[@]}" apt-get update -q
      DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
        -t bookworm-backports qemu-user-static
    fi
    [ -e "$misc/register" ] || "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$misc"
    # (Re-)register, so that the entry holds the qemu binary installed now.
    [ -e "$misc/qemu-i386" ] && echo -1 | "${sudo_cmd[@]}" tee "$misc/qemu-i386" >/dev/null
    echo "setup: this kernel does not run i386 programs; they run under qemu-i386"
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      "${sudo_cmd[@]}" tee "$misc/register" >/dev/null
    /usr/lib/wine/wine --version >/dev/null || { echo "setup: Wine's i386 loader cannot run" >&2; exit 1; }
  fi
fi
