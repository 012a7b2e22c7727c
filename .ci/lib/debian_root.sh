# Sourced by the CI steps that run in a Debian root made with debootstrap.
#
# debian_root RELEASE DIR PACKAGE...: makes a minbase root of RELEASE with
#   PACKAGE... in DIR, or reuses the one there while its release and package
#   list are the same. A cold root costs a minute or two of debootstrap,
#   which is tried again, as every install of CI's is, when the mirror fails.
# enter_root DIR: mounts /proc, /dev and the source tree (on DIR/work) into
#   the root until the calling script exits, failed or not.
# in_root DIR COMMAND: runs COMMAND with bash in the root, in /work, with a
#   clean environment.

source "$(dirname "${BASH_SOURCE[0]}")/install.sh"

# The Debian 11 root's packages, one list for every step that uses it, so
# that none makes it afresh for another: qemu-user for the emulated
# tarballs, sshd and Python for the fleet playbook's host.
debian_old_packages=(qemu-user openssh-server python3)

# The machine's own Debian mirror, as apt is configured to use it.
debian_mirror() {
  local uri
  uri=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -n "$uri" ] || uri=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list)
  echo "$uri"
}

# One try of debootstrap, from nothing.
fresh_debootstrap() { # RELEASE DIR PACKAGE...
  local release=$1 dir=$2
  shift 2
  rm -rf "$dir"
  logged "$dir.log" debootstrap --variant=minbase --include="$(
    IFS=,
    echo "$*"
  )" "$release" "$dir" "$(debian_mirror)"
}

debian_root() {
  local release=$1 root=$2 start=$SECONDS
  shift 2
  local stamp="$release $*"
  if [ "$(cat "$root/.picalc-packages" 2>/dev/null)" = "$stamp" ]; then
    echo "== reusing the $release root in $root"
    return 0
  fi
  echo "== debootstrap $release into $root"
  rm -rf "$root.new"
  mkdir -p "$(dirname "$root")"
  if ! retrying "debootstrap $release" fresh_debootstrap "$release" "$root.new" "$@"; then
    echo "CI STOPPED: the package mirror is most likely at fault, not this change: after $apt_tries tries debootstrap could not make the $release root with $* from $(debian_mirror): $(grep -E '^(E|W): ' "$root.new.log" | tail -n 1)" >&2
    return 1
  fi
  echo "$stamp" >"$root.new/.picalc-packages"
  rm -rf "$root" "$root.new.log"
  mv "$root.new" "$root"
  echo "   made in $((SECONDS - start)) s"
}

picalc_root_mounts=()
unmount_roots() {
  local i
  for ((i = ${#picalc_root_mounts[@]} - 1; i >= 0; i--)); do
    umount "${picalc_root_mounts[i]}" || umount -l "${picalc_root_mounts[i]}" || true
  done
  picalc_root_mounts=()
}

enter_root() {
  local root=$1
  trap unmount_roots EXIT
  mkdir -p "$root/work"
  mount -t proc proc "$root/proc"
  picalc_root_mounts+=("$root/proc")
  mount --bind /dev "$root/dev"
  picalc_root_mounts+=("$root/dev")
  mount --bind "$PWD" "$root/work"
  picalc_root_mounts+=("$root/work")
}

# in_root ROOT COMMAND: COMMAND in bash in ROOT, in the tree, with a clean
# environment and whatever $picalc_root_environment holds (NAME=VALUE words).
picalc_root_environment=""
in_root() {
  # shellcheck disable=SC2086 # the words are meant to split
  chroot "$1" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root CI=true $picalc_root_environment \
    /bin/bash -c "set -euo pipefail; cd /work && $2"
}

# mount_in_root ROOT DIR PLACE: DIR of this machine at PLACE in ROOT, until
# the roots are unmounted.
mount_in_root() {
  mkdir -p "$1$3"
  mount --bind "$2" "$1$3"
  picalc_root_mounts+=("$1$3")
}
