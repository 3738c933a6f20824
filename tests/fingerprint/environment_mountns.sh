#!/bin/sh
# Where the program runs, from crafted files: each row runs PROGRAM `components --json` in a mount
# namespace of its own (unshare -m), chrooted into a fresh root that holds the host's top-level
# folders but crafted markers (the host may itself be a container: none of its markers shows
# through): a container's own markers win over WSL's. Then as the user nobody (setpriv); as root,
# the rows show "elevated":true. Exits 77 (skipped) without root, mount
# namespaces or setpriv. Usage: environment_mountns.sh VRELTEST
set -u
[ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null && command -v setpriv >/dev/null ||
  { echo "SKIPPED: needs root, a mount namespace and setpriv"; exit 77; }
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT
cp "$1" "$dir/vreltest" && chmod 755 "$dir" "$dir/vreltest" && vreltest=$dir/vreltest  # for nobody
failed=0

# check <name> <components --json output> <expected "key":value of its environment>
check() {
  environment=$(echo "$2" | grep -o '"environment":{[^}]*}')
  echo "$1: $environment"
  case $environment in *"$3"*) ;; *) failed=1; echo "FAIL: $1: want $3" ;; esac
}

# row <kind> [<path under the root>=<text>...]: process 1's control groups and the kernel release
# are "0::/init.scope" and "6.1.0-13-amd64" unless a row gives proc/1/cgroup or
# proc/sys/kernel/osrelease.
row() {
  check "container $1" "$(unshare -m sh -c '
    d=$1 root=$1/root && shift && mkdir -p "$root" && mount -t tmpfs none "$root" || exit 1
    for entry in /*; do
      name=${entry#/} && case $name in run|tmp) mkdir "$root/$name"; continue ;; esac
      if [ -L "$entry" ]; then cp -P "$entry" "$root/$name"
      elif [ -d "$entry" ]; then mkdir "$root/$name" && mount --rbind "$entry" "$root/$name"; fi
    done
    echo 0::/init.scope >"$d/cgroup" && echo 6.1.0-13-amd64 >"$d/osrelease"
    for file in "$@"; do
      path=${file%%=*} && case $path in proc/*) to=$d/${path##*/} ;; *) to=$root/$path ;; esac
      mkdir -p "$(dirname "$to")" && printf "%s\n" "${file#*=}" >"$to"
    done
    mount --bind "$d/cgroup" "$root/proc/1/cgroup" && cp "$d/vreltest" "$root/vreltest" &&
      mount --bind "$d/osrelease" "$root/proc/sys/kernel/osrelease" &&
      exec chroot "$root" /vreltest components --json' sh "$dir" "$@")" "\"container\":\"$1\""
}
row none
row docker .dockerenv=
row podman .dockerenv= run/.containerenv=
row lxc run/systemd/container=lxc
row other run/systemd/container=systemd-nspawn
row docker "proc/1/cgroup=12:pids:/docker/3f1a
0::/"
row podman proc/1/cgroup=0::/machine.slice/libpod-3f1a.scope/container
row wsl proc/sys/kernel/osrelease=5.15.153.1-microsoft-standard-WSL2
row wsl proc/sys/kernel/osrelease=4.4.0-19041-Microsoft
row docker .dockerenv= proc/sys/kernel/osrelease=5.15.153.1-microsoft-standard-WSL2  # Docker Desktop

check "nobody" "$(setpriv --reuid=nobody --regid=65534 --clear-groups "$vreltest" \
  components --json)" '"elevated":false'
[ "$failed" = 0 ] && echo "ok: container markers and rights as crafted"
exit "$failed"
