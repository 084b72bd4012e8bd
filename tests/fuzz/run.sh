#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time.
#   tests/fuzz/run.sh [seconds-per-target] [target...]   (default 10 s, all)
# Build folder: $KORVEL_FUZZ_BUILD, else build-fuzz under the repository.
# Exits non-zero when any target crashes, breaks an invariant, times out,
# runs out of memory or gets a sanitizer report; the input that did it is
# kept under <build>/artifacts/<target>/.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
seconds=${1:-10}
shift || true
build=${KORVEL_FUZZ_BUILD:-$root/build-fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_dispatch fuzz_report fuzz_settingsfile fuzz_text fuzz_layout fuzz_picture fuzz_codes fuzz_telnet)

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=${KORVEL_FUZZ_CC:-clang} CXX=${KORVEL_FUZZ_CXX:-clang++} \
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"${KORVEL_FUZZ_JOBS:-$(nproc)}" --target "${targets[@]}"

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/korvel-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch # the targets' own scratch files go here too

# Longer texts than the default 4 KiB reach the 5,000-code limit.
extra_fuzz_text=(-max_len=12000)

failed=()
for t in "${targets[@]}"; do
  work=$scratch/$t
  artifacts=$build/artifacts/$t
  mkdir -p "$work" "$artifacts"
  cp -R "$here/corpus/$t/." "$work/" 2>/dev/null || true
  log=$build/$t.log
  extra_name="extra_$t[@]"
  status=0
  "$build/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" ${!extra_name+"${!extra_name}"} "$work" >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ] || grep -qE 'ERROR: (Address|Leak|Undefined)Sanitizer|runtime error:' "$log"; then
    failed+=("$t")
    echo "FAIL $t (exit $status), log $log:"
    tail -n 40 "$log"
  else
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1)
    echo "ok   $t: ${runs:-?} runs in ${seconds} s, $cov, corpus $(ls "$work" | wc -l) files"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]} (inputs in $build/artifacts/)"
  exit 1
fi
