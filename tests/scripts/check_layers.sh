#!/usr/bin/env bash
# The project's own folders pass scripts/check-layers, and a copy with an upward include and
# widget headers in the core fails it with each named: any header of the QtWidgets module.
set -euo pipefail
source_dir="$1"
"$source_dir/scripts/check-layers" "$source_dir/src"

copy="$(mktemp -d)"
trap 'rm -rf "$copy"' EXIT
cp -r "$source_dir/src/." "$copy/"
echo '#include "app/MainWindow.h"' >>"$copy/link/CommandExchange.cpp"
echo '#include <QWidget>' >>"$copy/ticket/TicketSlots.cpp"
echo '#include <QComboBox>' >>"$copy/link/IndicatorQuery.h"
echo '#include <QtWidgets/QMenu>' >>"$copy/session/ChannelManager.cpp"
if output="$("$source_dir/scripts/check-layers" "$copy")"; then
    echo "check-layers passed a copy with seeded faults"
    exit 1
fi
grep -q 'link may not include app' <<<"$output" || { echo "upward include not named"; exit 1; }
grep -q 'ticket is core code' <<<"$output" || { echo "QWidget not named"; exit 1; }
grep -q 'IndicatorQuery.h:.*QComboBox' <<<"$output" || { echo "QComboBox not named"; exit 1; }
grep -q 'ChannelManager.cpp:.*QMenu' <<<"$output" || { echo "QtWidgets/QMenu not named"; exit 1; }
echo "check-layers catches every seeded fault"
