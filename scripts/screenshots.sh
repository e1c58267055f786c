#!/usr/bin/env bash
# Screenshots of the extractor's progress window near the start and near the end of a large
# extraction, under English, Korean and German systems, into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target quillet screenshot_driver >/dev/null
cmake/testbed.sh build >/dev/null
. build/testbed/env
S=build/shots
rm -rf "$S" && mkdir -p "$S/src" docs
# About 300 MB that compresses well, so the extraction takes a few seconds.
python3 - "$S/src" <<'PY'
import os, random, sys
rng = random.Random(7)
words = b"quillet archive folder extract chunk window progress setup install".split()
for i in range(6):
    with open(os.path.join(sys.argv[1], f"part{i}.dat"), "wb") as f:
        for _ in range(50):
            f.write(b" ".join(rng.choice(words) for _ in range(100000))[:1 << 20])
PY
LC_ALL=C.UTF-8 wine build/bin/quillet.exe -h -c -o -oo -fm "$(winepath -w "$S/src")" "$(winepath -w "$S/big.exe")" \
    "$(winepath -w "$S/out")" >/dev/null 2>&1

read -r W H < <(xdpyinfo 2>/dev/null | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')
X=$(( (W - 320) / 2 )) Y=$(( (H - 96) / 2 ))
for locale in C.UTF-8:en ko_KR.UTF-8:ko de_DE.UTF-8:de; do
    lc=${locale%%:*} tag=${locale##*:}
    rm -rf "$S/out" "$S/frames" && mkdir -p "$S/frames"
    LC_ALL=$lc wine "$S/big.exe" >/dev/null 2>&1 &
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
    cp "${frames[0]}" "docs/sfxwindow-$tag-start.png"
    cp "${frames[-1]}" "docs/sfxwindow-$tag-end.png"
    echo "$tag: ${#frames[@]} frames with the window; docs/sfxwindow-$tag-start.png and -end.png"
done

# The builder's windows: design state, run mode, a build in progress, the about box.
rm -f "$S"/*.bmp
LC_ALL=C.UTF-8 wine build/bin/screenshot_driver.exe "$(winepath -w "$S")\\" "$(winepath -w "$S/src")" >/dev/null 2>&1 || true
for shot in main-design main-runmode progress about cmdline cmdlinegen envvars; do
    [ -f "$S/$shot.bmp" ] && convert "$S/$shot.bmp" "docs/$shot.png" && echo "docs/$shot.png"
done
