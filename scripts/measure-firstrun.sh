#!/usr/bin/env bash
# Times a cold first run of ./run.sh: a fresh build folder and no compiler
# cache, from the start until the main window is on a virtual display
# (Xvfb); then ends the tool, which ends the fleet. Prints the wall time,
# the processor time of the build, and the load of the machine meanwhile
# (a shared machine's figure is only as good as its quiet).
#   scripts/measure-firstrun.sh [BUILD_DIR]
# BUILD_DIR (default: a temporary folder, removed afterwards) is kept; a
# folder that holds a build already gives a warm figure, said so.
# Everything runs in a private network namespace with only loopback up, so
# neither the tool nor the simulator can reach a network, and with a home
# and runtime folder of its own (no clash with a tool the user runs).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

if [ "${VOSKTOOL_MEASURE_NETNS:-}" != 1 ]; then
    unshare_args=(--net)
    [ "$(id -u)" -eq 0 ] || unshare_args+=(--map-root-user)
    exec unshare "${unshare_args[@]}" -- env VOSKTOOL_MEASURE_NETNS=1 bash "$0" "$@"
fi
ip link set lo up

work=$(mktemp -d "${TMPDIR:-/tmp}/vosktool-firstrun.XXXXXX")
chmod 700 "$work"
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
xvfb_pid=
run_pid=
cleanup() {
    local pid
    if [ -n "$run_pid" ]; then
        # run.sh waits for the tool in the foreground: end the tool (its
        # own child), and run.sh's trap ends the fleet.
        for pid in $(pgrep -P "$run_pid" 2>/dev/null); do
            kill -TERM "$pid" 2>/dev/null || true
        done
        wait "$run_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill -TERM "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

display=
for n in $(seq 140 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
        display=":$n"
        break
    fi
done
[ -n "$display" ] || { echo "error: no free display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
until xwininfo -display "$display" -root >/dev/null 2>&1; do
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "error: Xvfb did not start" >&2; exit 1; }
    sleep 0.2
done

build="${1:-$work/build}"
if [ -e "$build/CMakeCache.txt" ]; then
    echo "note: $build holds a build already: not a cold first run" >&2
fi

read -r load_before _ < /proc/loadavg
start=$(date +%s.%N)
env CCACHE_DISABLE=1 VOSKTOOL_BUILD="$build" DISPLAY="$display" HOME="$work/home" \
    XDG_RUNTIME_DIR="$work/run" XDG_STATE_HOME="$work/home/state" XDG_CONFIG_HOME="$work/home/config" \
    "$root/run.sh" >"$work/run.log" 2>&1 &
run_pid=$!
# The main window: a top-level window of the program's class, mapped.
window_up() {
    local id
    for id in $(xwininfo -display "$display" -root -children 2>/dev/null \
                | awk '/\("vosktool" "VOSKTool"\)/ { print $1 }'); do
        xwininfo -display "$display" -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && return 0
    done
    return 1
}
until window_up; do
    if ! kill -0 "$run_pid" 2>/dev/null; then
        cat "$work/run.log" >&2
        echo "error: run.sh ended before its window appeared" >&2
        exit 1
    fi
    sleep 0.5
done
end=$(date +%s.%N)
read -r load_after _ < /proc/loadavg
# Processor time of what run.sh has waited for (configure and build).
read -r -a stat < "/proc/$run_pid/stat"
ticks=$(getconf CLK_TCK)
cpu=$(( (stat[15] + stat[16]) / ticks ))
steps=$(grep -c '^\[[0-9]*/[0-9]*\]' "$work/run.log" || true)

printf 'window after %.0f s; build steps %s; build processor time %d s on %d cores; load %s -> %s\n' \
    "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$steps" "$cpu" "$(nproc)" "$load_before" "$load_after"
