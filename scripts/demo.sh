#!/usr/bin/env bash
# Builds the native plug-in and runs kymhost against the simulated balance board.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v cmake >/dev/null || ! command -v ninja >/dev/null || ! command -v g++ >/dev/null ||
   ! dpkg -s libgtest-dev >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends cmake ninja-build g++ libgtest-dev >/dev/null
fi
cmake --preset default >/dev/null
cmake --build build/default --target kymhost plankscale >/dev/null
exec build/default/bin/kymhost "$@"
