#!/usr/bin/env bash
# package_test.sh BUILD_DIR DEVSIM
# Builds the Debian package with cpack, has lintian check it, unpacks it
# into a scratch root with dpkg -x, checks the installed tree (manual
# pages, shell completion, copyright and changelog) and runs the installed
# program headless against the simulator, for two users at once when it
# can switch users (root in the test namespace): each has its own instance lock and
# per-user files, a second start of the same user is refused, and nothing
# is written into the installed tree. Exit 77: skipped.
set -euo pipefail
build=$1
devsim=$2

fail() { echo "FAIL: $*" >&2; exit 1; }

# Loopback only: never start the programs where they could reach a network.
if ip -o link show | grep -v ': lo:' | grep -q .; then
    echo "SKIP: needs the private network namespace of ./test.sh"
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vosktool-package.XXXXXX")
chmod 755 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# Waits until FILE holds at least N lines matching PATTERN while process
# PID lives; the test's time-out bounds the wait.
wait_for() {
    local file=$1 pattern=$2 count=$3 pid=$4 found
    while :; do
        # No file yet, or no match: 0.
        found=$(grep -c -- "$pattern" "$file" 2>/dev/null) || true
        [ "${found:-0}" -lt "$count" ] || break
        kill -0 "$pid" 2>/dev/null || { cat "$file" >&2; fail "process $pid ended before '$pattern'"; }
        sleep 0.2
    done
}

# ---- The package --------------------------------------------------------
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack -G DEB"
fi
deb=$(find "$work/out" -maxdepth 1 -name '*.deb' | head -n 1)
[ -n "$deb" ] || fail "cpack made no .deb"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6network6 libqt6xml6 libqt6core5compat6 libqt6svg6 libsodium23; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

root="$work/root"
dpkg -x "$deb" "$root"
for file in usr/bin/vosktool usr/bin/vosktool-cli \
            usr/lib/vosktool/plugins/skins/libCommonSkin.so usr/lib/vosktool/plugins/styles/libCommonStyle.so \
            usr/share/vosktool/Setup.xml usr/share/vosktool/ColumnConfig.xml \
            usr/share/vosktool/translations/vosktool_zh.qm usr/share/vosktool/translations/qt_zh_CN.qm \
            usr/share/applications/org.vosktool.VoskTool.desktop \
            usr/share/icons/hicolor/scalable/apps/org.vosktool.VoskTool.svg \
            usr/share/metainfo/org.vosktool.VoskTool.metainfo.xml \
            usr/share/man/man1/vosktool.1.gz usr/share/man/man1/vosktool-cli.1.gz \
            usr/share/bash-completion/completions/vosktool-cli \
            usr/share/doc/vosktool/copyright usr/share/doc/vosktool/changelog.gz; do
    [ -e "$root/$file" ] || fail "the package lacks /$file"
