#!/usr/bin/env bash
# Renders docs/screenshots/reset-dialog.png and restore-dialog.png: the two
# password-recovery dialogs for devices of the demo fleet (16 simulated
# devices, seed 1), on a virtual display (Xvfb). The simulator and the
# dialogs talk over loopback only (VOSK_INTERFACES=lo).
#   scripts/screenshot-recovery.sh [RESET.png RESTORE.png]
set -euo pipefail
source "$(dirname "$0")/common.sh"

install_packages
build_project

reset_out="${1:-$VOSKTOOL_ROOT/docs/screenshots/reset-dialog.png}"
restore_out="${2:-$VOSKTOOL_ROOT/docs/screenshots/restore-dialog.png}"
bin="$VOSKTOOL_BUILD/bin"
shot="$VOSKTOOL_BUILD/buildtools/vosk-recoveryshot"
display=":${SCREENSHOT_DISPLAY:-96}"

work="$(mktemp -d)"
chmod 700 "$work"
cleanup() {
    stop_background
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
bg_pids+=($!)
sleep 1

export VOSK_INTERFACES=lo
"$bin/vosk-devsim" --count 16 --seed 1 --interfaces lo --state "$work/devsim.json" >/dev/null &
bg_pids+=($!)

mkdir -p "$(dirname "$reset_out")" "$(dirname "$restore_out")"
# A private runtime folder: a tool the user runs must not make this one
# refuse to start as a second instance.
DISPLAY="$display" XDG_RUNTIME_DIR="$work" "$shot" "$bin" "$reset_out" "$restore_out"
echo "wrote $reset_out and $restore_out"
