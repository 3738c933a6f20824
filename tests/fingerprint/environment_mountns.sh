#!/bin/sh
# Where the program runs, from crafted files: each row runs PROGRAM `components --json` in a mount
# namespace of its own (unshare -m), chrooted into a fresh root that holds the host's top-level
# folders but crafted container markers: /.dockerenv, /run (.containerenv, systemd/container),
# /proc/1/cgroup and /proc/sys/kernel/osrelease. The host may itself be a container: none of its
# markers shows through. Then the rights: root, and the user nobody (setpriv). Exits 77 (skipped)
# without root, mount namespaces or setpriv. Usage: environment_mountns.sh VRELTEST
set -u
[ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null && command -v setpriv >/dev/null ||
  { echo "SKIPPED: needs root, a mount namespace and setpriv"; exit 77; }
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT
# A copy of the program that every user may run.
cp "$1" "$dir/vreltest" && chmod 755 "$dir" "$dir/vreltest" && vreltest=$dir/vreltest
failed=0

# check <name> <components --json output> <expected "key":value in its environment>
check() {
  environment=$(echo "$2" | grep -o '"environment":{[^}]*}')
  echo "$1: $environment"
  case $environment in *"$3"*) ;; *) failed=1; echo "FAIL: $1: want $3" ;; esac
}

# row <marker files> <run/systemd/container> <kind>, with the cgroup and osrelease files of $dir
row() {
  out=$(unshare -m sh -c '
    d=$1 program=$2 markers=$3 manager=$4
    root=$d/root && mkdir -p "$root" && mount -t tmpfs none "$root" || exit 1
    for entry in /*; do
      name=${entry#/}
      case $name in run|tmp) mkdir "$root/$name"; continue ;; esac
      if [ -L "$entry" ]; then cp -P "$entry" "$root/$name"
      elif [ -d "$entry" ]; then mkdir "$root/$name" && mount --rbind "$entry" "$root/$name"; fi
    done
    for marker in $markers; do mkdir -p "$(dirname "$root/$marker")" && : >"$root/$marker"; done
    [ -z "$manager" ] || { mkdir -p "$root/run/systemd" && echo "$manager" >"$root/run/systemd/container"; }
    mount --bind "$d/cgroup" "$root/proc/1/cgroup" &&
      mount --bind "$d/osrelease" "$root/proc/sys/kernel/osrelease" &&
      cp "$program" "$root/vreltest" && exec chroot "$root" /vreltest components --json' sh "$dir" "$vreltest" "$1" "$2")
  check "container $3" "$out" "\"container\":\"$3\""
}
printf '0::/init.scope\n' >"$dir/cgroup" && printf '6.1.0-13-amd64\n' >"$dir/osrelease"
row "" "" none
row ".dockerenv" "" docker
row "run/.containerenv" "" podman
row "" "lxc" lxc
printf '12:pids:/docker/3f1a\n0::/\n' >"$dir/cgroup"
row "" "" docker
printf '0::/\n' >"$dir/cgroup" && printf '5.15.153.1-microsoft-standard-WSL2\n' >"$dir/osrelease"
row "" "" wsl

# The rights: root, then the user nobody.
check "root" "$("$vreltest" components --json)" '"elevated":true'
check "nobody" "$(setpriv --reuid=nobody --regid=65534 --clear-groups "$vreltest" \
  components --json)" '"elevated":false'
[ "$failed" = 0 ] && echo "ok: container markers and rights as crafted"
exit "$failed"
