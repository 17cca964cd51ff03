# Which Windows build this machine runs under Wine, and what that needs; sourced by the scripts.
#
# wine_env_setup ROOT installs what the chosen build lacks and sets:
#   WINE_PRESET   windows (32-bit, the product) or windows64 (where 32-bit programs cannot run)
#   WINE_PROGRAM  the Wine that runs that build's programs
#   WINE_REASON   one line: which build, and why
# and exports WINEPREFIX (one per build, inside its build folder), WINEDEBUG and WINEDLLOVERRIDES.
# Where 32-bit Wine cannot be installed, or cannot run, it takes the 64-bit build; where neither
# can be installed it says so and returns non-zero. PLANKSCALE_WINE_ARCH=64 (or 32) skips the
# trial and takes that build.

wine_env_packages=(cmake ninja-build binutils googletest g++-mingw-w64-i686-posix mingw-w64-tools wine)
wine_env_packages_32=(wine32:i386)
wine_env_packages_64=(g++-mingw-w64-x86-64-posix wine64)

source "$(dirname "${BASH_SOURCE[0]}")/apt_install.sh"  # install_missing_packages

# Runs a tiny 32-bit Windows program in the 32-bit build's prefix (made here if new, and kept
# for the tests). Prints the failure when it does not run; its printed word decides, not Wine's
# exit code.
wine_env_try_32bit() {
  local root=$1 probe_dir="$1/build/wine-probe" output
  mkdir -p "$probe_dir"
  if [ ! -f "$probe_dir/probe32.exe" ]; then
    printf '#include <stdio.h>\nint main(void) { puts("probe32-ran"); return 0; }\n' >"$probe_dir/probe32.c"
    i686-w64-mingw32-gcc -o "$probe_dir/probe32.exe" "$probe_dir/probe32.c" || {
      echo "the 32-bit test program does not build"
      return 1
    }
  fi
  mkdir -p "$root/build/windows"
  output=$(WINEPREFIX="$root/build/windows/wineprefix" timeout 300 wine "$probe_dir/probe32.exe" \
    </dev/null 2>&1) || true
  grep -q '^probe32-ran' <<<"$output" && return 0
  echo "$output" | tr -d '\r' | grep -v '^$' | tail -n 1
  return 1
}

wine_env_setup() {
  local root=$1 failure
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  case "${PLANKSCALE_WINE_ARCH:-}" in
    64) WINE_PRESET=windows64
        WINE_REASON="PLANKSCALE_WINE_ARCH=64 asks for it" ;;
    32) WINE_PRESET=windows
        WINE_REASON="PLANKSCALE_WINE_ARCH=32 asks for it" ;;
    "") try_install_packages "${wine_env_packages[@]}" ||
          { wine_env_cannot "the Windows toolchain and Wine: $APT_INSTALL_FAILURE"; return 1; }
        WINE_PRESET=windows64
        if [ -n "${PLANKSCALE_WINE32_FAILURE:-}" ]; then
          # Found out by the script that called this one: a second try would fail the same way.
          WINE_REASON=$PLANKSCALE_WINE32_FAILURE
        elif ! try_install_packages "${wine_env_packages_32[@]}"; then
          WINE_REASON="32-bit Wine cannot be installed here (${APT_INSTALL_FAILURE})"
          echo "== $WINE_REASON: taking the 64-bit Windows path"
          export PLANKSCALE_WINE32_FAILURE=$WINE_REASON
        elif failure=$(wine_env_try_32bit "$root"); then
          WINE_PRESET=windows
          WINE_REASON="a 32-bit Windows program runs here"
        else
          WINE_REASON="a 32-bit Windows program cannot run here (${failure:-no output})"
        fi ;;
    *) echo "PLANKSCALE_WINE_ARCH must be 32, 64 or unset, not '$PLANKSCALE_WINE_ARCH'" >&2
       return 1 ;;
  esac
  if [ "$WINE_PRESET" = windows ]; then
    try_install_packages "${wine_env_packages[@]}" "${wine_env_packages_32[@]}" ||
      { wine_env_cannot "the 32-bit Windows path: $APT_INSTALL_FAILURE"; return 1; }
    WINE_PROGRAM=wine
    WINE_REASON="Windows tests: the 32-bit build (windows, wine): $WINE_REASON"
  else
    try_install_packages "${wine_env_packages[@]}" "${wine_env_packages_64[@]}" ||
      { wine_env_cannot "the 64-bit Windows path: $APT_INSTALL_FAILURE"; return 1; }
    # Debian keeps wine64 out of PATH; /usr/bin/wine would start the 32-bit loader first.
    WINE_PROGRAM=$(command -v wine64 || echo /usr/lib/wine/wine64)
    export WINELOADER=$WINE_PROGRAM
    WINE_REASON="Windows tests: the 64-bit build (windows64, wine64): $WINE_REASON"
  fi
  export WINEPREFIX="$root/build/$WINE_PRESET/wineprefix"
}

# No Windows build can run here: said plainly, since a test that did not run is no pass.
wine_env_cannot() {
  WINE_REASON="no Windows build can be tested here: cannot install $1"
  echo "!! $WINE_REASON" >&2
}
