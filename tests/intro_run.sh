# Shared by the scripts that run the real native intro (sourced, not run):
# a virtual display of its own, the intro started with its exit code caught,
# Escape held, and clean-up of everything started.
tmp=$(mktemp -d)
xvfb=
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Xvfb picks a free display number itself: nothing another run holds is reused.
startDisplay() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
    [ -s "$tmp/display" ] || fail "Xvfb did not start"
    export DISPLAY=:$(head -n1 "$tmp/display")
}

# startIntro PROGRAM: runs it in the background; its exit code lands in
# $tmp/rc the moment it ends. Waits for its window.
startIntro() {
    ( "$1" & echo $! >"$tmp/pid"; wait $!; echo $? >"$tmp/rc" ) &
    for _ in $(seq 100); do [ -s "$tmp/pid" ] && break; sleep 0.1; done
    pid=$(cat "$tmp/pid")
    timeout 10 xdotool search --sync --onlyvisible --pid "$pid" >/dev/null || fail "no window appeared"
}

# Holds Escape for half a second (a tap can fall between two polls and read as
# pressed and released) and waits up to 2 s for the intro to end; sets
# escapeMs to how long it took.
holdEscapeUntilEnd() {
    local start ended=
    start=$(date +%s%N)
    xdotool keydown Escape
    ( sleep 0.5; xdotool keyup Escape ) &
    local release=$!
    while [ $(( ($(date +%s%N) - start) / 1000000 )) -lt 2000 ]; do
        if [ -s "$tmp/rc" ]; then ended=1; break; fi
        sleep 0.02
    done
    escapeMs=$(( ($(date +%s%N) - start) / 1000000 ))
    wait "$release"
    [ -n "$ended" ] || fail "still running 2 s after Escape"
    pid=
}
