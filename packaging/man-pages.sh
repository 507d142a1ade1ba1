#!/usr/bin/env bash
# Writes the manual pages of the command-line program and the simulator from their own help
# texts with help2man, gzipped as Debian installs them. The command line's page takes every
# command its overview lists, each with the options its own help gives.
# Usage: man-pages.sh HELP2MAN CLI SIM VERSION RELEASE_DATE OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
help2man=$1 cli=$2 sim=$3 version=$4 release_date=$5 out=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The pages carry the release's month, not the build's.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date -u -d "$release_date" +%s)}

# The programs under their installed names, which their help texts and the pages then show.
ln -s "$(realpath "$cli")" "$work/ticket-talvor-cli"
ln -s "$(realpath "$sim")" "$work/ticket-talvor-indicator-sim"
cli=$work/ticket-talvor-cli

# Roff for text shown as it stands: backslashes doubled, a leading '.' or "'" made plain text.
verbatim() { sed 's/\\/\\e/g; s/^[.'\'']/\\\&&/; s/-/\\-/g'; }

# The overview lists the commands, two blanks in, until the first empty line ("help CMD" is
# how to reach these texts, no command of its own).
commands=$("$cli" --help | awk '/^Commands:/ { on = 1; next }
                                on && /^$/ { exit }
                                on && /^  [a-z]/ { print $1 }' | grep -vx help)
[ -n "$commands" ] || { echo "man-pages.sh: no command found in '$cli --help'" >&2; exit 1; }

{
    echo "[COMMANDS]"
    for command in $commands; do
        echo ".SS $command"
        # The usage lines as they stand; help2man makes roff of the rest of the command's help,
        # read through a stand-in program that prints it without them.
        echo ".nf"
        "$cli" help "$command" | sed '/^$/q' | sed '$d' | sed 's/^Usage: //' | verbatim
        echo ".fi"
        echo ".PP"
        printf '#!/bin/sh\n"%s" help %s | sed "1,/^\\$/d"\n' "$cli" "$command" >"$work/$command"
        chmod +x "$work/$command"
        "$help2man" --no-info --version-string="$version" --name=- "$work/$command" |
            sed '1,/^\.SH DESCRIPTION/d'
    done
    cat "$here/ticket-talvor-cli.h2m"
} >"$work/cli.h2m"

"$help2man" --no-info --section=1 \
    --name="download ticket templates into weighing indicators" \
    --include="$work/cli.h2m" --output="$work/ticket-talvor-cli.1" "$cli"
"$help2man" --no-info --section=1 --version-string="$version" \
    --name="stand-in weighing indicator for trials without the hardware" \
    --include="$here/ticket-talvor-indicator-sim.h2m" \
    --output="$work/ticket-talvor-indicator-sim.1" "$work/ticket-talvor-indicator-sim"

mkdir -p "$out"
for page in ticket-talvor-cli ticket-talvor-indicator-sim; do
    gzip -n -9 -c "$work/$page.1" >"$out/$page.1.gz"
done
