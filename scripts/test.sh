#!/usr/bin/env bash
# Builds and runs the whole test suite: the normal build, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, the 32-bit layout check, the module
# symbol check (a test of the normal build) and a short fuzzing run of the readers of
# untrusted text. Ends with one summary line. Logs, fuzzing corpora and whatever the
# tests write go to a temporary folder of this run, removed when it ends.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/qv-test-run.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work

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
  local preset=$1 log=$work/$1.log
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
if cmake --preset layout32 >/dev/null && cmake --build --preset layout32 >"$work/layout32.log" 2>&1; then
  echo "layout32: every layout pin holds"
  passed=$((passed + 1))
else
  grep -E 'error|static assertion' "$work/layout32.log" | head -n 20
  echo "layout32: failed"
  failed=$((failed + 1))
fi

echo "== fuzzing the scene and resource file readers, the token reader, the text stream readers and NoteSheet's data (clang libFuzzer, briefly)"
fuzz() {  # target, seconds, seed files...
  local target=$1 seconds=$2 corpus
  shift 2
  corpus=$work/$target
  mkdir -p "$corpus"
  cp "$@" "$corpus"/
  if build/fuzz/bin/"$target" -max_total_time="$seconds" -artifact_prefix="$corpus/" "$corpus" >"$corpus.log" 2>&1; then
    echo "$target: $(grep -Eo 'Done [0-9]+ runs' "$corpus.log" | tail -n 1), no failure"
    passed=$((passed + 1))
  else
    tail -n 30 "$corpus.log"
    mkdir -p build/fuzz/artifacts
    cp "$corpus"/crash-* "$corpus"/leak-* "$corpus"/timeout-* "$corpus"/oom-* build/fuzz/artifacts/ 2>/dev/null
    echo "$target: failed (the failing inputs are in build/fuzz/artifacts/)"
    failed=$((failed + 1))
  fi
  rm -rf "$corpus" "$corpus.log"
}
if cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >"$work/fuzz.log" 2>&1; then
  fuzz fuzz_scene_file 20 examples/*.json tests/Host/data/*.json
  fuzz fuzz_resource_file 10 Samples/SceneCommands/*/*.qvr.json tests/Probe/Fixture.qvr.json
  fuzz fuzz_token_reader 10 fuzz/corpus/token_reader/*
  fuzz fuzz_stream_readers 10 fuzz/corpus/stream_readers/*
  fuzz fuzz_notesheet_read 10 fuzz/corpus/notesheet_read/*
else
  tail -n 20 "$work/fuzz.log"
  echo "fuzz: build failed"
  failed=$((failed + 1))
fi

echo "summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
