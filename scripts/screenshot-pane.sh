#!/usr/bin/env bash
# Renders docs/screenshots/pane-modify.png, pane-activate.png,
# pane-batch-result.png, pane-password.png, onvif-table.png and
# pane-onvif.png (English) and their -zh variants (Chinese): the right-hand
# pane for devices of the demo fleet of ./run.sh (16 simulated devices of
# our own protocol, 4 ONVIF devices signed in), and the table with its Protocol column and
# the ONVIF actions above it, on a virtual display (Xvfb). Everything runs in a
# private network namespace, and the simulator and the tool talk over
# loopback only (VOSK_INTERFACES=lo).
#   scripts/screenshot-pane.sh [OUT_DIR]
set -euo pipefail
source "$(dirname "$0")/common.sh"

if [ -z "${VOSKTOOL_PRIVATE_NETNS:-}" ]; then
    install_packages
    build_project
fi
enter_private_netns "$@"

out="${1:-$VOSKTOOL_ROOT/docs/screenshots}"
bin="$VOSKTOOL_BUILD/bin"
shot="$VOSKTOOL_BUILD/buildtools/vosk-paneshot"
display=":${SCREENSHOT_DISPLAY:-95}"

work="$(mktemp -d)"
chmod 700 "$work"
cleanup() {
    stop_background
    rm -rf "$work"
}
trap cleanup EXIT

# A 1280 x 800 screen: the window at its first-start size, 1228 x 768.
Xvfb "$display" -screen 0 "${SCREENSHOT_SCREEN:-1280x800}x24" -nolisten tcp >/dev/null 2>&1 &
bg_pids+=($!)
sleep 1

mkdir -p "$out"
export VOSK_INTERFACES=lo
# One program folder per language: its Setup.xml chooses the translation.
for lang in en zh; do
    dir="$work/$lang"
    mkdir -p "$dir"
    ln -s "$bin/translations" "$dir/translations"
    ln -s "$bin/plugins" "$dir/plugins"
    # A new user's column order: the copy a first start takes.
    cp "$bin/ColumnConfig.xml" "$dir/ColumnConfig.xml"
    value=0
    suffix=""
    if [ "$lang" = zh ]; then
        value=1
        suffix="-zh"
    fi
    sed "/<Translator>/,/<\/Translator>/ s|<Value>[0-9]*</Value>|<Value>$value</Value>|" \
        "$bin/Setup.xml" >"$dir/Setup.xml"
    # A fresh fleet for each language, so that both show the same devices.
    start_demo_fleet "$bin" "$work/devsim-$lang.json" >/dev/null
    sim=$demo_fleet_pid
    bg_pids+=("$sim")
    # A private runtime folder: a tool the user runs must not make this one
    # refuse to start as a second instance.
    DISPLAY="$display" XDG_RUNTIME_DIR="$work" "$shot" "$dir" \
        "$out/pane-modify$suffix.png" "$out/pane-activate$suffix.png" "$out/pane-batch-result$suffix.png" \
        "$out/pane-password$suffix.png" --onvif "$out/onvif-table$suffix.png" "$out/pane-onvif$suffix.png"
    kill -TERM "$sim"
    wait "$sim" 2>/dev/null || true
    echo "wrote $out/pane-*$suffix.png"
done
