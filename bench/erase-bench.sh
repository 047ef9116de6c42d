#!/usr/bin/env bash
# Times the secure delete engine against shred on equal files, in the same run.
# Usage: bench/erase-bench.sh [BUILD_DIR] [WORK_DIR] [SIZE_MIB]
# BUILD_DIR holds the native build with the erase_bench target (default build/native);
# WORK_DIR is the scratch folder for the test files (default bench/work/erase).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/native}
work=${2:-$here/work/erase}
mib=${3:-256}

command -v shred >/dev/null || { echo "erase-bench: shred not found" >&2; exit 1; }
cmake --build "$build" --target erase_bench >/dev/null
driver=$build/bench/erase_bench
mkdir -p "$work"
file=$work/victim.bin

make_file() {
    # Random content, so neither side profits from sparse or compressible data.
    head -c "$((mib * 1024 * 1024))" /dev/urandom >"$file"
    sync "$file"
}

# shred -n N: N overwrites, each synced to the disk; the file is removed untimed afterwards.
time_shred() {
    make_file
    local start end
    start=$(date +%s.%N)
    shred -n "$1" "$file"
    end=$(date +%s.%N)
    rm -f "$file"
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

time_engine() {
    make_file
    "$driver" "$file" "$1"
}

printf 'file: %d MiB in %s\n' "$mib" "$work"
printf '%-28s %10s %10s %8s\n' "case" "engine s" "shred s" "ratio"
for pair in "0 1" "3 3"; do
    set -- $pair
    engine=$(time_engine "$1")
    shred_s=$(time_shred "$2")
    ratio=$(awk -v a="$engine" -v b="$shred_s" 'BEGIN { printf "%.2f", a / b }')
    printf '%-28s %10.3f %10.3f %8.2f\n' "method $1 vs shred -n $2" "$engine" "$shred_s" "$ratio"
done
rmdir "$work" 2>/dev/null || true
