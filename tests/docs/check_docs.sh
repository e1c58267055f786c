#!/usr/bin/env bash
# The pictures in docs/ and the README show what a user sees on Windows, and nothing of the
# machine they were made on. Checked through the texts that scripts/screenshots.sh writes beside
# the pictures (every control of each shot window, every row of the variable picker), the README,
# and every other committed text under docs/ and bench/:
#   - no Unix path, no Z: drive (Wine's view of the Unix root);
#   - no path, user name or host name of this machine;
#   - the picker lists only variables that Windows itself provides.
#   check_docs.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 2
fail=0
bad() { echo "FAIL: $*"; fail=1; }

# The builder's windows shot by the driver; each picture has its texts.
shots=(main-design main-runmode progress about cmdline cmdlinegen envvars)
for s in "${shots[@]}"; do
    [ -f "docs/$s.png" ] || bad "docs/$s.png missing"
    [ -s "docs/$s.txt" ] || bad "docs/$s.txt missing: the texts of docs/$s.png"
done
# Every picture the README shows exists.
while read -r pic; do
    [ -f "$pic" ] || bad "README.md shows $pic, which does not exist"
done < <(grep -o '(docs/[^)]*\.png)' README.md | tr -d '()')

texts=(README.md)
# Committed (or about to be) texts; without git, whatever lies in those folders.
files=$(git ls-files -co --exclude-standard docs bench 2>/dev/null || find docs bench -type f)
while IFS= read -r f; do texts+=("$f"); done < <(grep -E '\.(txt|md|csv|log|json|out)$' <<<"$files" || true)
[ ${#texts[@]} -gt 1 ] || bad "no texts beside the pictures in docs/"

unix='(^|[^[:alnum:]_.~-])/(work|home|root|usr|tmp|etc|opt|var|srv|mnt|run|proc|dev)(/|$|[^[:alnum:]_.-])'
for f in "${texts[@]}"; do
    grep -nE "$unix" "$f" | sed "s|^|$f: Unix path: |" | grep . && fail=1
    grep -niE '(^|[^[:alnum:]])Z:\\|\\\?\?\\|\\\\\?\\unix' "$f" | sed "s|^|$f: Z: drive: |" | grep . && fail=1
    # This machine: the checkout, the home folder, the user and host names.
    for p in "$PWD" "${HOME:-/nonexistent-home}"; do
        [ "$p" = / ] && continue
        grep -nF "$p" "$f" | sed "s|^|$f: path of this machine: |" | grep . && fail=1
    done
    user=$(id -un 2>/dev/null || true)
    if [ -n "$user" ]; then
        grep -niE "users\\\\$user(\\\\|$|[^[:alnum:]])|^USERNAME.*[=	]$user\$|%USERNAME%	$user\$" "$f" |
            sed "s|^|$f: user name of this machine ($user): |" | grep . && fail=1
    fi
    host=$(hostname 2>/dev/null || true)
    if [ -n "$host" ] && [ "$f" != README.md ]; then
        grep -niwF "$host" "$f" | sed "s|^|$f: host name of this machine ($host): |" | grep . && fail=1
    fi
done

# The picker: each row is "%NAME%<tab>value"; the names are Windows' own (a Windows 10 machine
# with the usual per-user and per-machine variables), plus the per-drive current folders ("%%").
windows=" %% ALLUSERSPROFILE APPDATA CLIENTNAME CommonProgramFiles CommonProgramFiles(x86)
 CommonProgramW6432 COMPUTERNAME ComSpec DriverData HOMEDRIVE HOMEPATH LOCALAPPDATA LOGONSERVER
 NUMBER_OF_PROCESSORS OneDrive OS Path PATHEXT PROCESSOR_ARCHITECTURE PROCESSOR_ARCHITEW6432
 PROCESSOR_IDENTIFIER PROCESSOR_LEVEL PROCESSOR_REVISION ProgramData ProgramFiles ProgramFiles(x86)
 ProgramW6432 PSModulePath PUBLIC SESSIONNAME SystemDrive SystemRoot TEMP TMP USERDOMAIN
 USERDOMAIN_ROAMINGPROFILE USERNAME USERPROFILE windir "
if [ -f docs/envvars.txt ]; then
    rows=0
    while IFS=$'\t' read -r key value; do
        case "$key" in %*%) ;; *) continue ;; esac
        rows=$((rows + 1))
        name=${key#%}; name=${name%\%}
        [ -n "$name" ] || name=%%
        grep -qiF " $name " <<<"$(tr '\n' ' ' <<<"$windows")" || bad "docs/envvars.txt: %$name% is not a Windows variable ($value)"
    done <docs/envvars.txt
    [ $rows -ge 10 ] || bad "docs/envvars.txt: only $rows variables"
fi

[ $fail = 0 ] && echo "docs: ${#texts[@]} texts checked"
exit $fail
