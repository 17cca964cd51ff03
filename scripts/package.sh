#!/usr/bin/env bash
# Makes the release: builds the 32-bit plug-in and kymhost.exe from a fresh copy of the source tree
# in a fresh build folder, and writes dist/PlankScale-<version>-win32.zip and dist/SHA256SUMS. The
# archive holds the two programs, the user guide as README.txt, LICENSE.txt,
# THIRD-PARTY-NOTICES.txt (from the link maps) and SHA256SUMS.txt, in that order, all dated by the
# last commit. <version> is the plug-in's file version, read from its version block.
#
#   scripts/package.sh                the archive
#   scripts/package.sh --check        builds twice, in two folders one after the other, and checks
#                                     that the DLL, kymhost.exe and the archive are the same bytes
#   scripts/package.sh --compare DIR  builds once and checks that the DLL and kymhost.exe are the
#                                     same bytes as DIR/bin's, a build of the same tree elsewhere
set -euo pipefail
shopt -s inherit_errexit  # a failure inside $(...) fails the packaging too
cd "$(dirname "$0")/.."
root=$(pwd -P)
source scripts/wine_env.sh  # install_missing_packages
source scripts/release_layout.sh

packages=(cmake ninja-build binutils git zip g++-mingw-w64-i686-posix mingw-w64-tools)
work=$root/build/package
dist=$root/dist

usage() {
  echo "usage: scripts/package.sh [--check | --compare BUILD_DIR]" >&2
  exit 2
}
mode=make
compare_with=
case "${1:-}" in
  "") ;;
  --check) mode=check ;;
  --compare) [ $# -eq 2 ] || usage; mode=compare; compare_with=$(cd "$2" && pwd -P) ;;
  *) usage ;;
esac

install_missing_packages "${packages[@]}"
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) || { echo "package.sh: cannot read the last commit's date" >&2; exit 1; }
export SOURCE_DATE_EPOCH
if [ -n "$(git status --porcelain)" ]; then
  echo "package.sh: the working tree has changes that are not committed: they are in this build, so it is not" \
    "a release of commit $(git rev-parse --short HEAD)"
fi

# copy_tree DEST: the files git tracks or would track, as they are in the working tree.
copy_tree() {
  mkdir -p "$1"
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do if [ -e "$file" ]; then printf '%s\0' "$file"; fi; done |
    tar --null -T - -cf - | tar -xf - -C "$1"
}

# build_copy DIR: a copy of the tree in DIR/PlankScale, built there; prints the build folder.
build_copy() {
  local source=$1/PlankScale
  rm -rf "$1"
  copy_tree "$source"
  echo "== building in $source" >&2
  (cd "$source" && cmake --preset windows -DPLANKSCALE_TESTS=OFF >/dev/null &&
    cmake --build build/windows --target plankscale kymhost) >"$1/build.log" 2>&1 ||
    { tail -n 40 "$1/build.log" >&2; echo "package.sh: the build in $source failed" >&2; return 1; }
  echo "$source/build/windows"
}

# file_version DLL: the four parts of the fixed file version in the DLL's version block.
file_version() {
  local offsets words
  offsets=$(LC_ALL=C grep -obUaP '\xBD\x04\xEF\xFE' "$1" | cut -d: -f1)
  [ "$(wc -w <<<"$offsets")" -eq 1 ] || { echo "package.sh: $1 has no single version block" >&2; return 1; }
  read -ra words <<<"$(od -An -tu2 -j $((offsets + 8)) -N8 "$1")"  # MS low, MS high, LS low, LS high
  echo "${words[1]}.${words[0]}.${words[3]}.${words[2]}"
}

crlf() { sed 's/\r*$/\r/'; }

# no_build_paths FILE...: none of the files names the folder it was built in, or this one.
no_build_paths() {
  local file status=0
  for file in "$@"; do
    if strings -a "$file" | grep -q -F -e "$root" -e "$work"; then
      echo "package.sh: $file names a build folder:" >&2
      strings -a "$file" | grep -F -e "$root" -e "$work" | head -n 3 >&2
      status=1
    fi
  done
  return $status
}

# assemble BUILD OUT: the archive of that build in OUT; prints its path.
assemble() {
  local build=$1 out=$2 source version stage archive
  source=$(dirname "$(dirname "$build")")
  version=$(file_version "$build/bin/PlankScale.kymdll")
  archive=$out/$(release_archive_name "$version")
  stage=${archive%.zip}
  rm -rf "$out"
  mkdir -p "$stage"
  cp "${release_programs[@]/#/$build/bin/}" "$stage/"
  no_build_paths "${release_programs[@]/#/$stage/}"
  # The guide's notes to its editors are whole-line HTML comments, which a text file would show.
  sed '/^<!--.*-->$/d' "$source/docs/user-guide.md" | crlf >"$stage/README.txt"
  crlf <"$source/LICENSE" >"$stage/LICENSE.txt"
  scripts/release_notices.sh "$source" "$version" "$build/PlankScale.kymdll.map" "$build/kymhost.exe.map" |
    crlf >"$stage/THIRD-PARTY-NOTICES.txt"
  (cd "$stage" && sha256sum "${release_programs[@]}" "${release_documents[@]}" | crlf >"$release_sums")
  chmod 0644 "$stage"/*
  TZ=UTC touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
  # zip stores local time: in UTC every build dates its files alike. -X leaves out owners and
  # extra time stamps, -D directory entries.
  (cd "$stage" && TZ=UTC zip -X -D -q -9 "$archive" "${release_files[@]}")
  echo "$archive"
}

# same_bytes A B NAME: says whether two files are the same bytes.
same_bytes() {
  if cmp -s "$1" "$2"; then
    printf '  identical  %-36s %s\n' "$3" "$(sha256sum <"$1" | cut -d' ' -f1)"
  else
    printf '  DIFFERENT  %-36s %s\n' "$3" "$(cmp "$1" "$2" | sed 's/.*: //')"
    return 1
  fi
}

# publish ARCHIVE: the archive and its sum into dist/, and what it holds onto the screen.
publish() {
  local archive=$1 name file
  name=$(basename "$archive")
  mkdir -p "$dist"
  cp "$archive" "$dist/$name"
  (cd "$dist" && sha256sum "$name" >SHA256SUMS)
  echo "dist/$name: $(stat -c %s "$dist/$name") bytes, SHA-256 $(cut -d' ' -f1 "$dist/SHA256SUMS") (dist/SHA256SUMS)"
  for file in "${release_files[@]}"; do
    printf '  %-24s %8s  %s\n' "$file" "$(stat -c %s "${archive%.zip}/$file")" \
      "$(sha256sum <"${archive%.zip}/$file" | cut -d' ' -f1)"
  done
}

status=0
first_build=$(build_copy "$work/first")
first=$(assemble "$first_build" "$work/first/out")
case "$mode" in
  check)
    # A longer folder name, and a later time: neither may show in the bytes.
    second_build=$(build_copy "$work/second-build")
    second=$(assemble "$second_build" "$work/second-build/out")
    echo "Two builds, in $work/first and $work/second-build:"
    for program in "${release_programs[@]}"; do
      same_bytes "$first_build/bin/$program" "$second_build/bin/$program" "$program" || status=1
    done
    same_bytes "$first" "$second" "$(basename "$first")" || status=1
    ;;
  compare)
    echo "This build and $compare_with:"
    for program in "${release_programs[@]}"; do
      same_bytes "$first_build/bin/$program" "$compare_with/bin/$program" "$program" || status=1
    done
    ;;
esac
publish "$first"
exit $status
