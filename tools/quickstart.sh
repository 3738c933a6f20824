#!/usr/bin/env bash
# Runs the README's quick start as a reader would: every ```sh block under the
# "Quick start" heading, in order, with bash -e from the root of this checkout.
# The blocks build into build/native, so after the native preset this costs
# seconds. Exits non-zero when a command fails.
set -euo pipefail
cd "$(dirname "$0")/.."
script=$(awk '
  /^## / { inside = ($0 ~ /^## Quick start/) }
  inside && /^```/ { if (fence) { fence = 0 } else if ($0 == "```sh") { fence = 1; next } }
  inside && fence' README.md)
[ -n "$script" ] || { echo "quickstart: no sh blocks under \"## Quick start\" in README.md" >&2; exit 1; }
bash -e -c "$script"
echo "quickstart: every block ran"
