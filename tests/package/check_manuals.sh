#!/usr/bin/env bash
# Reads the built manuals back as text: each PDF must hold its title on the first page and every
# chapter and section heading of its Markdown, and both languages must have the same chapters.
# Usage: check_manuals.sh PDFTOTEXT FOLDER PDF [FOLDER PDF]...
set -euo pipefail
pdftotext=$1
shift
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The heading's text as the PDF shows it: no '#', no Markdown marks, blanks as single spaces.
headings() {
    sed -n 's/^\(#\{1,3\}\) \+//p' "$@" | sed 's/[`*_]//g; s/[[:space:]]\+/ /g; s/ $//'
}
flat() { tr -s '[:space:]' ' '; }

chapters=
while [ $# -gt 0 ]; do
    folder=$1 pdf=$2
    shift 2
    [ -s "$pdf" ] || fail "$pdf is missing or empty"
    files=("$folder"/*.md)
    names=$(cd "$folder" && printf '%s\n' *.md)
    if [ -z "$chapters" ]; then
        chapters=$names
    elif [ "$names" != "$chapters" ]; then
        fail "$folder has other chapters than the first language: $(diff <(echo "$chapters") <(echo "$names") | grep '^[<>]' | tr '\n' ' ')"
    fi
    title=$(headings "${files[0]}" | head -n 1)
    first_page=$("$pdftotext" -l 1 "$pdf" - | flat)
    [[ "$first_page" == *"$title"* ]] || fail "$pdf: the first page lacks the title \"$title\""
    text=$("$pdftotext" "$pdf" - | flat)
    while IFS= read -r heading; do
        [[ "$text" == *"$heading"* ]] || fail "$pdf lacks the heading \"$heading\""
    done < <(headings "${files[@]}")
    echo "$pdf: $(headings "${files[@]}" | wc -l) headings found"
done
