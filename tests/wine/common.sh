# Shared by the Wine tests: tool checks, a virtual display of our own, a fresh
# Wine prefix, and cleanup that ends only what these scripts started. Sourced;
# the caller sets `tmp` to a fresh temporary folder first.

fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "$*"; }

# Every missing tool named at once, with the package that brings it.
needTools() {
    local missing=() pair
    for pair in "$@"; do
        command -v "${pair%%:*}" >/dev/null 2>&1 || missing+=("${pair%%:*} (Debian package ${pair#*:})")
    done
    [ ${#missing[@]} -eq 0 ] || fail "missing: ${missing[*]}; tools/install-deps.sh all installs them"
}

# Whether this machine can start 32-bit programs, found once by starting one
# (Wine's 32-bit loader) and exported for the scripts started after it. Some
# machines run 64-bit programs only; there the Windows tests run the 64-bit
# build alone. WINE_64BIT_ONLY=1 takes that path on any machine.
detectWine32() {
    [ -n "${WINE_32BIT:-}" ] && return 0
    local loader=/usr/lib/wine/wine out
    if [ "${WINE_64BIT_ONLY:-}" = 1 ]; then
        WINE_32BIT=no WINE_32BIT_WHY="WINE_64BIT_ONLY=1 asks for it"
    elif [ ! -e "$loader" ]; then
        fail "no $loader, Wine's 32-bit loader (Debian package wine32:i386; tools/install-deps.sh all installs it)"
    elif out=$("$loader" --version 2>&1); then
        WINE_32BIT=yes WINE_32BIT_WHY="this machine starts 32-bit programs: $out"
    else
        WINE_32BIT=no WINE_32BIT_WHY="this machine cannot start 32-bit programs: ${out##*: }"
    fi
    export WINE_32BIT WINE_32BIT_WHY
    if [ "$WINE_32BIT" = yes ]; then
        note "Windows tests: the 32-bit and the 64-bit build ($WINE_32BIT_WHY)"
    else
        note "Windows tests: the 64-bit build only ($WINE_32BIT_WHY)"
    fi
}

# The Windows architecture of an executable: i686 or x86_64.
exeArch() {
    case $(file -b "$1") in
        PE32+\ *) echo x86_64 ;;
        PE32\ *) echo i686 ;;
        *) fail "$1 is not a Windows executable" ;;
    esac
}

# True when this machine can run Windows programs of architecture $1.
canRunArch() { detectWine32; [ "$1" = x86_64 ] || [ "$WINE_32BIT" = yes ]; }

# Chooses the Wine that runs programs of architecture $1 (i686 or x86_64) for
# the prefixes made after it: `wine` and a 32-bit prefix, or Debian's wine64
# loader (not on the PATH) and a 64-bit prefix.
useWineFor() {
    if [ "$1" = x86_64 ]; then
        WINE=/usr/lib/wine/wine64 WINEARCH=win64
        [ -x "$WINE" ] || fail "no $WINE (Debian package wine64; tools/install-deps.sh all installs it)"
        export WINELOADER=$WINE
    else
        WINE=wine WINEARCH=win32
        unset WINELOADER
    fi
    export WINEARCH
}
WINE=wine WINEARCH=win32

xvfbPid=
wineStarted=
cleanupWine() {
    if [ -n "$wineStarted" ]; then
        # Ends the wineserver of this prefix only, and every process in it.
        wineserver -k 2>/dev/null
        wineStarted=
    fi
    if [ -n "$xvfbPid" ]; then
        kill "$xvfbPid" 2>/dev/null
        wait "$xvfbPid" 2>/dev/null
    fi
    xvfbPid=
}

# Xvfb picks a free display number itself; nothing shared is reused.
startDisplay() {
    # A number left from an earlier display would be read before this server
    # writes its own: the program would then start on a display that is gone.
    rm -f "$tmp/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
    xvfbPid=$!
    local i
    for i in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
    [ -s "$tmp/display" ] || fail "Xvfb did not start: $(tail -n 3 "$tmp/xvfb.log")"
    export DISPLAY=:$(head -n1 "$tmp/display")
}

# A fresh prefix in `$1`, without the Mono and Gecko installers; `$2`, when
# given, is a registry file imported into it. The server is then left to end,
# so that the next program starts with the imported settings (the desktop
# in particular is chosen when the server starts). Wine's own start-up is the
# one thing retried: it occasionally fails on a busy machine.
makePrefix() {
    local settings=${2:-}
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d" WINEARCH
    local attempt
    for attempt in 1 2 3; do
        rm -rf "$WINEPREFIX"
        wineStarted=1
        if timeout 120 "$WINE" wineboot -i >"$tmp/wineboot.log" 2>&1; then
            if [ -z "$settings" ] ||
                timeout 60 "$WINE" regedit /S "$("$WINE" winepath -w "$settings")" >>"$tmp/wineboot.log" 2>&1
            then
                timeout 60 wineserver -w && return 0
            fi
        fi
        wineserver -k 2>/dev/null
        note "Wine prefix creation failed (attempt $attempt); retrying"
    done
    fail "could not create a Wine prefix: $(tail -n 5 "$tmp/wineboot.log")"
}
