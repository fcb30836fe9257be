#!/usr/bin/env bash
# Renders docs/screenshots/pane-modify.png, pane-activate.png,
# pane-batch-result.png and pane-password.png (English) and their -zh
# variants (Chinese): the right-hand pane for devices of the demo fleet (16 simulated devices,
# seed 1), on a virtual display (Xvfb). The simulator and the tool talk
# over loopback only (VOSK_INTERFACES=lo).
#   scripts/screenshot-pane.sh [OUT_DIR]
set -euo pipefail
source "$(dirname "$0")/common.sh"

install_packages
build_project

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
    value=0
    suffix=""
    if [ "$lang" = zh ]; then
        value=1
        suffix="-zh"
    fi
    sed "/<Translator>/,/<\/Translator>/ s|<Value>[0-9]*</Value>|<Value>$value</Value>|" \
        "$bin/Setup.xml" >"$dir/Setup.xml"
    # A fresh fleet for each language, so that both show the same devices.
    "$bin/vosk-devsim" --count 16 --seed 1 --interfaces lo --state "$work/devsim-$lang.json" >/dev/null &
    sim=$!
    bg_pids+=($sim)
    # A private runtime folder: a tool the user runs must not make this one
    # refuse to start as a second instance.
    DISPLAY="$display" XDG_RUNTIME_DIR="$work" "$shot" "$dir" \
        "$out/pane-modify$suffix.png" "$out/pane-activate$suffix.png" "$out/pane-batch-result$suffix.png" \
        "$out/pane-password$suffix.png"
    kill -TERM "$sim"
    wait "$sim" 2>/dev/null || true
    echo "wrote $out/pane-*$suffix.png"
done
