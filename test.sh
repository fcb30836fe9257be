#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with ctest inside a
# private network namespace: the tests can reach loopback and the namespaces
# they make themselves, nothing else. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_packages
build_project
install_test_oracles "$VOSKTOOL_BUILD"

run_suite_in_netns "$VOSKTOOL_BUILD" "$@"
