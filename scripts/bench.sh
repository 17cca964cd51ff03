#!/usr/bin/env bash
# Builds the `bench` preset (Release) and the Windows DLL, runs the benchmarks (and, where Wine
# runs, the real DLL's latency program under Wine) and prints the summary table recorded in
# bench/README.md. Extra arguments go to the Google Benchmark programs.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${BENCH_JOBS:-2}
cmake --preset bench >/dev/null
cmake --build build/bench -j"$jobs" >/dev/null
if command -v i686-w64-mingw32-g++-posix >/dev/null; then
  cmake --preset windows >/dev/null
  cmake --build build/windows -j"$jobs" --target plankscale wine_latency_bench >/dev/null
fi

results=build/bench/results
mkdir -p "$results"
echo "== device_bench (rings, ReadBuffer, report-to-host latency)" >&2
build/bench/bin/device_bench --benchmark_out="$results/device.json" --benchmark_out_format=json "$@" >&2
echo "== board_bench (OnInputReport, report-to-host latency, idle board)" >&2
build/bench/bin/board_bench --benchmark_out="$results/board.json" --benchmark_out_format=json "$@" >&2
echo "== search_bench (FindDevice)" >&2
build/bench/bin/search_bench --benchmark_out="$results/search.json" --benchmark_out_format=json "$@" >&2
echo "== view_bench (the live view streaming to 1 and 8 viewers)" >&2
build/bench/bin/view_bench --benchmark_out="$results/view.json" --benchmark_out_format=json "$@" >&2

# The real DLL in a Windows process, against the simulated world behind the stand-in system
# libraries beside it; judged by its report, not by Wine's exit code.
wine_report=()
if command -v wine >/dev/null && [ -f build/windows/bin/wine_latency_bench.exe ]; then
  echo "== wine_latency_bench (the DLL under Wine: report-to-host latency and its floor)" >&2
  (
    export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;bthprops.cpl,hid,setupapi=n"
    [ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1 || true
    cd build/windows/bin && wine wine_latency_bench.exe
  ) >"$results/wine.json" || true
  if grep -q '"p99_ratio"' "$results/wine.json"; then
    wine_report=("$results/wine.json")
  else
    echo "bench.sh: the Wine latency program gave no report" >&2
  fi
fi

python3 scripts/bench_table.py "$results/device.json" "$results/board.json" "$results/search.json" "$results/view.json" \
  build/windows/bin/PlankScale.kymdll build/bench/bin/libplankscale.so "${wine_report[@]}"
echo "== kymhost analyse on an hour's recording, beside plain reads of the file" >&2
cmake --build build/bench -j"$jobs" --target kymhost >/dev/null
scripts/bench_analyse.sh
