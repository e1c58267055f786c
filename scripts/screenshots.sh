#!/usr/bin/env bash
# The pictures in docs/: the builder's windows (with their texts beside them, see
# tests/support/screenshot_driver.cpp) and the extractor's progress window near the start and near
# the end of a large extraction under English, Korean and German systems.
#
# They show a user's Windows machine, not the one that takes them: every Wine program runs in an
# environment started empty (env -i) with only what Wine and the display need, in a Wine prefix of
# its own (shotbed in the build tree) whose user is "user"; where a UTS namespace is allowed the machine is
# named DESKTOP-QUILLET. The builder is installed the way a user has it, in
# C:\Program Files\Quillet\, and all data lives on C:, so no picture shows a Unix path or Z:.
set -euo pipefail
cd "$(dirname "$0")/.."
R=$PWD
# The product's programs where this machine runs 32-bit code, the x86_64 ones elsewhere.
tree=${QUILLET_SHOT_TREE:-build}
B=$tree/shotbed
S=$tree/shots
if [ "${1:-}" != --controlled ]; then
    . scripts/arch.sh
    quillet_arches
    scripts/setup.sh
    arch=${QUILLET_ARCHES%% *}
    tree=$(quillet_tree "$arch") B=$(quillet_tree "$arch")/shotbed
    echo "screenshots: $arch programs"
    quillet_configure "$arch"
    cmake --build --preset "$(quillet_preset "$arch")" --target quillet screenshot_driver >/dev/null
    mkdir -p "$B/home"
    echo "$arch" >"$B/quillet-arch"
    # Wine names the prefix's user after USER and keeps its Unix links under HOME.
    clean=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME="$R/$B/home" USER=user
           QUILLET_SHOT_TREE="$tree")
    if unshare -u true 2>/dev/null; then
        exec env -i "${clean[@]}" unshare -u "$0" --controlled named
    fi
    echo "screenshots: no UTS namespace here; Windows will see this machine's host name" >&2
    exec env -i "${clean[@]}" "$0" --controlled
fi
[ "${2:-}" = named ] && hostname desktop-quillet

cmake/testbed.sh "$B" >/dev/null
. "$B/testbed/env"
trap 'cmake/testbed.sh "$B" stop' EXIT
# Each Wine program gets exactly this environment, not even what bash adds (SHLVL, OLDPWD).
win() {
    local lc=$1
    shift
    env -i PATH="$PATH" HOME="$HOME" USER="$USER" WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all DISPLAY="$DISPLAY" \
        LOCPATH="$LOCPATH" LC_ALL="$lc" wine "$@"
}
C=$WINEPREFIX/drive_c
user=$(ls "$C/users" | grep -vx Public | head -n1)
home="$C/users/$user"
W_HOME="C:\\users\\$user"
mkdir -p "$C/Program Files/Quillet" "$home/Documents" "$home/Desktop"
cp "$tree/bin/quillet.exe" "$C/Program Files/Quillet/"
BUILDER='C:\Program Files\Quillet\quillet.exe'
rm -rf "$S" "$home/Documents/Sample" "$home/Desktop/Sample" "$home/Desktop/Sample.exe"
mkdir -p "$S/frames" docs

# About 300 MB that compresses well, so the extraction takes a few seconds.
python3 - "$home/Documents/Sample" <<'PY'
import os, random, sys
os.makedirs(sys.argv[1])
rng = random.Random(7)
words = b"quillet archive folder extract chunk window progress setup install".split()
for i in range(6):
    with open(os.path.join(sys.argv[1], f"part{i}.dat"), "wb") as f:
        for _ in range(50):
            f.write(b" ".join(rng.choice(words) for _ in range(100000))[:1 << 20])
PY
# Wine programs start in the user's folder, so their current folder is on C: too.
cd "$home"
win C.UTF-8 "$BUILDER" -h -c -o -oo -fm "$W_HOME\\Documents\\Sample" "$W_HOME\\Desktop\\Sample.exe" \
    "$W_HOME\\Desktop\\Sample" >/dev/null 2>&1
cd "$R"
[ -f "$home/Desktop/Sample.exe" ] || { echo "screenshots: the sample SFX file was not built" >&2; exit 1; }

png() { convert "$1" -define png:exclude-chunks=date,time "$2"; }

read -r W H < <(xdpyinfo 2>/dev/null | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')
X=$(( (W - 320) / 2 )) Y=$(( (H - 96) / 2 ))
for locale in C.UTF-8:en ko_KR.UTF-8:ko de_DE.UTF-8:de; do
    lc=${locale%%:*} tag=${locale##*:}
    rm -rf "$home/Desktop/Sample" "$S/frames" && mkdir -p "$S/frames"
    (cd "$home" && win "$lc" "$W_HOME\\Desktop\\Sample.exe" >/dev/null 2>&1) &
    pid=$!
    n=0
    while kill -0 $pid 2>/dev/null && [ $n -lt 400 ]; do
        import -window root -crop 320x96+$X+$Y +repage "$S/frames/$(printf %04d $n).png" 2>/dev/null || true
        n=$((n + 1))
    done
    wait $pid || true
    # The first and the last frame that show the window (its face is light grey, the screen black).
    frames=()
    for f in "$S"/frames/*.png; do
        mean=$(convert "$f" -colorspace gray -format '%[fx:mean]' info: 2>/dev/null || echo 0)
        awk "BEGIN{exit !($mean > 0.3)}" && frames+=("$f")
    done
    [ ${#frames[@]} -gt 0 ] || { echo "no window seen under $lc" >&2; continue; }
    png "${frames[0]}" "docs/sfxwindow-$tag-start.png"
    png "${frames[-1]}" "docs/sfxwindow-$tag-end.png"
    echo "$tag: ${#frames[@]} frames with the window; docs/sfxwindow-$tag-start.png and -end.png"
done
rm -rf "$home/Desktop/Sample" "$home/Desktop/Sample.exe"

# The builder's windows: design state, run mode, a build in progress, the about box, the usage
# text, the command-line generator and the variable picker.
(cd "$home" && win C.UTF-8 "$R/$tree/bin/screenshot_driver.exe" "$(winepath -w "$R/$S")\\" "$BUILDER" \
    "$W_HOME\\Documents\\Sample" "$W_HOME\\Desktop\\Sample.exe") >/dev/null 2>&1 || true
for shot in main-design main-runmode progress about cmdline cmdlinegen envvars; do
    if [ -f "$S/$shot.bmp" ]; then
        png "$S/$shot.bmp" "docs/$shot.png" && cp "$S/$shot.txt" "docs/$shot.txt" && echo "docs/$shot.png"
    else
        echo "screenshots: no $shot window" >&2
    fi
done
