#!/usr/bin/env bash
# Runs the real intro on a virtual display of its own: the scene must show (a
# screenshot that is not blank and mostly the dark purple background) and
# Escape held for half a second must end it with exit code 0 within 2 s.
set -u
intro=$1
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

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$tmp/display")

# The exit code lands in a file the moment the intro ends.
( "$intro" & echo $! >"$tmp/pid"; wait $!; echo $? >"$tmp/rc" ) &
for _ in $(seq 100); do [ -s "$tmp/pid" ] && break; sleep 0.1; done
pid=$(cat "$tmp/pid")
timeout 10 xdotool search --sync --onlyvisible --pid "$pid" >/dev/null || fail "no window appeared"
sleep 1.5
[ -e "$tmp/rc" ] && fail "the intro ended by itself"

import -window root "$tmp/shot.png" || fail "no screenshot"
colours=$(identify -format '%k' "$tmp/shot.png")
# Share of pixels in the clear colour (0.2, 0, 0.1) = rgb(51, 0, 26).
purple=$(convert "$tmp/shot.png" -fill white -fuzz 1% -opaque 'rgb(51,0,26)' -fill black +opaque white \
         -colorspace gray -format '%[fx:mean]' info:)
echo "screenshot: $colours colours, purple share $purple"
[ "$colours" -gt 100 ] || fail "the screen is (nearly) blank: $colours colours"
awk -v p="$purple" 'BEGIN { exit !(p > 0.4 && p < 0.98) }' || fail "no purple background: share $purple"

# Hold Escape: a tap can fall between two polls and read as released.
start=$(date +%s%N)
xdotool keydown Escape
( sleep 0.5; xdotool keyup Escape ) &
release=$!
ended=
while [ $(( ($(date +%s%N) - start) / 1000000 )) -lt 2000 ]; do
    if [ -s "$tmp/rc" ]; then ended=1; break; fi
    sleep 0.02
done
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
wait "$release"
[ -n "$ended" ] || fail "still running 2 s after Escape"
rc=$(cat "$tmp/rc")
pid=
echo "exit code $rc, within $elapsed ms after Escape went down"
[ "$rc" -eq 0 ] || fail "exit code $rc"
