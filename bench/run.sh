#!/usr/bin/env bash
# Benchmarks Ardex against the tools a user would pick instead (see README, "Benchmark").
#   bench/run.sh [--quick | --scale N] [--runs N] [--only mixed,random,tree,erase] [--wine]
# Installs the missing peers, builds Ardex (Release) in its own build folder, builds the
# corpus in bench/work/ and prints one table; the results also go to bench/work/results.md.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

wine=0
for a in "$@"; do [ "$a" = --wine ] && wine=1; done

packages=(cmake ninja-build g++ zlib1g-dev libssl-dev python3 openssl pigz gzip coreutils tar time)
# 7-Zip: either package provides the 7z command.
dpkg-query -W -f='${Status}' 7zip 2>/dev/null | grep -q "install ok installed" || packages+=(p7zip-full)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ $wine -eq 1 ]; then
  bash scripts/install-deps.sh
fi

# Quiet builds; the log is shown when one fails.
build() {  # preset folder
  echo "building Ardex in $2 (preset $1)" >&2
  mkdir -p "$2"
  if ! { cmake --preset "$1" -B "$2" -DCRYPTELLE_TESTS=OFF && cmake --build "$2" -j2 --target ardex; } \
      >"$2/bench-build.log" 2>&1; then
    cat "$2/bench-build.log" >&2
    exit 1
  fi
}
build native build/bench-native
[ $wine -eq 0 ] || build windows build/bench-windows

exec python3 bench/bench.py "$@"
