#!/usr/bin/env bash
# Prepares the Wine test beds of one build tree and leaves them running: three, so that ctest runs
# three Wine tests at a time, each with its own prefix, wineserver and display (the resource "wine"
# of cmake/wine-slots.json; the env file picks the bed of the slot ctest gave, else the first). A
# Wine test waits on its programs, windows and wineserver for much of its time: on 2 cores a third
# bed still fills those waits.
# Each bed has:
#   - the Wine loader of the tree's architecture, chosen explicitly (the 32-bit loader for
#     i686, the 64-bit one for x86_64), behind `wine` on the tree's own PATH,
#   - compiled locales (Korean, German, Russian, Chinese) for Wine's code pages,
#   - an Xvfb display for windows and message boxes,
#   - a Wine prefix inside the build tree, booted, with unmanaged windows and Hangul fonts,
#   - a persistent wineserver and the prefix's services.
# Everything long-lived is started here, detached from our stdio, so a test runner that
# calls this never waits on their pipes. Safe to run again: it reuses what runs.
# Every step that fails says in one line what failed and why, and the script exits non-zero.
#   testbed.sh BUILD_DIR         start (or reuse) the test beds
#   testbed.sh BUILD_DIR stop    end their Wine processes and Xvfb
set -euo pipefail
B=$(cd "$1" && pwd)
T="$B/testbed"
mkdir -p "$T"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LOCPATH="$T/locale"
fail() { echo "testbed: $*" >&2; exit 1; }

# The loader of the tree's architecture; Debian's `wine` would take the 32-bit one whenever
# it is installed, even where it cannot start.
arch=$(cat "$B/quillet-arch" 2>/dev/null || echo i686)
case "$arch" in
i686) loader=/usr/lib/wine/wine ;;
x86_64) loader=/usr/lib/wine/wine64; export WINEARCH=win64 WINELOADER=$loader ;;
*) fail "unknown architecture '$arch' in $B/quillet-arch" ;;
esac
mkdir -p "$T/bin"
for name in wine wine-stable; do
    printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$T/bin/$name"
    chmod +x "$T/bin/$name"
done
export PATH="$T/bin:$PATH"

# The beds: 1 in testbed/ and wineprefix/, N in testbed-N/ and wineprefix-N/.
beds=(1 2 3)
bed_dir() { if [ "$1" = 1 ]; then echo "$B/testbed"; else echo "$B/testbed-$1"; fi; }
bed_prefix() { if [ "$1" = 1 ]; then echo "$B/wineprefix"; else echo "$B/wineprefix-$1"; fi; }

if [ "${2:-}" = stop ]; then
    for n in "${beds[@]}"; do
        d=$(bed_dir "$n")
        [ -d "$(bed_prefix "$n")" ] && { WINEPREFIX=$(bed_prefix "$n") timeout 30 wineserver -k 2>/dev/null || true; }
        [ -f "$d/xvfb.pid" ] && kill "$(cat "$d/xvfb.pid")" 2>/dev/null || true
        rm -f "$d/xvfb.pid" "$d/server.ok"
    done
    exit 0
fi

# Locales: Wine takes the ANSI code page from LC_ALL, and converts names through it.
mkdir -p "$LOCPATH"
for l in ko_KR de_DE ru_RU zh_TW zh_CN en_US; do
    [ -d "$LOCPATH/$l.UTF-8" ] && continue
    out=$(localedef -i "$l" -f UTF-8 "$LOCPATH/$l.UTF-8" 2>&1) || true
    [ -f "$LOCPATH/$l.UTF-8/LC_CTYPE" ] || fail "cannot compile the locale $l.UTF-8: ${out:-localedef failed}"
done

[ -x "$loader" ] || fail "the Wine loader $loader is missing (package wine32:i386 or wine64; run scripts/setup.sh)"
out=$("$loader" --version 2>&1) || fail "the Wine loader $loader cannot start on this machine: $(tail -n 1 <<<"$out")"

# Displays, one after the other so that no two beds take the same number: reuse a bed's while
# it lives, else take a free number.
declare -A display=()
for n in "${beds[@]}"; do
    d=$(bed_dir "$n")
    mkdir -p "$d"
    if [ -f "$d/xvfb.pid" ] && kill -0 "$(cat "$d/xvfb.pid")" 2>/dev/null; then
        display[$n]=$(cat "$d/display")
        continue
    fi
    for x in $(seq 90 140); do
        if [ -e "/tmp/.X11-unix/X$x" ] || [ -e "/tmp/.X$x-lock" ]; then continue; fi
        setsid Xvfb ":$x" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$d/xvfb.log" 2>&1 &
        echo $! >"$d/xvfb.pid"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$x" ] && break; sleep 0.1; done
        [ -e "/tmp/.X11-unix/X$x" ] || fail "Xvfb did not start on :$x: $(tail -n 1 "$d/xvfb.log")"
        display[$n]=":$x"
        break
    done
    [ -n "${display[$n]:-}" ] || fail "no free X display between :90 and :140"
    echo "${display[$n]}" >"$d/display"
