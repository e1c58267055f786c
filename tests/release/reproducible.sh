#!/usr/bin/env bash
# The release is reproducible: the committed HEAD, cloned twice into two different folders
# (different names and depths), released in each at a different time, under a different
# time zone, umask and locale, gives byte-identical zips. The architectures named in
# QUILLET_RELEASE_ARCHES are released (scripts/test.sh names every one it tests; without it, the
# build tree's own; building needs no Wine). The first clone's zips stay for release_sfx.
#   reproducible.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
B=$(cd "$1" && pwd)
S=$(cd "$2" && pwd)
W="$B/release-check"
read -r -a arches <<<"${QUILLET_RELEASE_ARCHES:-$(cat "$B/quillet-arch")}"
rm -rf "$W"
mkdir -p "$W"
clones=("$W/one" "$W/elsewhere/second clone")
for d in "${clones[@]}"; do
    mkdir -p "$d"
    git -C "$d" init -q
    git -C "$d" fetch -q "$S" HEAD
    git -C "$d" -c advice.detachedHead=false checkout -q FETCH_HEAD
    # libdeflate's and zstd's sources are no part of git: the checkout's, as the set-up fetched them.
    for dep in libdeflate libzstd; do
        if [ -d "$S/.deps/$dep" ]; then
            mkdir -p "$d/.deps"
            cp -rL "$S/.deps/$dep" "$d/.deps/$dep"
        fi
    done
done
echo "commit $(git -C "${clones[0]}" rev-parse HEAD), ${arches[*]}"
start=$(date +%s)
(cd "${clones[0]}" && scripts/release.sh "${arches[@]}")
sleep 2
(cd "${clones[1]}" && umask 077 && TZ=Asia/Seoul LC_ALL=C.UTF-8 scripts/release.sh "${arches[@]}")
echo "two release builds: $(($(date +%s) - start)) s"

for zip in $(cd "${clones[0]}/dist" && ls quillet-*-win*.zip); do
    a="${clones[0]}/dist/$zip" b="${clones[1]}/dist/$zip"
    [ -f "$b" ] || { echo "FAIL: the second clone wrote no $zip"; exit 1; }
    sha256sum "$a" "$b"
    if ! cmp -s "$a" "$b"; then
        echo "FAIL: $zip differs between the two clones"
        (cd "$W" && mkdir -p x1 x2 && python3 -m zipfile -e "$a" x1 && python3 -m zipfile -e "$b" x2 && cmp -l x1/quillet.exe x2/quillet.exe | head) || true
        exit 1
    fi
    echo "$zip: identical from both clones"
done
cmp -s "${clones[0]}/dist/SHA256SUMS" "${clones[1]}/dist/SHA256SUMS" || { echo "FAIL: SHA256SUMS differ"; exit 1; }
