#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, then builds and tests every build: native
# (g++), AddressSanitizer + UBSan (g++), ThreadSanitizer (clang++) and the 32-bit Windows DLL
# with its tests under Wine. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest libbenchmark-dev
          g++-mingw-w64-i686-posix mingw-w64-tools wine wine32:i386 binutils)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

passed=0
failed=0
record() {  # record NAME COMMAND...
  local name=$1
  shift
  echo "== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "!! $name failed"
    failed=$((failed + 1))
  fi
}

native_suite() {
  local preset=$1
  cmake --preset "$preset" >/dev/null &&
    cmake --build "build/$preset" &&
    ctest --test-dir "build/$preset" --output-on-failure -j2 --timeout 300
}

check_native_exports() {
  local names
  names=$(nm -D --defined-only build/default/bin/libplankscale.so | awk '$2 == "T" || $2 == "W" || $2 == "D" || $2 == "B" {print $3}' | sort)
  local expected
  expected=$(printf '%s\n' CloseAll FindDevice FlushReadBuffer GetBaudRate GetDeviceClassInfo GetLastErrorMsg \
    GetUniqueID Initialise IsFailed ReadBuffSize ReadBuffer ReadLine WriteBuffer | sort)
  [ "$names" = "$expected" ] || { echo "libplankscale.so exports:"; echo "$names"; return 1; }
}

check_dll() {
  local dll=build/windows/bin/PlankScale.kymdll dump
  dump=$(i686-w64-mingw32-objdump -p "$dll")
  grep -q 'file format pei-i386' <<<"$dump" || { echo "not a 32-bit PE"; return 1; }
  local names
  names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | awk '/\[ *[0-9]+\]/ {print $NF}' | sort)
  local expected
  expected=$(printf '%s\n' CloseAll FindDevice FlushReadBuffer GetBaudRate GetDeviceClassInfo GetLastErrorMsg \
    GetUniqueID Initialise IsFailed ReadBuffSize ReadBuffer ReadLine WriteBuffer | sort)
  [ "$names" = "$expected" ] || { echo "PlankScale.kymdll exports:"; echo "$names"; return 1; }
  local foreign
  foreign=$(awk '/DLL Name:/ {print $3}' <<<"$dump" | grep -i -E 'libstdc|libgcc|winpthread|mingw' || true)
  [ -z "$foreign" ] || { echo "PlankScale.kymdll imports $foreign"; return 1; }
}

windows_suite() {
  cmake --preset windows >/dev/null && cmake --build build/windows || return 1
  export WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1 || true
  rm -rf build/windows/test-results
  wineserver -p
  # Start Wine's services now, detached from ctest's output pipes: a service that inherits
  # them keeps ctest waiting for ever.
  wineboot >/dev/null 2>&1 </dev/null || true
  local status=0
  ctest --test-dir build/windows --output-on-failure --timeout 600 || status=1
  wineserver -k || true
  # Wine's exit codes after a crash are not to be trusted: gtest's own reports decide.
  local report count=0
  for report in build/windows/test-results/*.xml; do
    [ -f "$report" ] || { echo "no gtest report"; return 1; }
    count=$((count + 1))
    grep -q '<testsuites tests="[1-9][0-9]*" failures="0" disabled="[0-9]*" errors="0"' "$report" ||
      { echo "failures in $report"; status=1; }
  done
  [ "$count" -ge 2 ] || { echo "expected two gtest reports, found $count"; status=1; }
  return $status
}

# Each libFuzzer target for a short while, from its committed corpus, under ASan and UBSan.
fuzz_seconds=${PLANKSCALE_FUZZ_SECONDS:-20}
fuzz_targets=(text_channel report_path text_support exports)
fuzz_suite() {
  cmake --preset fuzz >/dev/null && cmake --build build/fuzz || return 1
  local target status=0
  mkdir -p build/fuzz/artifacts
  for target in "${fuzz_targets[@]}"; do
    local work="build/fuzz/corpus/$target"
    mkdir -p "$work"
    echo "-- $target: ${fuzz_seconds}s"
    build/fuzz/bin/"${target}_fuzzer" -max_total_time="$fuzz_seconds" -timeout=30 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/"$target"- "$work" "fuzz/corpus/$target" \
      >"build/fuzz/$target.log" 2>&1 || { tail -n 60 "build/fuzz/$target.log"; status=1; }
    grep -E '^stat::number_of_executed_units' "build/fuzz/$target.log" || true
  done
  return $status
}

install_missing
record "native tests (g++)" native_suite default
record "native exports" check_native_exports
record "AddressSanitizer + UBSan tests" native_suite asan
record "ThreadSanitizer tests (clang++)" native_suite tsan
record "Windows build and tests under Wine" windows_suite
record "Windows DLL exports and imports" check_dll
record "libFuzzer targets (clang++, ASan + UBSan)" fuzz_suite

echo
echo "test.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
