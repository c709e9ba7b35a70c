#!/usr/bin/env bash
# Runs the real intro on a virtual display of its own: the scene must show (a
# screenshot that is not blank and mostly the dark purple background) and
# Escape held for half a second must end it with exit code 0 within 2 s.
set -u
intro=$1
. "$(dirname "$0")/intro_run.sh"

startDisplay
startIntro "$intro"
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

holdEscapeUntilEnd
rc=$(cat "$tmp/rc")
echo "exit code $rc, within $escapeMs ms after Escape went down"
[ "$rc" -eq 0 ] || fail "exit code $rc"
