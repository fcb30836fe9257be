#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool.
#   ./run.sh         a simulated fleet of 16 devices and the tool, both on
#                    loopback only (VOSK_INTERFACES=lo)
#   ./run.sh --lan   only the tool, on every interface, for a real network
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_packages
build_project

bin="$VOSKTOOL_BUILD/bin"
if [ "${1:-}" = "--lan" ]; then
    exec "$bin/vosktool"
fi

export VOSK_INTERFACES=lo
sim_pid=
if [ -x "$bin/vosk-devsim" ]; then
    state="${XDG_STATE_HOME:-$HOME/.local/state}/vosktool/devsim-demo.json"
    mkdir -p "$(dirname "$state")"
    "$bin/vosk-devsim" --count 16 --seed 1 --interfaces lo --state "$state" &
    sim_pid=$!
    trap '[ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT
fi
if [ -x "$bin/vosktool" ]; then
    "$bin/vosktool"
else
    echo "The tool itself is not built yet (app/ is missing)." >&2
    exit 1
fi
