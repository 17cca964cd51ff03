#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, then builds and tests every build: native
# (g++), AddressSanitizer + UBSan (g++), ThreadSanitizer (clang++), the Windows DLL with its
# tests under Wine, the release archive, and the libFuzzer targets. "scripts/test.sh windows"
# runs the Windows stages alone. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/wine_env.sh

stages=${1:-all}
case "$stages" in
  all | windows) ;;
  *) echo "usage: scripts/test.sh [windows]" >&2; exit 2 ;;
esac

# libedf-dev, libxdf-dev and biosig-tools read back the BDF+, EDF+ and XDF files kymhost writes.
native_packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest libbenchmark-dev binutils
                 libedf-dev libxdf-dev biosig-tools)
browser_packages=(chromium)

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
    ctest --test-dir "build/$preset" --output-on-failure -j2 --timeout 300 -E InABrowser
}

# The live view's page in a real browser, once, from the native build: the browser's cost is the
# same under every sanitizer. Where Chromium cannot run, one line says why and the stage is left out.
view_screenshot=build/default/live-view.png
chromium_trial() {
  local profile output
  profile=$(mktemp -d)
  output=$(timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$profile" \
    --dump-dom about:blank 2>&1 >/dev/null) || { rm -rf "$profile"; grep -v '^$' <<<"$output" | tail -n 1; return 1; }
  rm -rf "$profile"
}
view_in_browser() {
  PLANKSCALE_VIEW_SCREENSHOT="$root/$view_screenshot" build/default/bin/sim_tests \
    --gtest_filter='Kymhost.InABrowser*' --gtest_brief=1 && echo "the page as Chromium drew it: $view_screenshot"
}
browser_stage() {
  local why
  if ! try_install_packages "${browser_packages[@]}"; then
    echo "== the live view in headless Chromium: left out, Chromium cannot be installed ($APT_INSTALL_FAILURE)"
  elif ! why=$(chromium_trial); then
    echo "== the live view in headless Chromium: left out, Chromium cannot run here (${why:-no output})"
  else
    record "the live view in headless Chromium" view_in_browser
  fi
}

# Several host threads on two boards that come and go, alone on the machine for a while: it keeps
# both cores busy, so it runs after the suite rather than beside its timed tests.
stress_seconds=${PLANKSCALE_STRESS_SECONDS:-20}
host_threads_stress() {
  PLANKSCALE_STRESS_SECONDS=$stress_seconds timeout $((stress_seconds + 120)) \
    "build/$1/bin/sim_tests" --gtest_filter='HostThreads.*' --gtest_brief=1
}

check_native_exports() {
  local names
  names=$(nm -D --defined-only build/default/bin/libplankscale.so | awk '$2 == "T" || $2 == "W" || $2 == "D" || $2 == "B" {print $3}' | sort)
  local expected
  expected=$(printf '%s\n' CloseAll FindDevice FlushReadBuffer GetBaudRate GetDeviceClassInfo GetLastErrorMsg \
    GetUniqueID Initialise IsFailed ReadBuffSize ReadBuffer ReadLine WriteBuffer | sort)
  [ "$names" = "$expected" ] || { echo "libplankscale.so exports:"; echo "$names"; return 1; }
}

# check_dll PRESET ARCH: the plug-in of that build exports the thirteen names, undecorated, and
# imports system DLLs only.
check_dll() {
  local dll=build/$1/bin/PlankScale.kymdll dump
  dump=$(objdump -p "$dll")
  grep -q "file format $2" <<<"$dump" || { echo "$dll is not $2"; return 1; }
  local names
  names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | awk '/\[ *[0-9]+\]/ {print $NF}' | sort)
  local expected
  expected=$(printf '%s\n' CloseAll FindDevice FlushReadBuffer GetBaudRate GetDeviceClassInfo GetLastErrorMsg \
    GetUniqueID Initialise IsFailed ReadBuffSize ReadBuffer ReadLine WriteBuffer | sort)
  [ "$names" = "$expected" ] || { echo "$dll exports:"; echo "$names"; return 1; }
  local foreign
  foreign=$(awk '/DLL Name:/ {print $3}' <<<"$dump" | grep -i -E 'libstdc|libgcc|winpthread|mingw' || true)
  [ -z "$foreign" ] || { echo "$dll imports $foreign"; return 1; }
}

