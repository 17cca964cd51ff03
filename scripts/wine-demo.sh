#!/usr/bin/env bash
# Runs kymhost.exe with the real plug-in, PlankScale.kymdll, under Wine against the simulated
# world: the default one, or the one PLANKSCALE_SIM names. Wine's own Bluetooth, HID and SetupAPI
# libraries are replaced by the stand-ins of tools/standins, which serve the simulated world;
# everything else, the reader thread's overlapped reads and events among it, is Wine's.
# Arguments, when given, go to kymhost instead of "--seconds 10". Picks the 32-bit build where
# 32-bit programs run, else the 64-bit one, as scripts/test.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/wine_env.sh
wine_env_setup "$root"
echo "$WINE_REASON" | sed 's/^Windows tests: /Wine demo: /' >&2
echo "Building the plug-in, kymhost.exe and the stand-ins (build/$WINE_PRESET) ..." >&2
cmake --preset "$WINE_PRESET" >/dev/null
cmake --build "build/$WINE_PRESET" --target plankscale kymhost standins >/dev/null
[ -d "$WINEPREFIX" ] || "$WINE_PROGRAM" wineboot -i >/dev/null 2>&1 </dev/null || true
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;bthprops.cpl,hid,setupapi=n"
[ $# -gt 0 ] || set -- --seconds 10
exec "$WINE_PROGRAM" "build/$WINE_PRESET/bin/kymhost.exe" "$@"
