# Which Windows architectures this machine can run under Wine. Sourced by the scripts.
#   quillet_arches       sets QUILLET_ARCHES (runnable, product first) and QUILLET_RUNS_32BIT,
#                        or says in one line why the forced choice cannot run, and fails
#   quillet_preset ARCH  the CMake preset of an architecture (windows, windows-x64)
#   quillet_tree ARCH    its build tree (build, build-x64)
#   quillet_configure ARCH  configures its tree with the preset (Ninja), after
#   quillet_ninja_tree DIR  which drops the cache of a tree an older checkout configured with
#                        another generator (Make), so that it is configured afresh
# QUILLET_ARCH=i686|x86_64 chooses one architecture instead of every runnable one.
# QUILLET_ASSUME_NO32=1 behaves as on a machine whose kernel runs no 32-bit code.

# A 96-byte static i386 ELF program that only exits with code 42 (mov eax,1; mov ebx,42;
# int 0x80). A kernel without IA-32 emulation refuses to execute it ("Exec format error").
quillet_probe_32bit() {
    [ "${QUILLET_ASSUME_NO32:-}" = 1 ] && return 1
    local probe rc
    probe=$(mktemp "${TMPDIR:-/tmp}/quillet-probe32.XXXXXX") || return 1
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >"$probe"
    chmod +x "$probe"
    rc=0
    "$probe" 2>/dev/null || rc=$?
    rm -f "$probe"
    [ "$rc" -eq 42 ]
}

quillet_arches() {
    if quillet_probe_32bit; then QUILLET_RUNS_32BIT=1; else QUILLET_RUNS_32BIT=0; fi
    case "${QUILLET_ARCH:-}" in
    "")
        if [ $QUILLET_RUNS_32BIT = 1 ]; then QUILLET_ARCHES="i686 x86_64"; else QUILLET_ARCHES="x86_64"; fi ;;
    i686)
        if [ $QUILLET_RUNS_32BIT = 0 ]; then
            echo "QUILLET_ARCH=i686: this machine's kernel cannot execute 32-bit code (a 32-bit probe program does not start), so 32-bit Wine cannot run here; use QUILLET_ARCH=x86_64 or leave QUILLET_ARCH unset" >&2
            return 1
        fi
        QUILLET_ARCHES=i686 ;;
    x86_64) QUILLET_ARCHES=x86_64 ;;
    *)
        echo "QUILLET_ARCH=$QUILLET_ARCH: unknown architecture (i686 or x86_64)" >&2
        return 1 ;;
    esac
    export QUILLET_ARCHES QUILLET_RUNS_32BIT
}

quillet_preset() { if [ "$1" = x86_64 ]; then echo windows-x64; else echo windows; fi; }
quillet_tree() { if [ "$1" = x86_64 ]; then echo build-x64; else echo build; fi; }
# A tree an older checkout configured with another generator than Ninja loses its cache.
quillet_ninja_tree() {
    if [ -f "$1/CMakeCache.txt" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$1/CMakeCache.txt"; then
        rm -rf "$1/CMakeCache.txt" "$1/CMakeFiles"
    fi
}
quillet_configure() {
    quillet_ninja_tree "$(quillet_tree "$1")"
    cmake --preset "$(quillet_preset "$1")" >/dev/null
}
