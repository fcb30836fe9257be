#!/usr/bin/env bash
# Builds the project with a sanitizer in a build folder of its own and runs
# every test with ctest inside the private network namespace, as ./test.sh
# does. Non-zero on any failure or sanitizer report.
#
#   scripts/sanitize.sh asan [ctest args]   AddressSanitizer + UBSan + LeakSanitizer, in build-asan/
#   scripts/sanitize.sh tsan [ctest args]   ThreadSanitizer, in build-tsan/
#
# VOSKTOOL_SANITIZE_BUILD overrides the build folder.
set -euo pipefail
source "$(dirname "$0")/common.sh"

mode="${1:-}"
case "$mode" in
    asan)
        flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
        # detect_leaks: LeakSanitizer runs at every exit. A sanitizer report
        # ends the process with a failing status, so ctest sees it.
        export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:halt_on_error=1"
        export LSAN_OPTIONS="suppressions=$VOSKTOOL_ROOT/scripts/sanitizers/lsan.supp:print_suppressions=0"
        export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
        ;;
    tsan)
        flags="-fsanitize=thread -fno-omit-frame-pointer"
        # die_after_fork=0: the simulator tests fork and exec the simulator
        # from a process that has threads; exec follows at once, so the
        # child never runs in the half-copied state TSan guards against.
        export TSAN_OPTIONS="die_after_fork=0:halt_on_error=1:second_deadlock_stack=1:suppressions=$VOSKTOOL_ROOT/scripts/sanitizers/tsan.supp:print_suppressions=0"
        ;;
    *)
        echo "usage: $0 asan|tsan [ctest arguments]" >&2
        exit 2
        ;;
esac
shift

VOSKTOOL_BUILD="${VOSKTOOL_SANITIZE_BUILD:-$VOSKTOOL_ROOT/build-$mode}"

install_packages
# -O1 keeps the sanitized suite reasonably fast while the stacks stay
# readable. The fuzz target is a clang build with its own sanitizers and the
# benchmarks print figures that mean nothing under a sanitizer: both left out.
build_project \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" \
    -DVOSKTOOL_FUZZ=OFF -DVOSKTOOL_BUILD_BENCH=OFF

run_suite_in_netns "$VOSKTOOL_BUILD" "$@"
