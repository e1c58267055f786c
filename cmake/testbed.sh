#!/usr/bin/env bash
# Prepares the Wine test bed of one build tree and leaves it running:
#   - compiled locales (Korean, German, Russian, Chinese) for Wine's code pages,
#   - an Xvfb display for windows and message boxes,
#   - a Wine prefix inside the build tree, booted, with unmanaged windows and Hangul fonts,
#   - a persistent wineserver and the prefix's services.
# Everything long-lived is started here, detached from our stdio, so a test runner that
# calls this never waits on their pipes. Safe to run again: it reuses what runs.
#   testbed.sh BUILD_DIR         start (or reuse) the test bed
#   testbed.sh BUILD_DIR stop    end the Wine processes and Xvfb
set -euo pipefail
B=$(cd "$1" && pwd)
T="$B/testbed"
mkdir -p "$T"
export WINEPREFIX="$B/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LOCPATH="$T/locale"

if [ "${2:-}" = stop ]; then
    timeout 30 wineserver -k 2>/dev/null || true
    [ -f "$T/xvfb.pid" ] && kill "$(cat "$T/xvfb.pid")" 2>/dev/null || true
    rm -f "$T/xvfb.pid" "$T/server.ok"
    exit 0
fi

# Locales: Wine takes the ANSI code page from LC_ALL, and converts names through it.
mkdir -p "$LOCPATH"
for l in ko_KR de_DE ru_RU zh_TW zh_CN en_US; do
    [ -d "$LOCPATH/$l.UTF-8" ] || localedef -i "$l" -f UTF-8 "$LOCPATH/$l.UTF-8" >/dev/null 2>&1 || true
done

# Display: reuse ours while it lives, else take a free number.
display=""
if [ -f "$T/xvfb.pid" ] && kill -0 "$(cat "$T/xvfb.pid")" 2>/dev/null; then
    display=$(cat "$T/display")
else
    for n in $(seq 90 140); do
        if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then continue; fi
        setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$T/xvfb.log" 2>&1 &
        echo $! >"$T/xvfb.pid"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
        display=":$n"
        break
    done
    [ -n "$display" ] || { echo "testbed: no free X display" >&2; exit 1; }
    echo "$display" >"$T/display"
fi
export DISPLAY="$display"

cat >"$T/env" <<ENV
export WINEPREFIX="$WINEPREFIX"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LOCPATH="$LOCPATH"
export DISPLAY="$display"
ENV

# A new prefix is created and configured by a first, short-lived Wine session.
if [ ! -f "$WINEPREFIX/.quillet-ready" ]; then
    setsid timeout 180 wine wineboot -i </dev/null >>"$T/wine.log" 2>&1
    # Unmanaged windows close at once without a window manager; Hangul through NanumGothic.
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
    setsid timeout 60 wine regedit /S "$(winepath -w "$T/prefix.reg" 2>/dev/null)" </dev/null >>"$T/wine.log" 2>&1
    # Wine links the shell folders to $HOME; the tests get folders of the prefix instead.
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
        if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
    done
    touch "$WINEPREFIX/.quillet-ready"
    rm -f "$T/server.ok"
fi

# Then a persistent server of our own and the prefix's services, all with detached stdio,
# so no test ever starts a long-lived Wine process that holds its runner's pipes.
if [ ! -f "$T/server.ok" ] || ! pgrep -x wineserver >/dev/null 2>&1; then
    timeout 30 wineserver -k 2>/dev/null || true
    timeout 30 wineserver -w 2>/dev/null || true
    setsid wineserver -p </dev/null >>"$T/wine.log" 2>&1
    touch "$T/server.ok"
fi
setsid timeout 120 wine wineboot </dev/null >>"$T/wine.log" 2>&1 || true
echo "testbed: WINEPREFIX=$WINEPREFIX DISPLAY=$display"