done

# What a Wine run of this tree needs: the first bed's, or under ctest the bed of the slot it gave
# the test (CTEST_RESOURCE_GROUP_0_WINE="id:2,slots:1").
{
    cat <<ENV
export PATH="$T/bin:\$PATH"
export QUILLET_ARCH_TREE=$arch
${WINELOADER:+export WINEARCH=win64 WINELOADER=$WINELOADER}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LOCPATH="$LOCPATH"
case "\${CTEST_RESOURCE_GROUP_0_WINE:-}" in
ENV
    for n in "${beds[@]:1}"; do
        printf 'id:%s,*) export WINEPREFIX="%s" DISPLAY="%s" ;;\n' "$n" "$(bed_prefix "$n")" "${display[$n]}"
    done
    printf '*) export WINEPREFIX="%s" DISPLAY="%s" ;;\nesac\n' "$(bed_prefix 1)" "${display[1]}"
} >"$T/env"

# One bed: its prefix, created and configured by a first, short-lived Wine session when new,
# then a persistent server of its own and the prefix's services, all with detached stdio, so no
# test ever starts a long-lived Wine process that holds its runner's pipes.
prepare_bed() {
    local d WINEPREFIX DISPLAY
    d=$(bed_dir "$1")
    export WINEPREFIX DISPLAY
    WINEPREFIX=$(bed_prefix "$1") DISPLAY=${display[$1]}
    if [ ! -f "$WINEPREFIX/.quillet-ready" ]; then
        setsid timeout 180 wine wineboot -i </dev/null >>"$d/wine.log" 2>&1 ||
            fail "the Wine prefix did not boot (wineboot -i: exit $?): $(tail -n 1 "$d/wine.log")"
        [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] || fail "the Wine prefix did not boot: no system32 in $WINEPREFIX"
        setsid timeout 60 wine regedit /S "$(winepath -w "$T/prefix.reg" 2>/dev/null)" </dev/null >>"$d/wine.log" 2>&1 ||
            fail "the test bed's registry settings could not be imported: $(tail -n 1 "$d/wine.log")"
        # Wine links the shell folders to $HOME; the tests get folders of the prefix instead.
        for link in "$WINEPREFIX"/drive_c/users/*/*; do
            if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
        done
        touch "$WINEPREFIX/.quillet-ready"
        rm -f "$d/server.ok"
    fi
    # (A server already persistent for this prefix makes the second one end at once.)
    if [ ! -f "$d/server.ok" ]; then
        timeout 30 wineserver -k 2>/dev/null || true
        timeout 30 wineserver -w 2>/dev/null || true
    fi
    setsid wineserver -p </dev/null >>"$d/wine.log" 2>&1 || true
    touch "$d/server.ok"
    setsid timeout 120 wine wineboot </dev/null >>"$d/wine.log" 2>&1 ||
        fail "the Wine prefix's services did not start (wineboot: exit $?): $(tail -n 1 "$d/wine.log")"
}

# The settings of a new prefix: unmanaged windows close at once without a window manager; Hangul
# through NanumGothic.
printf '\xff\xfe' >"$T/prefix.reg"
iconv -f UTF-8 -t UTF-16LE >>"$T/prefix.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"맑은 고딕"="NanumGothic"
"Malgun Gothic"="NanumGothic"
"Tahoma"="NanumGothic"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Auto"="1"
"Debugger"=""

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]
REG
# As on Windows, the dialog fonts fall back to a Hangul font under every code page.
link=$(printf 'NanumGothic.ttf,NanumGothic\0\0' | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v |
       tr -s ' \n' ',' | sed 's/^,//; s/,$//')
for face in Tahoma "Microsoft Sans Serif" "MS Sans Serif" "Segoe UI" "Lucida Sans Unicode"; do
    printf '"%s"=hex(7):%s\r\n' "$face" "$link" | iconv -f UTF-8 -t UTF-16LE >>"$T/prefix.reg"
done

# The beds side by side; each failure says its own line.
pids=()
for n in "${beds[@]}"; do
    prepare_bed "$n" &
    pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
[ "$failed" = 0 ] || exit 1
for n in "${beds[@]}"; do
    echo "testbed $n: $arch, WINEPREFIX=$(bed_prefix "$n") DISPLAY=${display[$n]}"
done
