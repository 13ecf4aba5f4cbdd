#!/usr/bin/env bash
# Checks that every relative link and image in README.md and docs/*.md points
# at a file that exists and, where it names one, at a heading of that file.
# Links inside fenced code blocks and links to other sites are not checked.
#   scripts/check-doc-links.sh [ROOT]
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"

# The text of a page outside its fenced code blocks.
prose() { awk '/^[ ]*```/ { fenced = !fenced; next } !fenced' "$1"; }

# The anchors of a page's headings: lower case, punctuation dropped, spaces as hyphens.
anchors() {
  prose "$1" | sed -n 's/^#\{1,6\}[ ]\{1,\}//p' |
    tr '[:upper:]' '[:lower:]' | sed -e 's/[^a-z0-9 -]//g' -e 's/ /-/g'
}

checked=0
broken=0
for page in README.md docs/*.md; do
  dir=$(dirname "$page")
  while IFS= read -r target; do
    case "$target" in
      *://*|mailto:*) continue ;;
    esac
    checked=$((checked + 1))
    path=${target%%#*}
    anchor=
    [[ "$target" == *#* ]] && anchor=${target#*#}
    file=$page
    [ -n "$path" ] && file=$dir/$path
    if [ ! -e "$file" ]; then
      echo "$page: link to '$target': no such file" >&2
      broken=$((broken + 1))
    elif [ -n "$anchor" ] && ! anchors "$file" | grep -qxF -- "$anchor"; then
      echo "$page: link to '$target': no such heading in $file" >&2
      broken=$((broken + 1))
    fi
  done < <(prose "$page" | grep -oE '\]\([^) ]+\)|src="[^"]+"' |
             sed -E -e 's/^\]\((.*)\)$/\1/' -e 's/^src="(.*)"$/\1/')
done

if [ "$broken" -gt 0 ]; then
  echo "$broken of $checked links in the documentation do not resolve" >&2
  exit 1
fi
echo "$checked links in the documentation resolve"
