# Sourced by scripts/test and scripts/run: makes sure Debian's packages for the build are there.
# desktop-file-utils and appstream validate the installed menu entry and metainfo (a test).
# qt6-tools-dev and qt6-l10n-tools (lupdate, lrelease) build the Spanish translation;
# qt6-translations-l10n holds Qt's own Spanish texts, which the program embeds.
TALVOR_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools
                 qt6-serialport-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libgl-dev
                 fonts-liberation desktop-file-utils appstream)
# scripts/test needs ser2net: the serial device server that the RFC 2217 channel's tests run
# in front of the simulated indicator; and poppler-utils, whose pdftotext reads the built
# manuals back.
TALVOR_TEST_PACKAGES=(ser2net poppler-utils)
# scripts/package needs dpkg-shlibdeps to compute the package's dependencies, help2man for the
# manual pages of the command line and the simulator, and lintian to check the package.
TALVOR_DEB_PACKAGES=(dpkg-dev help2man lintian)
# scripts/fuzz needs clang and its runtime, which holds libFuzzer and the sanitizers.
TALVOR_FUZZ_PACKAGES=(clang libclang-rt-14-dev)

talvor_missing_packages() {
    local missing=() pkg
    for pkg in "${TALVOR_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$pkg")
    done
    echo "${missing[@]}"
}

# Installs what is missing when root; otherwise prints the line to run and stops.
talvor_ensure_packages() {
    local missing
    missing=$(talvor_missing_packages "$@")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: $missing"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
    else
        echo "Missing packages. Run this, then start again:"
        echo "  sudo apt-get install -y $missing"
        exit 1
    fi
}

# Configures and builds a preset; CI turns warnings into errors.
talvor_build() {
    local preset=$1
    local werror=OFF
    [ -n "${CI:-}" ] && werror=ON
    cmake --preset "$preset" -DTALVOR_WERROR=$werror >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}
