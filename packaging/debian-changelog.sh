#!/bin/sh
# Writes the Debian changelog of the package from CHANGELOG.md: every
# "## <version> (<yyyy-mm-dd>)" heading (or "(<yyyy-mm-dd hh:mm>)", UTC) starts an entry,
# every "- " line an item, and lines indented by two blanks go on with the item above them;
# other lines are for readers only, and so is an "## Unreleased" section, not yet released.
# Usage: debian-changelog.sh <CHANGELOG.md> <package> <"Name <address>"> <output>
set -eu
[ $# -eq 4 ] || { echo "usage: debian-changelog.sh <CHANGELOG.md> <package> <maintainer> <output>" >&2; exit 2; }
package=$2
maintainer=$3

day=
unreleased=
close_entry() {
  if [ -n "$day" ]; then
    printf '\n -- %s  %s\n\n' "$maintainer" "$(date -u -R -d "$day")"
  fi
}

while IFS= read -r line; do
  case "$line" in
    '## Unreleased'*) unreleased=1 ;;
    '## '*)
      unreleased=
      close_entry
      version=${line#'## '}
      version=${version%% *}
      day=${line##*'('}
      day=${day%')'}
      printf '%s (%s) unstable; urgency=medium\n\n' "$package" "$version"
      ;;
    '- '*) [ -n "$unreleased" ] || printf '  * %s\n' "${line#'- '}" ;;
    '  '*) [ -n "$unreleased" ] || printf '  %s\n' "$line" ;;
  esac
done < "$1" > "$4.new"
close_entry >> "$4.new"
mv "$4.new" "$4"
