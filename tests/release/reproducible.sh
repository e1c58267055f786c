#!/usr/bin/env bash
# The release is reproducible: the committed HEAD, cloned into another folder (another name and
# depth) and released there from a build of its own, under another time zone, umask and locale,
# gives byte-identical zips to a second release of the same commit. The second release packs the
# programs of the tested build trees (built earlier, elsewhere, by the presets, with the tests):
# so the programs under test are the ones released, and one release build is enough. Where the
# checkout has uncommitted changes, or a tested tree is missing, the second release is a second
# clone's own build, as its programs would not be the commit's. The architectures named in
# QUILLET_RELEASE_ARCHES are released (scripts/test.sh names every one it tests; without it, the
# build tree's own; building needs no Wine). The first clone's zips stay for release_sfx.
#   reproducible.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
B=$(cd "$1" && pwd)
S=$(cd "$2" && pwd)
W="$B/release-check"
. "$S/scripts/arch.sh"
read -r -a arches <<<"${QUILLET_RELEASE_ARCHES:-$(cat "$B/quillet-arch")}"

# The tested tree of each architecture: this one, or the preset's tree of the checkout.
built=()
[ -z "$(git -C "$S" status --porcelain --untracked-files=no)" ] || built=(none)
for a in "${arches[@]}"; do
    [ "${built[*]}" != none ] || break
    tree=$S/$(quillet_tree "$a")
    [ "$(cat "$B/quillet-arch")" = "$a" ] && tree=$B
    if [ -f "$tree/bin/quillet.exe" ]; then built+=(--built "$a=$tree"); else built=(none); fi
done

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
(cd "${clones[0]}" && umask 077 && TZ=Asia/Seoul LC_ALL=C.UTF-8 scripts/release.sh "${arches[@]}")
echo "a release build: $(($(date +%s) - start)) s"
if [ "${built[*]}" = none ]; then
    echo "uncommitted changes in the checkout, or no tested tree: a second clone builds its own release"
    sleep 2
    (cd "${clones[1]}" && scripts/release.sh "${arches[@]}")
else
    echo "the second release packs the tested trees' programs: ${built[*]}"
    (cd "${clones[1]}" && scripts/release.sh "${built[@]}")
fi

for zip in $(cd "${clones[0]}/dist" && ls quillet-*-win*.zip); do
    a="${clones[0]}/dist/$zip" b="${clones[1]}/dist/$zip"
    [ -f "$b" ] || { echo "FAIL: the second release wrote no $zip"; exit 1; }
    sha256sum "$a" "$b"
    if ! cmp -s "$a" "$b"; then
        echo "FAIL: $zip differs between the two releases (a tested tree built before the last commit? build it again)"
        (cd "$W" && mkdir -p x1 x2 && python3 -m zipfile -e "$a" x1 && python3 -m zipfile -e "$b" x2 && cmp -l x1/quillet.exe x2/quillet.exe | head) || true
        exit 1
    fi
    echo "$zip: identical from both releases"
done
cmp -s "${clones[0]}/dist/SHA256SUMS" "${clones[1]}/dist/SHA256SUMS" || { echo "FAIL: SHA256SUMS differ"; exit 1; }
