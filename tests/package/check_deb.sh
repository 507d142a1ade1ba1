#!/usr/bin/env bash
# Checks the Debian package: its fields, that everything lies under /usr and that the programs
# are stripped, then unpacks it and checks the tree. Usage: check_deb.sh DEB VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deb=$1
version=$2
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ticket-talvor ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# Computed from the programs' libraries, so the Qt libraries they link must be named.
for lib in libc6 libqt6core6 libqt6widgets6 libqt6serialport6 libqt6network6; do
    [[ ",$depends," =~ [,\ ]$lib[\ ,\(] ]] || fail "Depends lacks $lib: $depends"
done

outside=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./$' | grep -v '^\./usr/' || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for program in "$root"/usr/bin/*; do
    if readelf -S "$program" | grep -q '\.debug_info'; then
        fail "$program is not stripped"
    fi
done
"$here/check_tree.sh" "$root"

# What a distribution asks of a package beyond the tree: every program's manual page, the
# changelog's newest entry for this very version, the command line's page with a section for
# each command its overview lists, and no error from lintian.
for page in ticket-talvor ticket-talvor-cli ticket-talvor-indicator-sim; do
    [ -s "$root/usr/share/man/man1/$page.1.gz" ] || fail "no manual page for $page"
done
zcat "$root/usr/share/doc/ticket-talvor/changelog.gz" >"$root/changelog.check"
changelog_version=$(dpkg-parsechangelog -l "$root/changelog.check" -S Version)
[ "$changelog_version" = "$version" ] || fail "the changelog's newest entry is $changelog_version"
commands=$("$root/usr/bin/ticket-talvor-cli" --help |
    awk '/^Commands:/ { on = 1; next } on && /^$/ { exit } on && /^  [a-z]/ { print $1 }')
for command in $commands; do
    [ "$command" = help ] && continue
    zcat "$root/usr/share/man/man1/ticket-talvor-cli.1.gz" | grep -qx "\.SS $command" \
        || fail "the manual page of ticket-talvor-cli lacks the command $command"
done
lintian --fail-on error "$deb" || fail "lintian found errors"
echo "package OK: $deb"
echo "Depends: $depends"
