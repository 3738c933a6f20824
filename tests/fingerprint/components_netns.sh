#!/bin/sh
# This machine's components read twice, then inside a network namespace of
# this test's own: without the physical adapter only nics changes, and adding
# virtual adapters there (veth pairs, bridge, ifb, dummy, macvlan) changes
# nothing. Nothing is sent anywhere. Exits 77 (skipped) when no namespace can
# be made. Usage: components_netns.sh PROGRAM [ARGS...] (prints "name: ..." lines).
set -u
ns="vrel-fp-$$"
fail() { echo "FAIL: $*"; exit 1; }
# The lines of every component but nics.
rest() { printf '%s\n' "$1" | grep -v '^nics:'; }

first=$("$@") || fail "the program failed"
second=$("$@") || fail "the program failed on the second run"
[ "$first" = "$second" ] || fail "two collections differ:
$first
$second"
printf '%s\n' "$first" | grep -q '^nics: [0-9a-f][0-9a-f]:' ||
  echo "note: no physical adapter outside the namespace either"

if ! ip netns add "$ns" 2>/dev/null; then
  echo "SKIPPED: cannot create a network namespace (needs root and iproute2)"
  exit 77
fi
trap 'ip netns del "$ns"' EXIT
ip -n "$ns" link set lo up
bare=$(ip netns exec "$ns" "$@") || fail "the program failed in the namespace"
[ "$(rest "$bare")" = "$(rest "$first")" ] || fail "a component besides nics changed:
$bare"
printf '%s\n' "$bare" | grep -q '^nics: unavailable' || fail "nics without an adapter: $bare"

added=""
add() { name=$1; shift; ip -n "$ns" link add "$@" 2>/dev/null && added="$added $name"; }
add veth name v0 type veth peer name v1
add veth-with-set-address name v2 address 00:16:3e:00:00:01 type veth peer name v3
add bridge name br0 type bridge
add ifb name ifb9 type ifb
add dummy name d0 type dummy
phys=$(for dev in /sys/class/net/*; do
  case $(readlink "$dev") in */virtual/*) ;; *) basename "$dev" ;; esac
done | head -n 1)
[ -n "$phys" ] && ip link add link "$phys" name mv0 netns "$ns" type macvlan 2>/dev/null &&
  added="$added macvlan"
ip -n "$ns" link set v0 master br0 2>/dev/null
for link in $(ip -n "$ns" -o link show | sed 's/^[0-9]*: \([^:@]*\).*/\1/'); do
  ip -n "$ns" link set "$link" up 2>/dev/null
done
[ -n "$added" ] || fail "no virtual adapter could be added"
virtual=$(ip netns exec "$ns" "$@") || fail "the program failed with virtual adapters"
[ "$virtual" = "$bare" ] || fail "virtual adapters ($added) changed the components:
$virtual"
echo "ok: the same twice; in a namespace only nics differs; added$added: no change"
