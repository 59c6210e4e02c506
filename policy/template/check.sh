#!/usr/bin/env bash
# Checks the administrative template: both files valid against the schema,
# every text and presentation they refer to there, and every value the
# program reads (policy/AdminPolicy.cpp) defined by one policy with the same
# range, and no policy for a value the program does not read.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
admx=$here/Keepboot.admx adml=$here/en-US/Keepboot.adml
program=${1:-$here/../AdminPolicy.cpp}
xmllint --noout --schema "$here/schema/PolicyDefinitions.xsd" "$admx" "$adml"

fail() { printf 'template: %s\n' "$*" >&2; exit 1; }
xpath() { xmllint --xpath "$2" "$1" 2>/dev/null || true; }

# The references of the ADMX, each defined once in the ADML.
for kind in string presentation; do
  table=$([ "$kind" = string ] && echo stringTable || echo presentationTable)
  for id in $(grep -o "\$($kind\.[A-Za-z0-9_.-]*)" "$admx" | sed "s/^\$($kind\.//; s/)$//" | sort -u); do
    count=$(xpath "$adml" "count(//*[local-name()='$table']/*[@id='$id'])")
    [ "$count" = 1 ] || fail "$kind '$id' is defined $count times in the ADML"
  done
done

# value name -> "lowest highest", from the template.
declare -A template
for name in $(xpath "$admx" "//*[local-name()='policy']/@valueName | //*[local-name()='elements']/*/@valueName" |
              sed 's/ *valueName="\([^"]*\)"/\1\n/g'); do
  [ -z "${template[$name]:-}" ] || fail "'$name' is set by two policies"
  element="//*[local-name()='elements']/*[@valueName='$name']"
  if [ "$(xpath "$admx" "count($element[local-name()='decimal'])")" = 1 ]; then
    range="$(xpath "$admx" "string($element/@minValue)") $(xpath "$admx" "string($element/@maxValue)")"
  else
    # An enum's items, or a policy's enabled and disabled values.
    values=$(xpath "$admx" "$element//*[local-name()='decimal']/@value | //*[local-name()='policy'][@valueName='$name']//*[local-name()='decimal']/@value" |
             grep -o '[0-9]\+' | sort -n)
    [ -n "$values" ] || fail "'$name' has no numbers"
    range="$(head -1 <<<"$values") $(tail -1 <<<"$values")"
  fi
  template[$name]=$range
done

# The same from the program's table: {L"Name", lowest, highest, ...}.
declare -A read
while read -r name lowest highest; do
  read[$name]="$lowest $highest"
done < <(grep -o '{L"[A-Za-z]*", *[0-9]*, *[0-9]*' "$program" | sed 's/{L"\([^"]*\)", *\([0-9]*\), *\([0-9]*\)/\1 \2 \3/')
[ "${#read[@]}" -gt 0 ] || fail "no values found in $program"

for name in "${!read[@]}"; do
  [ -n "${template[$name]:-}" ] || fail "the program reads '$name', which no policy sets"
  [ "${template[$name]}" = "${read[$name]}" ] ||
    fail "'$name' is ${template[$name]} in the template, ${read[$name]} in the program"
done
for name in "${!template[@]}"; do
  [ -n "${read[$name]:-}" ] || fail "a policy sets '$name', which the program does not read"
done
echo "template: ${#read[@]} values, each with its policy"
