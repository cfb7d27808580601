#!/usr/bin/env bash
# Installs what building and testing postrix needs on Debian 12.
# Run as root (or with sudo available). Installs only what is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libb64-dev libasio-dev libcli11-dev libssl-dev libsqlite3-dev
  clang libclang-rt-dev
  ca-certificates openssl python3
  # the Windows build and its tests under wine (GoogleTest built from its
  # sources in /usr/src/googletest), dialogs on a virtual display
  googletest g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 xvfb xauth fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
