#!/usr/bin/env bash
# Builds Velmora and starts it in the directory this script is called from, which is where
# it keeps Group.dat and Setting.ini. Arguments are passed on to the program (--help,
# --version).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build/release"

# The window needs a display (X11 or Wayland, unless Qt is told of another platform, such as
# offscreen); say so before minutes of building. With arguments (--help, --version) the
# program opens no window.
# Qt tries the platforms QT_QPA_PLATFORM names in turn; only X11 (xcb) ones need DISPLAY.
only_x11='^([[:space:]]*(xcb([[:space:]]*:[^;]*)?)?[[:space:]]*(;|$))*$'
if (($# == 0)) && [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]] &&
    [[ "${QT_QPA_PLATFORM:-}" =~ $only_x11 ]]; then
    echo "error: no display for Velmora's window (DISPLAY is not set): run this in a terminal" \
        "of your desktop session, or log in with ssh -X" >&2
    exit 1
fi

"$repo/scripts/install-deps.sh"

# Progress goes to stderr so that the program's own output stays apart.
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >&2
cmake --build "$build" --target velmora >&2

exec "$build/velmora" "$@"
