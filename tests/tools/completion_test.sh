#!/bin/bash
# The bash completion of vosktool-cli from the source tree, over the built
# program's own help: options with digits in their names, file arguments,
# and what must not be offered. No network: completion only reads help.
set -uo pipefail
script=$1
cli=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$cli" "$work/bin/vosktool-cli"
touch "$work/creds.txt" "$work/plan.csv"
cd "$work" || exit 1
failed=0

# The words bash would offer after the given command line (the last word
# is the one being completed), sorted, on one line.
complete_words() {
    (
        set +eu
        PATH="$work/bin:$PATH"
        # shellcheck source=/dev/null
        source "$script"
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        _vosktool_cli vosktool-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
    )
}

expect() {
    local want=$1
    shift
    local got
    got=$(complete_words "$@")
    if [ "$got" != "$want" ]; then
        echo "FAIL: '$*' completes to '$got', expected '$want'" >&2
        failed=1
    fi
}

expect "--ipv6 --ipv6-gateway --ipv6-prefix" vosktool-cli set X --ipv
expect "--onvif-credentials" vosktool-cli list --onvif-c
expect "creds.txt" vosktool-cli list --onvif-credentials cr
expect "creds.txt" vosktool-cli set X --onvif-credentials c
expect "batch" vosktool-cli ba
expect "off on" vosktool-cli set X --dhcp o
exit $failed
