#!/usr/bin/env bash
# Builds the native plug-in and kymhost, then records ten seconds from the simulated balance
# board of the default world. Arguments, when given, go to kymhost instead of "--seconds 10";
# PLANKSCALE_SIM may name another world (docs/simulation.md).
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v cmake >/dev/null || ! command -v ninja >/dev/null || ! command -v g++ >/dev/null ||
   ! dpkg -s libgtest-dev >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends cmake ninja-build g++ libgtest-dev >/dev/null
fi
echo "Building the native plug-in and kymhost (build/default) ..." >&2
cmake --preset default >/dev/null
cmake --build build/default --target kymhost plankscale >/dev/null
[ $# -gt 0 ] || set -- --seconds 10
exec build/default/bin/kymhost "$@"
