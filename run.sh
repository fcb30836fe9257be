#!/usr/bin/env bash
# Installs what is missing (Qt, the CJK font the Chinese texts need, ...),
# builds, and starts the tool.
#   ./run.sh         a simulated fleet (16 devices of our own protocol, 4
#                    ONVIF devices) and the tool, both on loopback only
#                    (VOSK_INTERFACES=lo); the fleet stops when the tool exits
#   ./run.sh --lan   only the tool, on every interface, for a real network
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_packages
build_demo

bin="$VOSKTOOL_BUILD/bin"
if [ ! -x "$bin/vosktool" ]; then
    echo "error: $bin/vosktool was not built" >&2
    exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "error: no display. Start one (e.g. Xvfb :1 & DISPLAY=:1 ./run.sh)," >&2
    echo "       or render a picture with scripts/screenshot.sh." >&2
    exit 1
fi

if [ "${1:-}" = "--lan" ]; then
    # Every interface, unless VOSK_INTERFACES already names some.
    exec "$bin/vosktool"
fi

export VOSK_INTERFACES=lo
sim_pid=
stop_fleet() {
    if [ -n "$sim_pid" ]; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap stop_fleet EXIT
state="${XDG_STATE_HOME:-$HOME/.local/state}/vosktool/devsim-demo.json"
mkdir -p "$(dirname "$state")"
start_demo_fleet "$bin" "$state"
sim_pid=$demo_fleet_pid

status=0
"$bin/vosktool" || status=$?
exit "$status"
