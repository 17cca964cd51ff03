#!/usr/bin/env bash
# Builds the native plug-in and kymhost, then records ten seconds from the simulated balance
# board of the default world. Arguments, when given, go to kymhost instead of "--seconds 10";
# PLANKSCALE_SIM may name another world (docs/simulation.md).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/apt_install.sh
install_missing_packages cmake ninja-build g++ libgtest-dev || { echo "demo.sh: the build needs them" >&2; exit 1; }
echo "Building the native plug-in and kymhost (build/default) ..." >&2
cmake --preset default >/dev/null
cmake --build build/default --target kymhost plankscale >/dev/null
[ $# -gt 0 ] || set -- --seconds 10
exec build/default/bin/kymhost "$@"
