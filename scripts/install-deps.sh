#!/usr/bin/env bash
# Installs from the Debian archive whatever the build, the tests and the wizard
# need and the machine lacks, and the packages named as arguments (the
# package command asks for its checkers this way), then the zig toolchain of
# the Apple pass into a cache outside the work tree (scripts/fetch-zig.sh).
# Not being root, it prints the command and stops.
set -euo pipefail

packages=(
  cmake make ninja-build g++ pkg-config
  qtbase5-dev libqt5x11extras5-dev libxcb1-dev fonts-dejavu-core
  libboost-filesystem-dev libboost-dev
  libgtest-dev libgmock-dev
  clang clang-format libc++-dev gobjc++ libgnustep-base-dev
  llvm-14 ca-certificates curl
  xvfb xauth pkexec polkitd dbus-daemon dbus-bin passwd
  openbox xdotool x11-utils
  dpkg-dev
  time
  e2fsprogs mount
  "$@"
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
fetch_toolchains() { "$(dirname "$0")/fetch-zig.sh" > /dev/null; }
if [ ${#missing[@]} -eq 0 ]; then
  fetch_toolchains
  exit 0
fi

command="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run as root, then try again:" >&2
  echo "  $command" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
fetch_toolchains
