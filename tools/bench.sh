#!/bin/sh
# Builds the benchmarks (preset "bench") and measures MD5 and AES throughput
# beside OpenSSL's libcrypto, twice for OpenSSL's AES: as it runs by default
# (AES-NI where the processor has it) and with OPENSSL_ia32cap masking AES-NI
# (capability bit 57) and SSSE3 (bit 41), which leaves its table-based code.
# OpenSSL reads the variable once at start-up, hence two runs.
#
# Usage: tools/bench.sh [-O2|-O3] [benchmark options...]
#   e.g. tools/bench.sh -O2 --benchmark_min_time=2
# -O3 (the default) builds preset "bench" (CMake's Release flags), -O2 preset
# "bench-o2".
set -eu
cd "$(dirname "$0")/.."

preset=bench
case "${1:-}" in
  -O2) preset=bench-o2; shift ;;
  -O3) shift ;;
esac
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target vrel_bench >/dev/null
bench=build/$preset/bench/vrel_bench
tables_cap="${VREL_BENCH_IA32CAP:-~0x200020000000000}"
options="--benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv"

results=$(mktemp)
trap 'rm -f "$results"' EXIT
# shellcheck disable=SC2086
env -u OPENSSL_ia32cap "$bench" $options "$@" 2>/dev/null | sed 's/^/default,/' >>"$results"
# shellcheck disable=SC2086
OPENSSL_ia32cap="$tables_cap" "$bench" $options --benchmark_filter='OpenSSL/aes' "$@" \
  2>/dev/null | sed 's/^/tables,/' >>"$results"

echo "CPU: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "OpenSSL: $(openssl version 2>/dev/null || echo unknown); tables run: OPENSSL_ia32cap=$tables_cap"
echo "Preset: $preset; throughput in MB/s (10^6 bytes/s), median of 5 repetitions, CPU time."
echo
awk -F, '
  # Lines: run,"Impl/case_median",iterations,real,cpu,unit,bytes_per_second,...
  $2 ~ /_median"$/ {
    name = $2; gsub(/"/, "", name); sub(/_median$/, "", name)
    split(name, part, "/")
    rate[$1 "," part[1] "," part[2]] = $7 / 1e6
    if (!(part[2] in seen)) { seen[part[2]] = 1; order[++count] = part[2] }
  }
  END {
    printf "%-32s %9s %12s %6s %12s %14s %6s\n", "case", "vrel", "OpenSSL", "ratio",
           "vrel-tables", "OpenSSL-tables", "ratio"
    for (i = 1; i <= count; ++i) {
      c = order[i]; v = rate["default,Vrel," c]
      o = rate["default,OpenSSL," c]; t = rate["tables,OpenSSL," c]
      vt = rate["default,VrelTables," c]
      if (o == "") continue
      line = sprintf("%-32s %9.1f %12.1f %6.2f", c, v, o, v / o)
      if (vt != "" && t != "") line = line sprintf(" %12.1f %14.1f %6.2f", vt, t, vt / t)
      print line
      if (t != "" && c ~ /ecb_encrypt/ && t > 0.5 * o)
        print "  warning: the OPENSSL_ia32cap mask hardly slowed OpenSSL down; check the mask"
    }
    printf "\n%-32s %9s  %s\n", "table rounds, 24/32-byte blocks", "vrel", "per-byte cost / 16-byte table rounds"
    for (i = 1; i <= count; ++i) {
      c = order[i]
      if (c !~ /^key[0-9]+_block/) continue
      split(c, f, "_")
      key = substr(f[1], 4)
      ref = (key == 16 ? "aes128" : key == 24 ? "aes192" : "aes256") "_" f[3] "_" f[4] "_" f[5]
      v = rate["default,Vrel," c]; r = rate["default,VrelTables," ref]
      printf "%-32s %9.1f  %.2f (vs %s)\n", c, v, r / v, ref
    }
  }' "$results"
