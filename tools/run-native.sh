#!/usr/bin/env bash
# Builds vreltest natively (installing the compiler and CMake if missing) and
# prints this machine's report.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh native >&2
cmake --preset native >/dev/null
cmake --build --preset native --target vreltest >/dev/null
exec build/native/utils/vrel/vreltest/vreltest