build_dll() {
  cmake --preset windows >/dev/null && cmake --build build/windows --target plankscale
}

# The 32-bit DLL and kymhost.exe built again, from a copy of the tree in another folder, are the
# same bytes as the Windows build's; that second build makes the release archive.
same_bytes_elsewhere() {
  rm -f dist/SHA256SUMS  # never check an archive left from before
  cmake --preset windows >/dev/null && cmake --build build/windows --target plankscale kymhost &&
    scripts/package.sh --compare build/windows
}

# The build wine_env_setup chose, with its tests under that Wine.
windows_suite() {
  local preset=$WINE_PRESET
  cmake --preset "$preset" >/dev/null && cmake --build "build/$preset" || return 1
  [ -d "$WINEPREFIX" ] || "$WINE_PROGRAM" wineboot -i >/dev/null 2>&1 || true
  rm -rf "build/$preset/test-results"
  wineserver -p
  # Start Wine's services now, detached from ctest's output pipes: a service that inherits
  # them keeps ctest waiting for ever.
  "$WINE_PROGRAM" wineboot >/dev/null 2>&1 </dev/null || true
  local status=0
  ctest --test-dir "build/$preset" --output-on-failure --timeout 600 || status=1
  wineserver -k || true
  # Wine's exit codes after a crash are not to be trusted: gtest's own reports decide.
  local report count=0
  for report in "build/$preset"/test-results/*.xml; do
    [ -f "$report" ] || { echo "no gtest report"; return 1; }
    count=$((count + 1))
    grep -q '<testsuites tests="[1-9][0-9]*" failures="0" disabled="[0-9]*" errors="0"' "$report" ||
      { echo "failures in $report"; status=1; }
  done
  local expected
  expected=$(ctest --test-dir "build/$preset" -N | grep -c 'Test *#' || true)
  [ "$count" -eq "$expected" ] || { echo "expected $expected gtest reports, found $count"; status=1; }
  return $status
}

windows_stages() {
  if ! wine_env_setup "$root"; then
    record "Windows build and tests under Wine ($WINE_REASON)" false
    return 0
  fi
  if [ "$WINE_PRESET" = windows64 ]; then
    echo "$WINE_REASON; the 32-bit DLL is built and checked only"
  else
    echo "$WINE_REASON"
  fi
  record "Windows build and tests under Wine ($WINE_PRESET)" windows_suite
  if [ "$WINE_PRESET" = windows64 ]; then
    record "64-bit Windows DLL exports and imports" check_dll windows64 pei-x86-64
    record "32-bit Windows DLL build" build_dll
  fi
  record "Windows DLL exports and imports" check_dll windows pei-i386
  record "The DLL and kymhost.exe, built again elsewhere: the same bytes" same_bytes_elsewhere
  record "The release archive, unpacked and run as its user would" scripts/check_archive.sh
}

# Each libFuzzer target for a short while, from its committed corpus, under ASan and UBSan.
fuzz_seconds=${PLANKSCALE_FUZZ_SECONDS:-20}
# The targets as the fuzz build names them, once.
read -r -a fuzz_targets <<<"$(sed -n 's/^set(PLANKSCALE_FUZZ_TARGETS \(.*\))$/\1/p' fuzz/targets.cmake)"
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

# The install step itself, against a stand-in apt whose mirror is mid-sync, before it is relied on.
record "install step with a mirror in mid-sync (stand-in apt)" tests/scripts/apt_install_test.sh
if [ "$stages" = all ]; then
  install_missing_packages "${native_packages[@]}" || { echo "test.sh: the native builds need them"; exit 1; }
  record "native tests (g++)" native_suite default
  record "native exports" check_native_exports
  browser_stage
  record "AddressSanitizer + UBSan tests" native_suite asan
  record "host threads stress (AddressSanitizer)" host_threads_stress asan
  record "ThreadSanitizer tests (clang++)" native_suite tsan
  record "host threads stress (ThreadSanitizer)" host_threads_stress tsan
fi
windows_stages
if [ "$stages" = all ]; then
  record "libFuzzer targets (clang++, ASan + UBSan)" fuzz_suite
fi

echo
echo "test.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
