#!/usr/bin/env bash
# Writes the release's third-party notices to stdout: each notice of packaging/notices that a part
# linked into the programs calls for (packaging/linked-inputs.txt), with the parts each program
# holds, as its link map names them. Fails, naming the part, when a part from outside the source
# folder has no line in linked-inputs.txt.
#
# usage: scripts/release_notices.sh SOURCE_DIR VERSION PROGRAM.map...
set -euo pipefail

source_dir=$(cd "$1" && pwd -P)
version=$2
shift 2
rules=$source_dir/packaging/linked-inputs.txt
notices=$source_dir/packaging/notices
rule_lines=$(grep -v -e '^#' -e '^[[:space:]]*$' "$rules")
line_width=100

# linked_parts MAP: "archive member" for every archive member the link took in, "object -" for
# every object file from outside the source folder; our own objects have relative paths.
linked_parts() {
  awk -v ours="$source_dir/" '
    /^Archive member included/ { members = 1; next }
    /^(Discarded input sections|Allocating common symbols|Memory Configuration)/ { members = 0 }
    members && match($0, /^\/[^ (]+\.a\([^)]+\)/) {
      part = substr($0, 1, RLENGTH)
      open = index(part, "(")
      archive = substr(part, 1, open - 1)
      sub(/.*\//, "", archive)
      print archive, substr(part, open + 1, length(part) - open - 1)
      next
    }
    $1 == "LOAD" && $2 ~ /^\// && $2 !~ /\.a$/ && index($2, ours) != 1 {
      object = $2
      sub(/.*\//, "", object)
      print object, "-"
    }' "$1" | sort -u
}

# notices_for ARCHIVE MEMBER: the notices of the first rule that matches.
notices_for() {
  local archive=$1 member=$2 name patterns rest pattern
  while read -r name patterns rest; do
    [ "$name" = "$archive" ] || continue
    IFS='|' read -ra alternatives <<<"$patterns"
    for pattern in "${alternatives[@]}"; do
      if [ "$pattern" = - ]; then
        [ "$member" = - ] && { echo "$rest"; return 0; }
      elif [ "$member" != - ] && [[ $member == $pattern ]]; then
        echo "$rest"
        return 0
      fi
    done
  done <<<"$rule_lines"
  return 1
}

declare -A members_of  # "notice program archive" -> member names
declare -A called_for  # notice -> 1
programs=()
for map in "$@"; do
  program=$(basename "$map" .map)
  programs+=("$program")
  parts=$(linked_parts "$map")
  [ -n "$parts" ] || { echo "release_notices.sh: $map names no linked parts" >&2; exit 1; }
  while read -r archive member; do
    shown=$archive
    [ "$member" = - ] || shown="$archive($member)"
    wanted=$(notices_for "$archive" "$member") ||
      { echo "release_notices.sh: $program links $shown, for which packaging/linked-inputs.txt names no notice" >&2; exit 1; }
    for notice in $wanted; do
      [ -f "$notices/$notice.txt" ] || { echo "release_notices.sh: no packaging/notices/$notice.txt" >&2; exit 1; }
      called_for[$notice]=1
      members_of["$notice $program $archive"]+="${member##*_a-} "
    done
  done <<<"$parts"
done

rule() { printf '=%.0s' $(seq "$line_width"); echo; }
wrap() { fold -s -w "$line_width" | sed 's/ *$//'; }

echo "Third-party notices for PlankScale $version"
echo
wrap <<EOF
$(printf '%s and ' "${programs[@]}" | sed 's/ and $//') are built with GCC for Windows (mingw-w64), which links parts of its runtime libraries into them. Each notice below says which parts of this build it covers, as the link maps name them, then gives the licence.
EOF
# The notices in the order linked-inputs.txt first names them.
for notice in $(awk '{ for (i = 3; i <= NF; ++i) if (!seen[$i]++) print $i }' <<<"$rule_lines"); do
  [ -n "${called_for[$notice]:-}" ] || continue
  echo
  rule
  head -n 1 "$notices/$notice.txt"
  rule
  echo
  for program in "${programs[@]}"; do
    held=()
    for key in "${!members_of[@]}"; do
      read -r key_notice key_program archive <<<"$key"
      [ "$key_notice" = "$notice" ] && [ "$key_program" = "$program" ] || continue
      read -ra names <<<"${members_of[$key]}"
      if [ "${names[0]}" = - ]; then
        held+=("$archive")
      elif [ ${#names[@]} -le 3 ]; then
        held+=("$archive ($(printf '%s, ' "${names[@]}" | sed 's/, $//'))")
      else
        held+=("$archive (${#names[@]} members)")
      fi
    done
    [ ${#held[@]} -gt 0 ] || continue
    printf '%s\n' "${held[@]}" | sort | awk -v lead="In $program: " '{ printf "%s%s", NR == 1 ? lead : ", ", $0 } END { print "" }' |
      wrap
  done
  echo
  tail -n +3 "$notices/$notice.txt"
done
