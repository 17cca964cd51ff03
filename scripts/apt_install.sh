# Installs Debian packages for the scripts, sourced by them. A package mirror can be mid-sync
# (one architecture's index the wrong size for its release file): an index that fails to
# download must not stop an install that can still succeed, and a package that cannot install
# is named with apt's own reason, in one line.
#
# install_missing_packages PACKAGE...  apt-get installs those dpkg does not know as installed;
#                                      non-zero, with a line that says what and why, when any
#                                      could not be installed.
# try_install_packages PACKAGE...      the same, silent on failure: APT_INSTALL_FAILURE holds the
#                                      line (what, and apt's reason) for the caller to say.
#
# PLANKSCALE_APT_TRIES (default 3) and PLANKSCALE_APT_PAUSE (seconds, default 5) shape the retries
# of an index update.

APT_INSTALL_FAILURE=""

apt_install_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# apt's reason in one line: its first error, else its last line.
apt_install_reason() {
  local reason
  reason=$(grep -m1 '^E: ' <<<"$1" || true)
  [ -n "$reason" ] || reason=$(grep -v '^[[:space:]]*$' <<<"$1" | tail -n 1)
  tr -s '[:space:]' ' ' <<<"${reason#E: }" | sed 's/ $//'
}

# Updates the index, a few times with a pause; a failure is reported and the install goes on
# with whatever index there is.
apt_install_update() {
  local tries=${PLANKSCALE_APT_TRIES:-3} pause=${PLANKSCALE_APT_PAUSE:-5} try output
  for ((try = 1; try <= tries; try++)); do
    if output=$(apt_install_sudo apt-get update -qq 2>&1) && ! grep -q '^[EW]: .*[Ff]ailed' <<<"$output"; then
      return 0
    fi
    [ "$try" -lt "$tries" ] && sleep "$pause"
  done
  echo "== the package index did not update ($tries tries): $(apt_install_reason "$output"); installing from the index there is"
  return 1
}

install_missing_packages() {
  try_install_packages "$@" && return 0
  echo "!! cannot install $APT_INSTALL_FAILURE" >&2
  return 1
}

try_install_packages() {
  local missing=() p
  APT_INSTALL_FAILURE=""
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"

  # A foreign architecture is added for its packages only; if they do not install, it is taken
  # back, so that its index cannot break the next update.
  local added_architectures=() arch
  for p in "${missing[@]}"; do
    case "$p" in
      *:*) arch=${p##*:}
           if ! dpkg --print-foreign-architectures | grep -qx "$arch" &&
              [ "$arch" != "$(dpkg --print-architecture)" ] &&
              [[ " ${added_architectures[*]} " != *" $arch "* ]]; then
             apt_install_sudo dpkg --add-architecture "$arch"
             added_architectures+=("$arch")
           fi ;;
    esac
  done

  local update_failure=""
  apt_install_update || update_failure=" (after the index update failed)"
  local output
  if output=$(DEBIAN_FRONTEND=noninteractive apt_install_sudo apt-get install -y -qq "${missing[@]}" 2>&1); then
    return 0
  fi
  APT_INSTALL_FAILURE="${missing[*]}$update_failure: $(apt_install_reason "$output")"
  for arch in "${added_architectures[@]}"; do
    apt_install_sudo dpkg --remove-architecture "$arch" >/dev/null 2>&1 ||
      echo "== the architecture $arch, added for ${missing[*]}, could not be taken back"
  done
  return 1
}
