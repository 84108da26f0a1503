#!/usr/bin/env bash
# Builds Velmora and starts it in the directory this script is called from, which is where
# it keeps Group.dat and Setting.ini. Arguments are passed on to the program.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build/release"

"$repo/scripts/install-deps.sh"

# Progress goes to stderr so that the program's own output stays apart.
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >&2
cmake --build "$build" --target velmora >&2

exec "$build/velmora" "$@"
