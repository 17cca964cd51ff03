#!/usr/bin/env bash
# The install step against a stand-in apt that fails as a mirror in mid-sync did: the i386 index
# does not match its release file, so wine32:i386 cannot install. The step must say so, take the
# 64-bit Windows path and leave no i386 architecture behind; where nothing installs it must fail.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/apt-install-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

# The stand-ins keep their state in $STATE: installed packages, foreign architectures, and
# which packages refuse. apt-get update fails while i386 is configured (BROKEN_I386=1), or its
# first FLAKY_UPDATES times.
make_standins() {
  mkdir -p "$work/bin"
  cat >"$work/bin/dpkg" <<'STANDIN'
#!/usr/bin/env bash
case "$1" in
  -s) grep -qx "$2" "$STATE/installed" ;;
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) cat "$STATE/architectures" ;;
  --add-architecture) echo "$2" >>"$STATE/architectures" ;;
  --remove-architecture) grep -vx "$2" "$STATE/architectures" >"$STATE/a" || true; mv "$STATE/a" "$STATE/architectures" ;;
  *) echo "dpkg stand-in: $*" >&2; exit 2 ;;
esac
STANDIN
  cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
case "$1" in
  update)
    echo update >>"$STATE/calls"
    updates=$(grep -c update "$STATE/calls")
    if { [ "${BROKEN_I386:-0}" = 1 ] && grep -qx i386 "$STATE/architectures"; } ||
       [ "$updates" -le "${FLAKY_UPDATES:-0}" ]; then
      echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi ;;
  install)
    shift
    packages=()
    for p in "$@"; do case "$p" in -*) ;; *) packages+=("$p") ;; esac; done
    for p in "${packages[@]}"; do
      if grep -qx "$p" "$STATE/refuse"; then
        echo " libdw1:i386 : Depends: liblzma5:i386 (>= 5.1.1alpha+20120614) but it is not going to be installed"
        echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages."
        exit 100
      fi
    done
    printf '%s\n' "${packages[@]}" >>"$STATE/installed" ;;
  *) echo "apt-get stand-in: $*" >&2; exit 2 ;;
esac
STANDIN
  printf '#!/usr/bin/env bash\nexec "$@"\n' >"$work/bin/sudo"
  chmod +x "$work/bin/"*
}

# run_setup REFUSED...: wine_env_setup on a fresh $STATE; prints its output and the result.
run_setup() {
  rm -rf "$STATE"
  mkdir -p "$STATE"
  : >"$STATE/installed"
  : >"$STATE/architectures"
  : >"$STATE/calls"
  printf '%s\n' "$@" >"$STATE/refuse"
  PATH=$work/bin:$PATH PLANKSCALE_APT_PAUSE=0 PLANKSCALE_WINE_ARCH="" bash "$work/setup.sh" 2>&1 ||
    echo "result: failed"
}

# As the scripts use it: under errexit, so that a failure the step does not handle ends it.
cat >"$work/setup.sh" <<SETUP
set -euo pipefail
source "$scripts/wine_env.sh"
wine_env_try_32bit() { echo "not reached"; return 1; }
wine_env_setup "$work"
echo "result: \$WINE_PRESET: \$WINE_REASON"
SETUP

expect() {  # expect DESCRIPTION TEXT PATTERN
  if grep -qE -- "$3" <<<"$2"; then
    echo "  ok    $1"
  else
    echo "  FAIL  $1: no line matches '$3' in:"
    sed 's/^/    /' <<<"$2"
    failures=$((failures + 1))
  fi
}

make_standins

export STATE=$work/state
output=$(BROKEN_I386=1 run_setup wine32:i386)
sed 's/^/  | /' <<<"$output"
expect "the mirror in mid-sync: the 64-bit path is taken" "$output" '^result: windows64:'
expect "it says what did not install, apt's reason and the path taken" "$output" \
  '^== 32-bit Wine cannot be installed here \(wine32:i386 \(after the index update failed\): Error, pkgProblemResolver::Resolve generated breaks.*\): taking the 64-bit Windows path$'
expect "the failed update is reported with apt's reason" "$output" \
  '^== the package index did not update \(3 tries\): Failed to fetch .*binary-i386/Packages.xz File has unexpected size'
expect "the i386 architecture added for wine32 is taken back" "$(cat "$STATE/architectures"; echo end)" '^end$'
expect "the 64-bit packages are installed" "$(cat "$STATE/installed")" '^wine64$'

output=$(FLAKY_UPDATES=2 run_setup)
expect "an update that fails twice is tried again: wine32 installs, and the 32-bit trial runs" "$output" \
  'a 32-bit Windows program cannot run here \(not reached\)'
if grep -q 'did not update' <<<"$output"; then
  echo "  FAIL  an update that succeeded on its third try was reported as failed"
  failures=$((failures + 1))
fi

output=$(BROKEN_I386=1 run_setup wine32:i386 wine64)
expect "where no Windows path installs, it fails" "$output" '^result: failed$'
expect "and says so plainly" "$output" '^!! no Windows build can be tested here: cannot install the 64-bit Windows path: .*wine64.*pkgProblemResolver'

[ "$failures" -eq 0 ] && echo "apt_install_test: all passed"
[ "$failures" -eq 0 ]
