#!/usr/bin/env bash
# Builds the `bench` preset (Release) and the Windows DLL, runs the benchmarks and prints the
# summary table recorded in bench/README.md. Extra arguments go to both benchmark programs.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${BENCH_JOBS:-2}
cmake --preset bench >/dev/null
cmake --build build/bench -j"$jobs" >/dev/null
if command -v i686-w64-mingw32-g++-posix >/dev/null; then
  cmake --preset windows >/dev/null
  cmake --build build/windows -j"$jobs" --target plankscale >/dev/null
fi

results=build/bench/results
mkdir -p "$results"
echo "== device_bench (rings, ReadBuffer, report-to-host latency)" >&2
build/bench/bin/device_bench --benchmark_out="$results/device.json" --benchmark_out_format=json "$@" >&2
echo "== board_bench (OnInputReport, report-to-host latency, idle board)" >&2
build/bench/bin/board_bench --benchmark_out="$results/board.json" --benchmark_out_format=json "$@" >&2
echo "== search_bench (FindDevice)" >&2
build/bench/bin/search_bench --benchmark_out="$results/search.json" --benchmark_out_format=json "$@" >&2

python3 scripts/bench_table.py "$results/device.json" "$results/board.json" "$results/search.json" \
  build/windows/bin/PlankScale.kymdll build/bench/bin/libplankscale.so
