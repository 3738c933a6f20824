#!/bin/sh
# This machine's components, then in a network namespace of this test's own: without the
# physical adapter only nics changes, and virtual adapters added there (a veth pair, a bridge,
# ifb, dummy, macvlan) change nothing. (Reading twice alike is the tool test's.) Nothing is
# sent anywhere. Exits 77 (skipped) when no namespace can be made. Usage: PROGRAM [ARGS...]
set -u
ns="vrel-fp-$$"
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }
run() { out=$("$@") || fail "$* failed"; printf '%s\n' "$out"; }

first=$(run "$@") || exit 1
ip netns add "$ns" 2>/dev/null || { echo "SKIPPED: cannot create a network namespace"; exit 77; }
trap 'ip netns del "$ns"' EXIT
bare=$(run ip netns exec "$ns" "$@") || exit 1
[ "$(echo "$bare" | grep -v ^nics:)" = "$(echo "$first" | grep -v ^nics:)" ] ||
  fail "a component besides nics changed: $bare"
echo "$bare" | grep -q '^nics: unavailable' || fail "nics without an adapter: $bare"

added=""
add() { name=$1; shift; ip -n "$ns" link add "$@" 2>/dev/null && added="$added $name"; }
for adapter in "veth name v0 type veth peer name v1" "bridge name br0 type bridge" \
    "ifb name ifb9 type ifb" "dummy name d0 type dummy"; do add $adapter; done  # split on purpose
for dev in /sys/class/net/*; do  # a macvlan on the first physical adapter
  case $(readlink "$dev") in */virtual/*) ;; *) ip link add link "${dev##*/}" name mv0 \
    netns "$ns" type macvlan 2>/dev/null && added="$added macvlan"; break ;; esac
done
ip -n "$ns" link set v0 master br0 2>/dev/null
for link in lo v0 v1 br0 ifb9 d0 mv0; do ip -n "$ns" link set "$link" up 2>/dev/null; done
[ -n "$added" ] || fail "no virtual adapter could be added"
virtual=$(run ip netns exec "$ns" "$@") || exit 1
[ "$virtual" = "$bare" ] || fail "virtual adapters ($added) changed the components: $virtual"
echo "ok: in a namespace only nics differs; added$added: no change"
