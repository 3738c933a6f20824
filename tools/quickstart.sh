#!/usr/bin/env bash
# Runs the documents as a reader would: every ```sh block under a "## " heading, in order, with
# bash -e from the root of this checkout. First the README's "Quick start"; then the C, Python
# and C# sections of docs/bindings.md, each of which must print the token that
# `vreltest fingerprint` prints for the same key (the Quick start's build/app.key), and nothing
# else that looks like a token; then the Python and C# licence checks of docs/licensing.md, each of
# which must print, for a licence of this machine's and one of another's, what `vreltest licence`
# prints and exit as it does; then the activation from Python against the tests' stand-in server
# (activated, refused, no connection, and the file valid here); then the licence walk-through,
# whose file must be valid here; then
# the registry's walk-throughs, on SQLite and on a private
# PostgreSQL server (which its own section starts, and stops when its shell ends). The blocks
# build into build/native and install into build/prefix, so after the native preset this costs
# seconds. Exits non-zero when a command or a comparison fails.
#   tools/quickstart.sh --print FILE#HEADING   prints the blocks of one section
set -euo pipefail
cd "$(dirname "$0")/.."
blocks() {  # <file>#<heading>: the ```sh blocks of the section "## <heading>" of <file>
  awk -v heading="## ${1#*#}" '
    /^## / { inside = ($0 == heading) }
    inside && /^```/ { if (fence) { fence = 0 } else if ($0 == "```sh") { fence = 1; next } }
    inside && fence' "${1%%#*}"
}
if [ "${1:-}" = --print ]; then blocks "$2"; exit; fi

output=$(mktemp)  # outside the checkout: a fresh clone has no build/ yet
trap 'rm -f "$output"' EXIT
run() {  # <file>#<heading>: runs the section's blocks, printing and keeping their output
  local script
  script=$(blocks "$1")
  [ -n "$script" ] || { echo "quickstart: no sh blocks under \"## ${1#*#}\" in ${1%%#*}" >&2; return 1; }
  echo "---- $1"
  bash -e -c "$script" | tee "$output"
}
run "README.md#Quick start"
want=$(build/prefix/bin/vreltest fingerprint --key-file build/app.key)
for section in "C interface" Python "C#"; do
  run "docs/bindings.md#$section"
  got=$(grep -o 'vfp[0-9]*-[^ ]*' "$output" | sort -u)
  [ "$got" = "$want" ] ||
    { echo "quickstart: \"$section\" printed the token(s) ${got:-(none)}, vreltest $want" >&2; exit 1; }
done
run "docs/licensing.md#From Python and C#"
verdict() {  # vreltest's line and exit for build/licence/<file>, as the section prints them
  build/prefix/bin/vreltest licence "build/licence/$1" --public-key-file build/licence/signer.pub \
    --key-file build/app.key || echo "exit $?"
}
want=$(for _ in vreltest Python C#; do verdict this.lic; verdict valid.lic; done)
got=$(grep -E '^((not )?valid: |exit [0-9]+$)' "$output")
[ "$got" = "$want" ] ||
  { printf 'quickstart: the licence checks printed\n%s\nwhere vreltest gives\n%s\n' "$got" "$want" >&2; exit 1; }
run "docs/licensing.md#Activation from the application"
grep -q '^activated: app.lic written, seat 1 of 1' "$output" &&
  grep -q '^not activated: refused (no-seat): ' "$output" &&
  grep -q '^not activated: no-connection: ' "$output" && grep -q '^valid: ' "$output" &&
  grep -q '^activated: app.lic written, a new seat: False' "$output" ||
  { echo "quickstart: the activation from Python and C# did not give its five outcomes" >&2; exit 1; }
run "docs/licensing.md#Walk-through: a licence for this machine"
grep -q '^valid: ' "$output" || { echo "quickstart: the walk-through's licence is not valid here" >&2; exit 1; }
run "docs/registry.md#Walk-through: a fleet on SQLite"
run "docs/postgresql.md#Walk-through: the same fleet on a private server"
echo "quickstart: every block ran; C, Python and C# print vreltest's token and Python and C# its licence verdicts; the registry walk-throughs agree"
