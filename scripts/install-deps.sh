#!/usr/bin/env bash
# Installs the Debian packages Velmora needs that are not installed yet.
#   scripts/install-deps.sh          what building and running needs
#   scripts/install-deps.sh --test   that, plus what the tests and the benchmark need
#   scripts/install-deps.sh --package  that, plus what building the Debian package needs
#                                      (--test includes it: a test checks the package)
#   scripts/install-deps.sh --fuzz   that, plus what the fuzz targets need
set -euo pipefail

build_packages=(
    cmake
    ninja-build
    g++
    # Qt's Widgets, D-Bus (desktop notifications) and Test modules.
    qt6-base-dev
    # Qt6Gui's CMake package refuses to load without the OpenGL headers and libraries.
    libgl-dev
    libcurl4-openssl-dev
    # libcurl checks https pages against these.
    ca-certificates
    # Without a Japanese font the menus and dialogs show empty boxes.
    fonts-ipafont-gothic
)

test_packages=(
    # The end-to-end test runs the real program on a virtual X display.
    xvfb
    xauth
    # The end-to-end test clicks, types and looks at windows through these.
    xdotool
    x11-utils
    imagemagick
    # scripts/make-pictures.sh renders the application icon from its SVG with rsvg-convert.
    librsvg2-bin
    # The package test checks the menu entry, the AppStream data and the .deb with these.
    desktop-file-utils
    appstream
    lintian
    # The package test asks fc-list which fonts draw the Japanese menus.
    fontconfig
    # CI checks that the C++ files are laid out as .clang-format says.
    clang-format
    # A real web server for the access check's tests, over HTTP and over TLS with HTTP/2, and
    # for the check cycle benchmark.
    nginx-light
    # The tests make their own certificate authority and server certificate.
    openssl
    # The notification test runs a private session bus with a stand-in notification service.
    dbus-daemon
    # The screen reader test reads the program's accessible tree as a screen reader does: over
    # the accessibility bus that at-spi2-core starts, with Python's AT-SPI bindings.
    at-spi2-core
    python3-pyatspi
)

package_packages=(
    # CPack computes the package's dependencies with dpkg-shlibdeps and builds with dpkg-deb.
    dpkg-dev
    # CPack finds the executables to run dpkg-shlibdeps on with it.
    file
)

fuzz_packages=(
    # libFuzzer comes with clang; its runtime is only recommended, so named as well.
    clang
    libclang-rt-14-dev
)

usage() {
    echo "usage: $0 [--test] [--package] [--fuzz]" >&2
}

packages=("${build_packages[@]}")
for argument in "$@"; do
    case "$argument" in
        --test) packages+=("${test_packages[@]}" "${package_packages[@]}") ;;
        --package) packages+=("${package_packages[@]}") ;;
        --fuzz) packages+=("${fuzz_packages[@]}") ;;
        -h | --help) usage; exit 0 ;;
        *) usage; exit 2 ;;
    esac
done

is_installed() {
    [[ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" == installed ]]
}

missing=()
for package in "${packages[@]}"; do
    is_installed "$package" || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}" >&2

as_root=()
if ((EUID != 0)); then
    if command -v sudo >/dev/null 2>&1; then
        as_root=(sudo)
    else
        echo "error: these packages are missing and installing them needs root (no sudo found):" >&2
        echo "  apt-get install ${missing[*]}" >&2
        exit 1
    fi
fi

# Wait for another apt run rather than failing at once on its lock.
apt_options=(-o DPkg::Lock::Timeout=600)
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get "${apt_options[@]}" install -y --no-install-recommends "${missing[@]}"

still_missing=()
for package in "${missing[@]}"; do
    is_installed "$package" || still_missing+=("$package")
done
if ((${#still_missing[@]} > 0)); then
    echo "error: apt-get did not install: ${still_missing[*]}" >&2
    exit 1
fi
