#!/usr/bin/env bash
# The project's own folders pass scripts/check-layers, and a copy with an upward include and a
# widget header in the core fails it with both named.
set -euo pipefail
source_dir="$1"
"$source_dir/scripts/check-layers" "$source_dir/src"

copy="$(mktemp -d)"
trap 'rm -rf "$copy"' EXIT
cp -r "$source_dir/src/." "$copy/"
echo '#include "app/MainWindow.h"' >>"$copy/link/CommandExchange.cpp"
echo '#include <QWidget>' >>"$copy/ticket/TicketSlots.cpp"
if output="$("$source_dir/scripts/check-layers" "$copy")"; then
    echo "check-layers passed a copy with seeded faults"
    exit 1
fi
grep -q 'link may not include app' <<<"$output" || { echo "upward include not named"; exit 1; }
grep -q 'ticket is core code' <<<"$output" || { echo "widget header not named"; exit 1; }
echo "check-layers catches both seeded faults"
