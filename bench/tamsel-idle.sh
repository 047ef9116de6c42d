#!/usr/bin/env bash
# Idle cost of Tamsel.exe under Wine: CPU seconds per minute, read from the host, since
# Wine's GetProcessTimes reports nothing for another process.
#   bench/tamsel-idle.sh [SECONDS] [IMAGES]   (after building the windows preset; needs DISPLAY)
set -eu
cd "$(dirname "$0")/.."
build=build/windows
seconds=${1:-60}
images=${2:-10000}
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
tamsel_pid() { ps -eo pid,args | awk '$2 ~ /\\tamsel\\Tamsel\.exe$/ {print $1; exit}'; }
hz=$(getconf CLK_TCK)
bash scripts/wine-run.sh "$PWD/$build/wineprefix" "$build/bench/tamsel_idle_bench.exe" "$seconds" "$images" |
  while IFS= read -r line; do
    line=${line%$'\r'}
    echo "$line"
    case $line in
      measuring*) pid=$(tamsel_pid); before=$(ticks "$pid") ;;
      measured)
        after=$(ticks "$pid")
        rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
        awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v rss="$rss" 'BEGIN {
          cpm = t / hz * 60 / s
          printf "host: cpu seconds per minute %.3f (%.2f %% of one core), resident %.1f MiB\n", cpm, cpm / 60 * 100, rss / 1024 }' ;;
    esac
  done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
