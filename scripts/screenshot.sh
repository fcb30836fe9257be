#!/usr/bin/env bash
# Renders docs/screenshots/main-window.png: the main window listing the demo
# fleet of 16 simulated devices, on a virtual display (Xvfb). The simulator
# and the tool both talk over loopback only (VOSK_INTERFACES=lo).
#   scripts/screenshot.sh [OUT.png] [Setup.xml]
# A Setup.xml other than the default (e.g. Translator 1 for Chinese) is used
# for this run only.
set -euo pipefail
source "$(dirname "$0")/common.sh"

install_packages
build_project

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
    rm -rf "$work"
}
trap cleanup EXIT

if [ -n "$setup" ]; then
    cp "$bin/Setup.xml" "$work/Setup.xml.saved"
    cp "$setup" "$bin/Setup.xml"
fi

# 1366 x 768: the window takes the whole screen (768 high, same aspect).
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
bg_pids+=($!)
sleep 1

export VOSK_INTERFACES=lo
"$bin/vosk-devsim" --count 16 --seed 1 --interfaces lo --state "$work/devsim.json" >/dev/null &
bg_pids+=($!)

# A private runtime folder: a tool the user runs must not make this one
# refuse to start as a second instance.
DISPLAY="$display" XDG_RUNTIME_DIR="$work" "$bin/vosktool" >"$work/tool.log" 2>&1 &
bg_pids+=($!)
sleep "$settle"

mkdir -p "$(dirname "$out")"
DISPLAY="$display" "$grab" "$out"
echo "wrote $out"
