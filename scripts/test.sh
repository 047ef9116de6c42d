#!/usr/bin/env bash
# Builds every preset and runs every test: native, native with sanitizers (and the
# fuzz target), the threaded tests under ThreadSanitizer, and the Windows build under
# Wine inside Xvfb. Ends with one summary line.
set -u
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1

passed=0 failed=0 status=0
log=$(mktemp)

run_preset() {
  local preset=$1
  echo "== $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    echo "build of $preset failed"; status=1; failed=$((failed + 1)); return
  fi
  ctest --preset "$preset" -j2 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  local total bad
  total=$(sed -n 's/.*tests passed, \([0-9]*\) tests\? failed out of \([0-9]*\).*/\2/p' "$log" | tail -n1)
  bad=$(sed -n 's/.*tests passed, \([0-9]*\) tests\? failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1)
  passed=$((passed + ${total:-0} - ${bad:-0})); failed=$((failed + ${bad:-0}))
}

start_display() {
  [ -n "${DISPLAY:-}" ] && return
  export DISPLAY=:93
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
}

run_preset native
run_preset native-asan
run_preset native-tsan
start_display
run_preset windows
[ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true

rm -f "$log"
echo "$passed passed, $failed failed"
exit $status
