#!/usr/bin/env bash
# Builds the release from this checkout, in fresh build trees of its own (dist/build-ARCH,
# programs only), and writes
#   dist/quillet-VERSION-win32.zip   the product (i686)
#   dist/quillet-VERSION-win64.zip   the same source for 64-bit Windows (x86_64)
#   dist/SHA256SUMS
# Each zip holds the stripped quillet.exe, the user guide in English and Korean (HTML with
# its pictures inside), LICENSE.txt and THIRD-PARTY-NOTICES.txt. VERSION is the project()
# version of CMakeLists.txt. The same commit gives the same bytes wherever and whenever it
# is built: the zip times are the commit's time (SOURCE_DATE_EPOCH when there is no git).
#   scripts/release.sh            both architectures
#   scripts/release.sh x86_64     one of them (i686 or x86_64)
#   scripts/release.sh --built x86_64=TREE ...
#                                 that architecture's programs from TREE/bin, a build tree of this
#                                 commit (cmake --preset), instead of a build of its own
# Needs the README's set-up (scripts/setup.sh); building needs no Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
arches=()
declare -A built=()
while [ $# -gt 0 ]; do
    case "$1" in
    --built)
        [[ "${2:-}" == *=* ]] || { echo "release: --built needs ARCH=TREE" >&2; exit 2; }
        built[${2%%=*}]=$(cd "${2#*=}" && pwd) || { echo "release: no build tree '${2#*=}'" >&2; exit 2; }
        arches+=("${2%%=*}")
        shift 2 ;;
    *) arches+=("$1"); shift ;;
    esac
done
[ ${#arches[@]} -gt 0 ] || arches=(i686 x86_64)
for a in "${arches[@]}"; do
    case "$a" in i686 | x86_64) ;; *) echo "release: unknown architecture '$a' (i686 or x86_64)" >&2; exit 2 ;; esac
done

# The time every file of the zips carries.
if epoch=$(git log -1 --format=%ct 2>/dev/null) && [ -n "$epoch" ]; then
    [ -z "$(git status --porcelain --untracked-files=no 2>/dev/null)" ] ||
        echo "release: warning: the checkout has uncommitted changes; this build is not the commit's" >&2
else
    epoch=${SOURCE_DATE_EPOCH:?release: no git history here: set SOURCE_DATE_EPOCH}
fi
export SOURCE_DATE_EPOCH=$epoch

# libdeflate's and zstd's sources are not in git: a fresh clone fetches them as the set-up does.
scripts/fetch-libdeflate.sh
scripts/fetch-libzstd.sh

mkdir -p dist
zips=()
for arch in "${arches[@]}"; do
    b=dist/build-$arch
    rm -rf "$b"
    if [ -n "${built[$arch]:-}" ]; then
        mkdir -p "$b"
        b=${built[$arch]}
        [ "$(cat "$b/quillet-arch" 2>/dev/null)" = "$arch" ] || { echo "release: $b is no $arch build tree" >&2; exit 1; }
    else
        cmake -S . -B "$b" -G Ninja --toolchain "$root/cmake/toolchain-$arch-mingw.cmake" \
            -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >"$b.log" 2>&1 ||
            { tail -n 20 "$b.log" >&2; echo "release: configuring $arch failed ($b.log)" >&2; exit 1; }
        cmake --build "$b" --target quillet -j "$(nproc)" >>"$b.log" 2>&1 ||
            { tail -n 20 "$b.log" >&2; echo "release: building $arch failed ($b.log)" >&2; exit 1; }
    fi
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$b/CMakeCache.txt")
    [ -n "$version" ] || { echo "release: no project version in $b/CMakeCache.txt" >&2; exit 1; }
    # The builder and the three programs it carries: stripped, and no folder of this machine.
    python3 scripts/release_check.py "$b/bin/quillet.exe" "$b/bin/sfxhead.exe" "$b/bin/sfxhead_compact.exe" \
        "$b/bin/selfdelete.exe" \
        -- "$root" "$(cd "$b" && pwd)" "$HOME"
    stage=dist/build-$arch/stage
    mkdir -p "$stage"
    cp "$b/bin/quillet.exe" "$stage/quillet.exe"
    /usr/bin/python3 scripts/guide.py docs/guide.md "$version" "$stage/guide-en.html"
    /usr/bin/python3 scripts/guide.py docs/guide.ko.md "$version" "$stage/guide-ko.html"
    cp LICENSE "$stage/LICENSE.txt"
    cp THIRD-PARTY-NOTICES.txt "$stage/THIRD-PARTY-NOTICES.txt"
    name=quillet-$version-$([ "$arch" = i686 ] && echo win32 || echo win64).zip
    python3 scripts/release_zip.py "dist/$name" "$stage" \
        quillet.exe guide-en.html guide-ko.html LICENSE.txt THIRD-PARTY-NOTICES.txt
    zips+=("$name")
    echo "release: dist/$name ($(stat -c %s "dist/$name") bytes; quillet.exe $(stat -c %s "$stage/quillet.exe") bytes)"
done
(cd dist && sha256sum "${zips[@]}" >SHA256SUMS)
cat dist/SHA256SUMS
