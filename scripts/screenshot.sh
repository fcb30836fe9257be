#!/usr/bin/env bash
# Renders docs/screenshots/main-window.png: the main window listing the demo
# fleet of ./run.sh (16 simulated devices of our own protocol and 4 ONVIF
# devices), on a virtual display (Xvfb). Everything runs in a private
# network namespace, and the simulator and the tool talk over loopback only
# (VOSK_INTERFACES=lo).
#   scripts/screenshot.sh [OUT.png] [Setup.xml]
# A Setup.xml other than the default (e.g. Translator 1 for Chinese) is used
# for this run only.
set -euo pipefail
source "$(dirname "$0")/common.sh"

if [ -z "${VOSKTOOL_PRIVATE_NETNS:-}" ]; then
    install_packages
    build_project
fi
enter_private_netns "$@"

out="${1:-$VOSKTOOL_ROOT/docs/screenshots/main-window.png}"
setup="${2:-}"
bin="$VOSKTOOL_BUILD/bin"
grab="$VOSKTOOL_BUILD/buildtools/vosk-screengrab"
display=":${SCREENSHOT_DISPLAY:-97}"
settle="${SCREENSHOT_SETTLE:-6}"

work="$(mktemp -d)"
chmod 700 "$work"
cleanup() {
    stop_background
    if [ -f "$work/Setup.xml.saved" ]; then
        mv -f "$work/Setup.xml.saved" "$bin/Setup.xml"
    fi
    if [ -f "$work/MainWindow.ini.saved" ]; then
        mv -f "$work/MainWindow.ini.saved" "$bin/MainWindow.ini"
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# The window as at a first start: a size kept by an earlier run is put
# aside for this one.
if [ -f "$bin/MainWindow.ini" ]; then
    mv -f "$bin/MainWindow.ini" "$work/MainWindow.ini.saved"
fi

if [ -n "$setup" ]; then
    cp "$bin/Setup.xml" "$work/Setup.xml.saved"
    cp "$setup" "$bin/Setup.xml"
fi

# 1280 x 800 (a common laptop screen): the window opens 768 high with the
# screen's aspect, 1228 x 768, at the top-left corner, and only the window
# is saved.
screen="${SCREENSHOT_SCREEN:-1280x800}"
read -r sw sh < <(echo "${screen/x/ }")
window="$(( sw * 768 / sh ))x768"
Xvfb "$display" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
bg_pids+=($!)
sleep 1

export VOSK_INTERFACES=lo
start_demo_fleet "$bin" "$work/devsim.json" >/dev/null
bg_pids+=("$demo_fleet_pid")

# A private runtime folder: a tool the user runs must not make this one
# refuse to start as a second instance.
DISPLAY="$display" XDG_RUNTIME_DIR="$work" "$bin/vosktool" >"$work/tool.log" 2>&1 &
bg_pids+=($!)
sleep "$settle"

mkdir -p "$(dirname "$out")"
DISPLAY="$display" "$grab" "$out" "$window"
echo "wrote $out"
