#!/usr/bin/env bash
# Checks an installed tree ROOT (holding usr/...): every file in place, the desktop entry and the
# metainfo valid, the program starting and writing its settings where they belong, the simulator
# serving TCP. Usage: check_tree.sh ROOT
set -euo pipefail

root=$(cd "$1" && pwd)
usr=$root/usr
id=io.github.talvor.TicketTalvor
work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

for file in bin/ticket-talvor bin/ticket-talvor-cli bin/ticket-talvor-indicator-sim; do
    [ -x "$usr/$file" ] || fail "/usr/$file is missing or not executable"
done
[ ! -e "$usr/bin/indicator-sim" ] || fail "the simulator is installed under its build-tree name"
desktop=$usr/share/applications/$id.desktop
metainfo=$usr/share/metainfo/$id.metainfo.xml
[ -f "$desktop" ] || fail "no $desktop"
[ -f "$metainfo" ] || fail "no $metainfo"

# Each icon must be as large as the folder it lies in says: bytes 16..23 of a PNG are its
# width and height.
for size in 16 24 32 48 64 128 256; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -f "$icon" ] || fail "no $icon"
    read -r w3 w2 w1 w0 h3 h2 h1 h0 < <(od -An -tu1 -j16 -N8 "$icon")
    w=$(((w3 << 24) | (w2 << 16) | (w1 << 8) | w0))
    h=$(((h3 << 24) | (h2 << 16) | (h1 << 8) | h0))
    [ "$w" -eq "$size" ] && [ "$h" -eq "$size" ] || fail "$icon is ${w}x${h}, not ${size}x${size}"
done

# The documents: the manuals the Help window names, the machine-readable licence, the changelog
# and the window program's manual page, compressed as Debian wants (no name, no time: FLG and
# MTIME, bytes 3 to 7, all zero).
doc=$usr/share/doc/ticket-talvor
for pdf in "Help Help Programmable Ticket TALVOR.pdf" "Ayuda ticket programable TALVOR.pdf"; do
    [ "$(head -c 5 "$doc/$pdf" 2>/dev/null)" = "%PDF-" ] || fail "no PDF $doc/$pdf"
done
grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" \
    "$doc/copyright" || fail "$doc/copyright is missing or not machine-readable"
for gz in "$doc/changelog.gz" "$usr/share/man/man1/ticket-talvor.1.gz"; do
    gzip -t "$gz" 2>/dev/null || fail "$gz is missing or not gzip"
    [ "$(od -An -tu1 -j3 -N5 "$gz" | tr -d ' ')" = 00000 ] || fail "$gz keeps a name or a time"
done

desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -qx "Exec=ticket-talvor" "$desktop" || fail "the menu entry does not start ticket-talvor"
grep -qx "Icon=$id" "$desktop" || fail "the menu entry's icon is not $id"
# The validator only hints at a missing main category, but menus file such entries nowhere.
grep -Eq "^Categories=(.*;)?(Utility|Development);" "$desktop" || fail "no main menu category"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "the metainfo does not launch $id.desktop"
# Software centres show the licence, and the Spanish texts on a Spanish desktop.
grep -q "<project_license>MIT</project_license>" "$metainfo" || fail "the metainfo names no licence"
grep -q '<summary xml:lang="es">' "$metainfo" || fail "the metainfo has no Spanish summary"
grep -q '^Comment\[es\]=' "$desktop" || fail "the menu entry has no Spanish comment"

# Waits up to 15 s for a file to appear; the program writes its settings at start-up.
wait_for() {
    local i
    for ((i = 0; i < 150; i++)); do
        [ -s "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# Starts the installed program with a fresh configuration folder and stops it once its settings
# file shows up where expected. Usage: start_program CONFIG_HOME EXPECTED_FILE
start_program() {
    XDG_CONFIG_HOME=$1 QT_QPA_PLATFORM=offscreen timeout 30 "$usr/bin/ticket-talvor" \
        >"$work/program.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    if ! wait_for "$2"; then
        cat "$work/program.log" >&2
        fail "ticket-talvor wrote no $2"
    fi
    kill -0 "$pid" 2>/dev/null || fail "ticket-talvor stopped on its own"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    grep -q "^Commbaud= 2" "$2" || fail "$2 lacks the rate written at first start"
}

# No file beside the program: the settings go to the user's folder, which is created.
start_program "$work/config" "$work/config/TicketTalvor/TicketTalvor.ini"
[ ! -e "$usr/bin/TicketTalvor.ini" ] || fail "settings written beside the installed program"

# A writable file beside the program is a portable copy and is used instead.
: >"$usr/bin/TicketTalvor.ini"
start_program "$work/config2" "$usr/bin/TicketTalvor.ini"
rm -f "$usr/bin/TicketTalvor.ini"
[ ! -e "$work/config2/TicketTalvor/TicketTalvor.ini" ] || fail "portable copy ignored"

sim=$usr/bin/ticket-talvor-indicator-sim
"$sim" --help >"$work/help.txt" || fail "ticket-talvor-indicator-sim --help"
grep -q -- "--tcp PORT" "$work/help.txt" || fail "the simulator's help lacks --tcp"
[ "$(head -n 1 "$work/help.txt")" = "Usage: ticket-talvor-indicator-sim [options]" ] \
    || fail "the simulator's help names another program: $(head -n 1 "$work/help.txt")"

"$sim" --tcp 0 >"$work/sim.out" 2>"$work/sim.err" &
pids+=("$!")
wait_for "$work/sim.out" || fail "the simulator printed no port: $(cat "$work/sim.err")"
port=$(sed -n 's/^tcp \([0-9][0-9]*\)$/\1/p' "$work/sim.out")
[ -n "$port" ] || fail "unexpected simulator output: $(cat "$work/sim.out")"
exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "the simulator does not accept on port $port"
exec 3>&-

# The command-line program runs without a display and reads the simulator's answers.
cli=$usr/bin/ticket-talvor-cli
env -u DISPLAY -u WAYLAND_DISPLAY "$cli" --help >"$work/cli-help.txt" || fail "ticket-talvor-cli --help"
grep -q "^  fleet " "$work/cli-help.txt" || fail "the command-line help lacks the fleet command"
env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/cli-config" \
    "$cli" query --port "tcp:127.0.0.1:$port" >"$work/cli-query.txt" 2>"$work/cli-query.err" \
    || fail "ticket-talvor-cli query: $(cat "$work/cli-query.err")"
grep -q "^Serial-Number: 12345" "$work/cli-query.txt" || fail "unexpected query output: $(cat "$work/cli-query.txt")"

echo "installed tree OK: $root"
