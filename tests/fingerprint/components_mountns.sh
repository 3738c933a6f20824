#!/bin/sh
# os-install and board from crafted files: each row runs PROGRAM in a mount namespace of its own
# (unshare -m) with /etc/machine-id, /var/lib/dbus/machine-id (the fallback) and
# /sys/class/dmi/id/product_uuid replaced, and checks the two lines it prints. Placeholder and
# malformed values must read as unavailable. Nothing outside the namespace changes. Exits 77
# (skipped) when no mount namespace can be made. Usage: components_mountns.sh VRELTEST
set -u
vreltest=$1
[ -e /etc/machine-id ] && unshare -m true 2>/dev/null ||
  { echo "SKIPPED: no mount namespace, or no /etc/machine-id to cover"; exit 77; }
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT
failed=0

# row <machine-id> <dbus machine-id, "" absent> <product_uuid, "" absent> <os-install> <board>
row() {
  printf '%s' "$1" >"$dir/machine-id"
  printf '%s' "$2" >"$dir/dbus-id"
  printf '%s' "$3" >"$dir/uuid"
  out=$(unshare -m sh -c '
    d=$1; shift
    mount --bind "$d/machine-id" /etc/machine-id
    if [ -e /var/lib/dbus/machine-id ]; then mount --bind "$d/dbus-id" /var/lib/dbus/machine-id
    else mkdir -p /var/lib/dbus && mount -t tmpfs none /var/lib/dbus &&
      cp "$d/dbus-id" /var/lib/dbus/machine-id; fi
    [ -s "$d/dbus-id" ] || rm -f /var/lib/dbus/machine-id 2>/dev/null
    mount -t tmpfs none /sys/class
    if [ -s "$d/uuid" ]; then mkdir -p /sys/class/dmi/id && cp "$d/uuid" /sys/class/dmi/id/product_uuid; fi
    exec "$@" components' sh "$dir" "$vreltest" | grep -E '^(os-install|board):')
  want=$(printf 'os-install: %s\nboard: %s' "$4" "$5")
  [ "$out" = "$want" ] || { failed=1; printf 'FAIL: %s|%s|%s\n got:\n%s\n want:\n%s\n' \
    "$1" "$2" "$3" "$out" "$want"; }
}

id=6083b3903c3c42dbbf67b25a094610bd
uuid=4c4c4544-0031-3510-8052-b4c04f564433
row "$id
" "" "$(echo $uuid | tr a-f A-F)
" "$id" "$uuid"
row "uninitialized
" "$id
" "03000200-0400-0500-0006-000700080009
" "$id" "unavailable (placeholder)"
row "uninitialized
" "" "00020003-0004-0005-0006-000700080009" "unavailable (placeholder)" "unavailable (placeholder)"
row "00000000000000000000000000000000
" "00000000-0000-0000-0000-000000000000" "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF
" "unavailable (placeholder)" "unavailable (placeholder)"
row "not an id" "not an id either" "00000000-0000-0000-0000-000000000000
" "unavailable (malformed)" "unavailable (placeholder)"
row "$id" "" "4c4c4544-0031-3510-8052" "$id" "unavailable (malformed)"
row "$id" "" "" "$id" "unavailable (not present)"
[ "$failed" = 0 ] && echo "ok: placeholders and malformed values read as unavailable"
exit "$failed"
