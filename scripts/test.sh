#!/usr/bin/env bash
# Builds and runs the whole test suite: the normal build, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, the 32-bit layout check and the module
# symbol check (a test of the normal build). Ends with one summary line.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

passed=0
failed=0
count() {  # adds the figures of a ctest summary line to the totals
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  local total bad
  bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

run_suite() {  # preset
  local preset=$1 log
  log=$(mktemp)
  echo "== $preset build"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" >"$log.build" 2>&1; then
    tail -n 40 "$log.build"
    echo "$preset: build failed"
    failed=$((failed + 1))
    return
  fi
  echo "== $preset tests"
  ctest --preset "$preset" -j2 2>&1 | tee "$log" | grep -E '\*\*\*|tests passed|Total Test time|tests FAILED'
  count "$log"
}

run_suite default
run_suite sanitize

echo "== 32-bit layout check (compile only)"
if cmake --preset layout32 >/dev/null && cmake --build --preset layout32 >/tmp/qv-layout32.log 2>&1; then
  echo "layout32: every layout pin holds"
  passed=$((passed + 1))
else
  grep -E 'error|static assertion' /tmp/qv-layout32.log | head -n 20
  echo "layout32: failed"
  failed=$((failed + 1))
fi

echo "summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
