#!/usr/bin/env bash
# Builds the Debian package of Velmora into build/package/ and prints its path.
# Install it with: apt install ./build/package/velmora_<version>_<arch>.deb
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build/package"

"$repo/scripts/install-deps.sh" --package

# The compiler and linker flags of a Debian build, hardening included.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxx_flags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
linker_flags="$(dpkg-buildflags --get LDFLAGS)"

# Progress goes to stderr, so that the package's path is all that stdout gets.
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$cxx_flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$linker_flags" >&2
cmake --build "$build" >&2
rm -f "$build"/velmora_*.deb
(cd "$build" && cpack -G DEB >&2)
ls "$build"/velmora_*.deb