done
# The manuals, whichever the build made.
for pdf in "$build"/bin/*.pdf; do
    [ -e "$pdf" ] || continue
    [ -e "$root/usr/share/vosktool/$(basename "$pdf")" ] || fail "the package lacks the manual $(basename "$pdf")"
done
desktop-file-validate "$root/usr/share/applications/org.vosktool.VoskTool.desktop"

# The changelog's latest entry is the package's version.
zcat "$root/usr/share/doc/vosktool/changelog.gz" >"$work/changelog"
changelog_version=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
[ "$changelog_version" = "$(dpkg-deb -f "$deb" Version)" ] \
    || fail "changelog names $changelog_version, the package is $(dpkg-deb -f "$deb" Version)"

# Debian's own checks (among them, that the manual pages render without
# a complaint of man's): no error, no warning. Pedantic and informational
# tags are shown for the log; of those, in a hardened build (not a
# sanitizer build), a hardening tag fails (a binary
# built without RELRO, BIND_NOW, FORTIFY or the stack protector).
command -v lintian >/dev/null || fail "lintian is not installed (scripts/packages.txt lists it)"
lintian_status=0
lintian --fail-on error,warning --pedantic --display-info --tag-display-limit 0 "$deb" \
    >"$work/lintian.log" 2>&1 || lintian_status=$?
cat "$work/lintian.log"
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors or warnings"
if [ "${VOSKTOOL_HARDENED:-0}" = 1 ]; then
    ! grep -q ' hardening-' "$work/lintian.log" || fail "lintian: a binary lacks a hardening flag"
fi

# Bash completion, from the installed program's own help.
complete_words() {
    (
        set +eu
        PATH="$root/usr/bin:$PATH"
        source "$root/usr/share/bash-completion/completions/vosktool-cli"
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        _vosktool_cli vosktool-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        echo "${COMPREPLY[*]}"
    )
}
[ "$(complete_words vosktool-cli ba)" = batch ] || fail "completion of a command: '$(complete_words vosktool-cli ba)'"
[ "$(complete_words vosktool-cli batch plan.csv --dr)" = --dry-run ] \
    || fail "completion of an option: '$(complete_words vosktool-cli batch plan.csv --dr)'"
[ "$(complete_words vosktool-cli set X --dhcp o)" = "on off" ] || fail "completion of --dhcp"
installed_sums=$(cd "$root" && find . -type f -exec md5sum {} + | sort)

# ---- The installed program against the simulator -----------------------
export VOSK_INTERFACES=lo VOSK_PORT=47241 VOSK_GROUP=239.255.86.141
"$devsim" --count 3 --seed 5 --interfaces lo >"$work/devsim.log" 2>&1 &
devsim_pid=$!
pids+=("$devsim_pid")
wait_for "$work/devsim.log" '^ready' 1 "$devsim_pid"

# The offscreen screen is 800 x 600 unless told: below the size at which
# the program asks whether to start at all.
cat >"$work/screen.json" <<'JSON'
{ "screens": [ { "name": "screen", "x": 0, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96 } ] }
JSON

# Two users when this shell may switch users; else the current one twice
# over is all that can be shown.
users=("$(id -u)")
if [ "$(id -u)" -eq 0 ] && setpriv --reuid=60001 --regid=60001 --clear-groups true 2>/dev/null; then
    users=(60001 60002)
fi

# as_user UID COMMAND...: run in the background only. It replaces the
# background subshell with the command (setpriv and env exec in turn), so
# that $! is the program itself and the clean-up's kill reaches it rather
# than a subshell whose child would live on.
as_user() {
    local uid=$1
    shift
    if [ "$uid" -ne "$(id -u)" ]; then
        exec setpriv --reuid="$uid" --regid="$uid" --clear-groups -- "$@"
    else
        exec "$@"
    fi
}

# start_tool UID NAME: starts the installed program as that user, with a
# home and runtime folder of its own; its process id goes to $started.
started=
start_tool() {
    local uid=$1 name=$2
    local home="$work/home-$uid"
    mkdir -p "$home" "$work/run-$uid"
    chmod 700 "$work/run-$uid"
    chown -R "$uid:$uid" "$home" "$work/run-$uid" 2>/dev/null || true
    as_user "$uid" env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$work/run-$uid" \
        QT_QPA_PLATFORM="offscreen:configfile=$work/screen.json" QT_LOGGING_RULES='vosktool.*=true' \
        VOSK_INTERFACES=lo VOSK_PORT="$VOSK_PORT" VOSK_GROUP="$VOSK_GROUP" \
        "$root/usr/bin/vosktool" >"$work/$name.log" 2>&1 &
    started=$!
    pids+=("$started")
}

# The second user reads Chinese from a Setup.xml of their own.
if [ "${#users[@]}" -eq 2 ]; then
    config="$work/home-${users[1]}/.config/VOSKTool"
    mkdir -p "$config"
    cat >"$config/Setup.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<Setup><Translator><Value>1</Value></Translator><Skin><Value>CommonSkin</Value></Skin></Setup>
XML
    chown -R "${users[1]}:${users[1]}" "$work/home-${users[1]}"
fi

n=0
for uid in "${users[@]}"; do
    start_tool "$uid" "tool-$n"
    pid=$started
    # All three devices, through the installed plug-ins and translations.
    wait_for "$work/tool-$n.log" '\[VoskHandler\] online' 3 "$pid"
    log="$work/tool-$n.log"
    grep -q 'LoadSkin = CommonSkin Success' "$log" || { cat "$log" >&2; fail "user $uid: skin plug-in not found"; }
    ! grep -q 'CommonStyle does not exist' "$log" || fail "user $uid: style plug-in not found"
    ! grep -q 'no translation' "$log" || { grep 'no translation' "$log" >&2; fail "user $uid: translations not found"; }
    for file in Setup.xml ColumnConfig.xml; do
        user_file="$work/home-$uid/.config/VOSKTool/$file"
        [ -f "$user_file" ] || fail "user $uid has no $file of their own"
        [ "$(stat -c %u "$user_file")" = "$uid" ] || fail "user $uid's $file belongs to someone else"
    done
    n=$((n + 1))
done
if [ "${#users[@]}" -eq 2 ]; then
    grep -q '<Translator><Value>1</Value>' "$work/home-${users[1]}/.config/VOSKTool/Setup.xml" \
        || fail "the second user's own Setup.xml was replaced"
fi

# A second start of the first user while theirs runs is refused (it shows
# its notice and would wait for it to be closed).
start_tool "${users[0]}" second
second=$started
wait_for "$work/second.log" 'another instance holds' 1 "$second"
kill "$second"
wait "$second" 2>/dev/null || true
! grep -q '\[VoskHandler\] online' "$work/second.log" || fail "the refused second start ran discovery"

[ "$installed_sums" = "$(cd "$root" && find . -type f -exec md5sum {} + | sort)" ] \
    || fail "a program wrote into the installed tree"
echo "PASS: package $(basename "$deb"), ${#users[@]} user(s)"
