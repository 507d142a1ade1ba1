#!/usr/bin/env bash
# Installs a build tree into a temporary root, as the package would, and checks it.
# Usage: check_install.sh CMAKE BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root "$1" --install "$2" --prefix /usr >/dev/null
"$here/check_tree.sh" "$root"
