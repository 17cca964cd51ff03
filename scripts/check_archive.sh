#!/usr/bin/env bash
# Checks a release archive as its user would: its sum against the SHA256SUMS beside it, then,
# unpacked into an empty folder, that it holds the release's files and nothing else, in Windows
# line ends where they are text, with the sums of SHA256SUMS.txt; then runs its kymhost.exe under
# Wine: --version, --help, and a recording, which must end with exit code 2 and the plug-in's
# message, since Wine has no Bluetooth radio. Where 32-bit Windows programs cannot run, those runs
# use the 64-bit build of the same programs instead, and say so.
#
# usage: scripts/check_archive.sh [ARCHIVE]   (default: the archive dist/SHA256SUMS names)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd -P)
source scripts/wine_env.sh
source scripts/release_layout.sh

text_files=("${release_documents[@]}" "$release_sums")
no_radio="No board found: No Bluetooth radio was found. Check that your Bluetooth interface is connected and\
 that you have the Microsoft Bluetooth driver software."
exit_no_board=2
run_limit=120  # seconds for one run under Wine, its start included

archive=${1:-}
if [ -z "$archive" ]; then
  [ -f dist/SHA256SUMS ] || { echo "check_archive.sh: no archive given and no dist/SHA256SUMS" >&2; exit 2; }
  archive=dist/$(awk 'NR == 1 { print $2 }' dist/SHA256SUMS)
fi
archive=$(cd "$(dirname "$archive")" && pwd -P)/$(basename "$archive")
version=$(release_version_of "$archive")
[ -n "$version" ] || { echo "check_archive.sh: $archive is not named PlankScale-VERSION-win32.zip" >&2; exit 2; }
install_missing_packages unzip binutils

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    echo "  ok    $what"
  else
    echo "  FAIL  $what"
    failures=$((failures + 1))
  fi
}
sum_beside() { (cd "$(dirname "$archive")" && grep " $(basename "$archive")\$" SHA256SUMS | sha256sum -c --quiet -); }
file_list() { [ "$(unzip -Z1 "$archive" | tr '\n' ' ')" = "${release_files[*]} " ]; }
inner_sums() {
  [ "$(awk '{ print $2 }' "$unpacked/$release_sums" | tr -d '\r' | tr '\n' ' ')" = \
    "${release_programs[*]} ${release_documents[*]} " ] &&
    (cd "$unpacked" && sha256sum -c --strict --quiet "$release_sums")
}
windows_line_ends() {
  local file
  for file in "${text_files[@]}"; do
    [ "$(grep -c $'\r$' "$unpacked/$file")" -eq "$(wc -l <"$unpacked/$file")" ] || { echo "    $file"; return 1; }
  done
}
is_pe() { objdump -f "$unpacked/$1" | grep "file format" | grep -q -w pei-i386; }

# run_kymhost DIR ARGS...: kymhost.exe of DIR under Wine; sets output and code.
run_kymhost() {
  local dir=$1
  shift
  code=0
  output=$(cd "$dir" && timeout "$run_limit" "$WINE_PROGRAM" kymhost.exe "$@" </dev/null 2>&1) || code=$?
  output=$(tr -d '\r' <<<"$output")
}
versions() {
  run_kymhost "$program_dir" --version
  [ "$code" -eq 0 ] && grep -q -x "kymhost $version" <<<"$output" &&
    grep -q -x "plug-in .*PlankScale.kymdll, file version $version" <<<"$output" ||
    { echo "$output" | sed 's/^/    /'; echo "    exit code $code"; return 1; }
}
help_text() {
  run_kymhost "$program_dir" --help
  [ "$code" -eq 0 ] && grep -q '^usage: kymhost' <<<"$output" && grep -q -- '--version' <<<"$output" ||
    { echo "$output" | head -n 5 | sed 's/^/    /'; echo "    exit code $code"; return 1; }
}
no_radio_run() {
  run_kymhost "$program_dir" --seconds 1
  [ "$code" -eq "$exit_no_board" ] && grep -q -x -F "$no_radio" <<<"$output" ||
    { echo "$output" | sed 's/^/    /'; echo "    exit code $code"; return 1; }
}

echo "Checking $archive"
check "its sum in the SHA256SUMS beside it" sum_beside
check "the files, in order: ${release_files[*]}" file_list
unpacked=$(mktemp -d "${TMPDIR:-/tmp}/plankscale-archive.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$archive" -d "$unpacked"
check "$release_sums names the other files and their sums match" inner_sums
check "the text files end their lines with CR LF" windows_line_ends
check "PlankScale.kymdll is 32-bit Windows code (pei-i386)" is_pe PlankScale.kymdll
check "kymhost.exe is 32-bit Windows code (pei-i386)" is_pe kymhost.exe

wine_env_setup "$root"
program_dir=$unpacked
if [ "$WINE_PRESET" = windows64 ]; then
  echo "  $WINE_REASON."
  echo "  So the archive's 32-bit kymhost.exe and plug-in are not run here; the 64-bit build of the same"
  echo "  sources runs the checks below in their place."
  (cmake --preset windows64 >/dev/null && cmake --build build/windows64 --target plankscale kymhost) >/dev/null ||
    { echo "  FAIL  the 64-bit build"; exit 1; }
  program_dir=$(mktemp -d "${TMPDIR:-/tmp}/plankscale-64.XXXXXX")
  trap 'rm -rf "$unpacked" "$program_dir"' EXIT
  cp "${release_programs[@]/#/build/windows64/bin/}" "$program_dir/"
fi
[ -d "$WINEPREFIX" ] || "$WINE_PROGRAM" wineboot -i >/dev/null 2>&1 </dev/null || true
check "kymhost.exe --version: kymhost $version, and the plug-in's file version $version" versions
check "kymhost.exe --help" help_text
check "kymhost.exe --seconds 1: exit code $exit_no_board and the plug-in's no-radio message" no_radio_run

[ "$failures" -eq 0 ] || { echo "check_archive.sh: $failures checks failed"; exit 1; }
