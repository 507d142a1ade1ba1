#!/usr/bin/env bash
# The Spanish .ts is what lupdate makes of the sources, every entry translated: run over the
# sources into a copy of it, lupdate finds no text the .ts lacks (a new or changed text comes in
# unfinished), leaves no entry whose text the sources no longer have (vanished or obsolete), and
# changes nothing else. Then the same check on a copy of the sources with one new text must fail.
# check_translations.sh LUPDATE SOURCES_LIST INCLUDE_DIR TS_FILE [LUPDATE_OPTION...]
set -euo pipefail
lupdate=$1 sources=$2 include=$3 ts=$4
shift 4
options=("$@")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# check LIST: prints what is at fault; fails when anything is.
check() {
    cp "$ts" "$work/check.ts"
    "$lupdate" -silent "${options[@]}" -I "$include" "@$1" -ts "$work/check.ts" >/dev/null
    local status=0
    if grep -n -B3 -E 'type="(unfinished|vanished|obsolete)"' "$work/check.ts"; then
        echo "entries above are untranslated or no longer in the sources"
        status=1
    fi
    if grep -n -B2 '<translation></translation>' "$work/check.ts"; then
        echo "entries above have an empty translation"
        status=1
    fi
    if ! diff -u "$ts" "$work/check.ts"; then
        echo "$ts is not what lupdate makes of the sources"
        status=1
    fi
    if [[ $status -ne 0 ]]; then
        echo "translate the texts: build the target update_translations, then edit $ts"
    fi
    return $status
}
check "$sources"

# A copy of the sources with a text no one has translated yet.
mkdir -p "$work/src"
cp -r "$include/." "$work/src/"
sed "s|^$include/|$work/src/|" "$sources" >"$work/sources.lst"
echo 'QString seeded() { return QCoreApplication::translate("MainWindow", "Seeded text"); }' \
    >>"$work/src/app/MainWindow.cpp"
if output="$(check "$work/sources.lst")"; then
    echo "the check passed sources with a text the .ts lacks"
    exit 1
fi
grep -q 'Seeded text' <<<"$output" || { echo "the untranslated text was not named"; exit 1; }
echo "every text is translated, and a new one is caught"
