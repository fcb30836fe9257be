# Shared by run.sh, test.sh and scripts/sanitize.sh: install what is missing,
# configure, build, run the suite.
# Sourced, not run.

VOSKTOOL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VOSKTOOL_BUILD="${VOSKTOOL_BUILD:-$VOSKTOOL_ROOT/build}"

# ccache keys objects by the paths in the compiler's command line. Made
# relative to the checkout, a second clone or worktree (CI's, say) reuses
# the objects of the first instead of compiling everything again.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$VOSKTOOL_ROOT}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "error: installing packages needs root or sudo: $*" >&2
        return 1
    fi
}

# Installs the Debian packages of scripts/packages.txt that are not there yet.
install_packages() {
    local wanted missing=()
    mapfile -t wanted < <(grep -v -E '^\s*(#|$)' "$VOSKTOOL_ROOT/scripts/packages.txt")
    for pkg in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -q
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
}

# Configures once; later calls only prepare a rebuild of what changed.
configure_project() {
    if [ ! -f "$VOSKTOOL_BUILD/CMakeCache.txt" ]; then
        cmake -S "$VOSKTOOL_ROOT" -B "$VOSKTOOL_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
    # Source lists are globbed. When files come or go, CMake re-globs, but
    # moc/uic keep their old dependency lists until their stamps go: drop
    # the stamps so a new form or Q_OBJECT header is processed.
    local list_sig
    list_sig=$(cd "$VOSKTOOL_ROOT" && { git ls-files -co --exclude-standard 2>/dev/null || find . -type f; } \
               | grep -E '\.(h|cpp|ui)$' | sort | md5sum | cut -d' ' -f1)
    if [ "$(cat "$VOSKTOOL_BUILD/.source-list" 2>/dev/null)" != "$list_sig" ]; then
        find "$VOSKTOOL_BUILD" -path '*_autogen/timestamp' -delete 2>/dev/null || true
    fi
    VOSKTOOL_LIST_SIG=$list_sig
}

# Configures once (further arguments go to that first cmake), then
# rebuilds everything that changed: programs, tests, benchmarks.
build_project() {
    configure_project "$@"
    cmake --build "$VOSKTOOL_BUILD" --parallel "$(nproc)"
    echo "$VOSKTOOL_LIST_SIG" > "$VOSKTOOL_BUILD/.source-list"
}

# Configures once, then builds only what ./run.sh starts (the program,
# its plug-ins, translations and manuals, the simulator and the reset
# service): a first run shows the window without waiting for the tests.
build_demo() {
    configure_project
    cmake --build "$VOSKTOOL_BUILD" --parallel "$(nproc)" --target vosktool_demo
    # The stamps are gone already; the targets left out regenerate theirs
    # when ./test.sh builds them.
    echo "$VOSKTOOL_LIST_SIG" > "$VOSKTOOL_BUILD/.source-list"
}

# Installs the npm packages of the test oracles (tests/onvif-oracle: an
# independent ONVIF client) into BUILD/onvif-oracle with npm ci, again only
# when the package files change. Without npm the tests that need them skip.
install_test_oracles() {
    local build="$1"
    local src="$VOSKTOOL_ROOT/tests/onvif-oracle"
    local dest="$build/onvif-oracle"
    if ! command -v npm >/dev/null 2>&1; then
        echo "warning: npm is missing; the ONVIF oracle tests will skip" >&2
        return 0
    fi
    local sum
    sum=$(cat "$src/package.json" "$src/package-lock.json" | md5sum | cut -d' ' -f1)
    if [ -d "$dest/node_modules/onvif" ] && [ "$(cat "$dest/.installed" 2>/dev/null)" = "$sum" ]; then
        return 0
    fi
    mkdir -p "$dest"
    cp "$src/package.json" "$src/package-lock.json" "$dest/"
    (cd "$dest" && npm ci --no-audit --no-fund --loglevel=error)
    echo "$sum" > "$dest/.installed"
}

# Runs ctest in BUILD inside a private network namespace: the tests can
# reach loopback and the namespaces they make themselves, nothing else.
# Replaces the shell; further arguments go to ctest.
run_suite_in_netns() {
    local build="$1"
    shift
    local unshare_args=(--net)
    if [ "$(id -u)" -ne 0 ]; then
        # Without root the namespace is entered as a mapped root user; tests
        # that need real root (several namespaces, bridges) say so and skip.
        unshare_args+=(--map-root-user)
    fi
    exec unshare "${unshare_args[@]}" -- bash -c '
        set -e
        ip link set lo up
        cd "$1"
        ctest --output-on-failure --parallel "${CTEST_PARALLEL:-2}" "${@:2}"
    ' ctest-in-netns "$build" "$@"
}

# Runs the calling script again inside a private network namespace with
# only loopback up, unless it runs in one already: what it starts then (a
# virtual display, the demo fleet, the tool) reaches nothing but loopback,
# and the demo's fixed addresses and ports (127.1.0.x:8080) meet no other
# fleet of the same machine, a ./run.sh beside it say. Call it after the
# build (nothing is installed or built in there), with the script's
# arguments; it does not return outside the namespace.
enter_private_netns() {
    if [ -n "${VOSKTOOL_PRIVATE_NETNS:-}" ]; then
        return 0
    fi
    local script unshare_args=(--net)
    script="$(realpath "$0")"
    if [ "$(id -u)" -ne 0 ]; then
        unshare_args+=(--map-root-user)
    fi
    exec unshare "${unshare_args[@]}" -- env VOSKTOOL_PRIVATE_NETNS=1 bash -c '
        set -e
        ip link set lo up
        exec bash "$@"
    ' private-netns "$script" "$@"
}

# The demo fleet of ./run.sh, in the background (its id in demo_fleet_pid):
# 16 devices of our own protocol, which keep their changes in STATE from
# run to run, and 4 ONVIF devices at 127.1.0.1 to 127.1.0.4, HTTP port
# 8080 (no root needed), which start afresh every time: device 0 ordinary,
# 1 in factory state (no user yet), 2 HTTP digest only, 3 UsernameToken
# only with its clock 3 hours ahead and a reboot for network changes.
# Always pinned to loopback: a simulated device must never show up in the
# tools of a real network.
start_demo_fleet() {
    local bin="$1" state="$2"
    "$bin/vosk-devsim" --count 16 --seed 1 --interfaces lo --state "$state" \
        --onvif 4 --onvif-address 127.1.0.1 --onvif-port 8080 \
        --onvif-behaviour plain --onvif-behaviour 1:factory --onvif-behaviour 2:auth=digest \
        --onvif-behaviour 3:auth=wsse,clock=+3h,reboot &
    demo_fleet_pid=$!
}

# Background processes of a script (a virtual display, a simulated fleet):
# add each one's id to bg_pids; stop_background ends them all, TERM first,
# then waits, so nothing outlives the script.
bg_pids=()
stop_background() {
    local pid
    for pid in "${bg_pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${bg_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
}
