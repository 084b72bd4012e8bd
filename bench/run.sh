#!/bin/sh
# Builds and runs every benchmark; each prints one line per figure.
#   bench/run.sh [BUILD_DIR]     (default: build/ under the repository root)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
jobs=${KORVEL_BENCH_JOBS:-2}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$jobs" --target benchmarks >/dev/null

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
status=0
for b in bench_reply_latency bench_ui_stall bench_upload bench_text_upload bench_startup bench_ser2net; do
    echo "## $b"
    "$build/bench/$b" || { echo "$b failed" >&2; status=1; }
done
exit $status
