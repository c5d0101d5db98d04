#!/usr/bin/env bash
# Runs every fuzz target for SECONDS seconds each (default 60) on a copy of its seed
# corpus, prints executions and coverage per target, and exits non-zero if any target
# crashed, hung, ran out of memory or could not be run.
#
#   fuzz/run.sh [SECONDS] [TARGET...]      e.g. fuzz/run.sh 60   or   fuzz/run.sh 10 rxring
#
# Builds in build-fuzz with clang (configured on the first run, refreshed on every run so
# that targets whose modules have appeared since are added). Crashing inputs are kept in
# fuzz/crashes/ (not committed); the committed corpus is never changed.
# With MORVALA_FUZZ_STRICT=1 (CI) a target that could not be built counts as a failure.
set -u

SECONDS_PER_TARGET=${1:-60}
shift || true
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${MORVALA_FUZZ_BUILD:-$ROOT/build-fuzz}
JOBS=${MORVALA_FUZZ_JOBS:-2}
ALL_TARGETS=(rxring settings config download hexfile csvflight)
if [ $# -gt 0 ]; then TARGETS=("$@"); else TARGETS=("${ALL_TARGETS[@]}"); fi

case "$SECONDS_PER_TARGET" in
  ''|*[!0-9]*) echo "usage: $0 [SECONDS] [TARGET...]" >&2; exit 2 ;;
esac

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -DMORVALA_FUZZ=ON -DMORVALA_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$BUILD.configure.log" 2>&1 || {
  echo "configure failed, see $BUILD.configure.log" >&2; exit 2; }
build_targets=()
for t in "${TARGETS[@]}"; do
  [ -f "$ROOT/fuzz/fuzz_$t.cpp" ] && build_targets+=("fuzz_$t")
done
if [ ${#build_targets[@]} -gt 0 ]; then
  for bt in "${build_targets[@]}"; do
    cmake --build "$BUILD" --target "$bt" -j"$JOBS" >"$BUILD/$bt.build.log" 2>&1 || {
      echo "build of $bt failed, see $BUILD/$bt.build.log" >&2; exit 2; }
  done
fi

# A small quarantine keeps the resident size close to what the code itself holds, so the
# RSS limit catches real growth rather than freed blocks kept for use-after-free checks.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

WORK=$(mktemp -d /tmp/morvala-fuzz.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
CRASHES="$ROOT/fuzz/crashes"
mkdir -p "$CRASHES"

failed=0
printf '%-10s %8s %12s %9s %7s %7s %7s  %s\n' target seconds executions exec/s cov ft corpus result
for t in "${TARGETS[@]}"; do
  bin="$BUILD/fuzz/fuzz_$t"
  if [ ! -x "$bin" ]; then
    printf '%-10s %8s %12s %9s %7s %7s %7s  %s\n' "$t" - - - - - - "not built (no source)"
    [ "${MORVALA_FUZZ_STRICT:-0}" = 1 ] && failed=1
    continue
  fi
  corpus="$WORK/$t"
  mkdir -p "$corpus"
  cp "$ROOT/fuzz/corpus/$t/"* "$corpus/" 2>/dev/null
  log="$WORK/$t.log"
  start=$(date +%s)
  "$bin" "$corpus" -max_total_time="$SECONDS_PER_TARGET" -max_len=4096 -rss_limit_mb=512 \
    -timeout=5 -print_final_stats=1 -artifact_prefix="$CRASHES/$t-" >"$log" 2>&1
  rc=$?
  took=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  if [ -z "$execs" ]; then execs=$(sed -n 's/^#\([0-9]*\).*/\1/p' <<<"$last"); fi
  if [ $rc -eq 0 ]; then
    result=ok
  else
    failed=1
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    kind=$(grep -m1 -oE 'ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer|LeakSanitizer)[^ ]*: [a-z-]+|runtime error|timeout|out-of-memory|model check failed' "$log" | head -1)
    result="FAILED rc=$rc ${kind:-} ${artifact:+-> $artifact}"
    cp "$log" "$CRASHES/$t.log"
  fi
  printf '%-10s %8s %12s %9s %7s %7s %7s  %s\n' "$t" "$took" "${execs:--}" "${rate:--}" \
    "${cov:--}" "${ft:--}" "${corp:--}" "$result"
done
[ $failed -eq 0 ] && rmdir "$CRASHES" 2>/dev/null
exit $failed
