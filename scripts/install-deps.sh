#!/usr/bin/env bash
# Installs the Debian packages the build and tests need; does nothing when all are there.
set -eu
packages=(cmake ninja-build g++ clang libclang-rt-14-dev zlib1g-dev libssl-dev googletest libgtest-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 xvfb xauth x11-utils xdotool
  imagemagick fonts-ipafont-gothic locales python3 libbenchmark-dev dpkg-dev lintian wixl msitools)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
