#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with ctest inside a
# private network namespace: the tests can reach loopback and the namespaces
# they make themselves, nothing else. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_packages
build_project

unshare_args=(--net)
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
' ctest-in-netns "$VOSKTOOL_BUILD" "$@"
