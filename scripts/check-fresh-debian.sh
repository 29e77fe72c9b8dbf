#!/usr/bin/env bash
# Runs the README's test command in a fresh, minimal Debian 12 made with
# `debootstrap --variant=minbase bookworm`, on a clean clone of the current
# commit: a package or a toolchain that the install step does not name fails
# here. As root; takes as long as a full test run plus the installation.
# The chroot is removed afterwards unless TW_KEEP_CHROOT=1. With
# TW_INSTALL_ONLY=1 only the install step runs (scripts/install-deps.sh, the
# zig toolchain included), which takes minutes instead of a full test run.
#
# A chroot shares the machine's kernel, /proc and /dev; it is not a new
# namespace of its own, so tests that need one (user or mount namespaces)
# behave as they do on the machine, or skip and say so.
#
#   sudo scripts/check-fresh-debian.sh [folder]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
  echo "check-fresh-debian: needs root (debootstrap, chroot, mounts)" >&2
  exit 1
fi
command -v debootstrap > /dev/null || {
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap; }

root=${1:-$(mktemp -d /var/tmp/fresh-debian.XXXXXX)}
mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[$i]}" || true; done
  [ "${TW_KEEP_CHROOT:-0}" = 1 ] || rm -rf --one-file-system "$root" "$root.debootstrap.log"
}
trap cleanup EXIT

started=$SECONDS
echo "== debootstrap --variant=minbase bookworm $root"
debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian > "$root.debootstrap.log" 2>&1 || {
  cat "$root.debootstrap.log"; exit 1; }
# The security updates, as a newly installed machine has them.
echo "deb http://deb.debian.org/debian-security bookworm-security main" >> "$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# Where this machine reaches the internet through a proxy that signs with a
# certificate authority of its own, the chroot must trust it too: the
# ca-certificates package, once the install step brings it, adds it.
if compgen -G "/usr/local/share/ca-certificates/*.crt" > /dev/null; then
  mkdir -p "$root/usr/local/share/ca-certificates"
  cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/"
fi
for folder in proc sys dev dev/pts; do
  mount --bind "/$folder" "$root/$folder"
  mounted+=("$root/$folder")
done
mount -t tmpfs tmpfs "$root/tmp"
mounted+=("$root/tmp")

# A clean clone of what is committed, as CI has it (git archive needs no git
# in the chroot).
mkdir -p "$root/work/tree"
git archive HEAD | tar -x -C "$root/work/tree"
command=scripts/test.sh
[ "${TW_INSTALL_ONLY:-0}" = 1 ] && command=scripts/install-deps.sh
echo "== $command in the chroot"
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 bash -c "cd /work/tree && $command"
echo "check-fresh-debian: passed in $((SECONDS - started)) s"
