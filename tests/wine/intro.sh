#!/usr/bin/env bash
# The Windows intro end to end under Wine, as a user would run it: on a virtual
# display, in a fresh Wine prefix, with ALSA's file plugin as the only sound
# device (a configuration of this run's own, read through ALSA_CONFIG_PATH).
#   1. The scene must show (purple background, the box, the text panel); a
#      held Escape must end the program with exit code 0 within 2 s; and the
#      sound the device received must equal `xmtool render` of the embedded
#      tune from the first sample on, for at least ten seconds.
#   2. With no usable sound device the scene must still show, nothing may be
#      heard, and Escape must still end it with exit code 0.
# The program itself always asks for full screen. Wine's virtual desktop
# (1,024 x 768, the size of the virtual screen) plays the part of the Windows
# desktop: Wine itself then manages the windows as Windows does, so the
# maximised pop-up gets the whole screen without any X window manager. (An X
# window manager would work too, but then the maximising is the manager's
# policy rather than Windows behaviour, and it is one more package and
# process to trust.)
# Usage: intro.sh INTRO_EXE NATIVE_XMTOOL TUNE_XM
set -u
here=$(cd "$(dirname "$0")" && pwd)
intro=$(realpath "$1")
xmtool=$(realpath "$2")
tune=$(realpath "$3")
tmp=$(mktemp -d)
. "$here/common.sh"
readerPid=
cleanup() {
    [ -n "$readerPid" ] && kill "$readerPid" 2>/dev/null
    cleanupWine
    rm -rf "$tmp"
}
trap cleanup EXIT

needTools wine:wine wineserver:wine Xvfb:xvfb xdotool:xdotool import:imagemagick \
          convert:imagemagick python3:python3 file:file
[ -f "$intro" ] || fail "no $intro (build the Windows target first)"
useWineFor "$(exeArch "$intro")"
[ -x "$xmtool" ] || fail "no native xmtool at $xmtool"

seconds=10
need=$(( 176400 * (seconds + 1) ))

# The registry settings of a run: Wine's ALSA driver, so that no sound server
# elsewhere can take the sound, and the virtual desktop.
cat >"$tmp/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Audio"="alsa"

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"
REG

# Starts the intro in a fresh prefix; $1 names the ALSA configuration.
startIntro() {
    makePrefix "$tmp/prefix" "$tmp/settings.reg"
    rm -f "$tmp/rc"
    ( cd "$tmp" && ALSA_CONFIG_PATH=$1 "$WINE" "$intro" >"$tmp/intro.log" 2>&1; echo $? >"$tmp/rc" ) &
}

# Screenshot analysis: shares of the purple clear colour, the box and the text.
shotCheck() {
    import -window root "$tmp/shot.png" 2>/dev/null || { echo "no screenshot"; return 1; }
    convert "$tmp/shot.png" -depth 8 rgb:"$tmp/shot.rgb" && python3 "$here/check_scene.py" "$tmp/shot.rgb" 1024 768
}

# Waits up to $1 s for the scene to appear.
waitForScene() {
    local deadline=$(( $(date +%s) + $1 ))
    while [ "$(date +%s)" -lt "$deadline" ]; do
        [ -e "$tmp/rc" ] && fail "the intro ended by itself (exit code $(cat "$tmp/rc")): $(tail -n 5 "$tmp/intro.log")"
        shotCheck >/dev/null 2>&1 && return 0
        sleep 0.5
    done
    shotCheck
    cp "$tmp/shot.png" "${WINE_TEST_SHOTS:-/dev/null}" 2>/dev/null
    fail "the scene did not appear within $1 s"
}

# Holds Escape for half a second (a tap can fall between two polls) and
# checks that the program ends with exit code 0 within 2 s.
escapeAndExit() {
    local start elapsed
    start=$(date +%s%N)
    xdotool keydown Escape
    ( sleep 0.5; xdotool keyup Escape ) &
    local release=$!
    while [ $(( ($(date +%s%N) - start) / 1000000 )) -lt 2000 ]; do
        [ -s "$tmp/rc" ] && break
        sleep 0.02
    done
    elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
    wait "$release"
    [ -s "$tmp/rc" ] || fail "still running 2 s after Escape went down"
    local rc
    rc=$(cat "$tmp/rc")
    note "  exit code $rc, $elapsed ms after Escape went down"
    [ "$rc" -eq 0 ] || fail "exit code $rc: $(tail -n 5 "$tmp/intro.log")"
}

startDisplay
"$xmtool" render --seconds $(( seconds + 2 )) "$tune" "$tmp/render.wav" >/dev/null 2>&1 \
    || fail "xmtool render of $tune failed"

note "run 1: sound captured through ALSA's file plugin"
t0=$(date +%s%N)
mkfifo "$tmp/capture.fifo"
printf 'pcm.!default { type file slave.pcm { type null } file "%s" format "raw" }\n' \
    "$tmp/capture.fifo" >"$tmp/asound.conf"
python3 "$here/pace_capture.py" "$tmp/capture.fifo" "$tmp/capture.raw" &
readerPid=$!
startIntro "$tmp/asound.conf"
waitForScene 60
note "  scene after $(( ($(date +%s%N) - t0) / 1000000 )) ms: $(shotCheck)"
for _ in $(seq 600); do
    size=$(stat -c %s "$tmp/capture.raw" 2>/dev/null || echo 0)
    [ "$size" -ge "$need" ] && break
    [ -e "$tmp/rc" ] && fail "the intro ended by itself"
    sleep 0.1
done
[ "$size" -ge "$need" ] || fail "only $size bytes of sound reached the device in 60 s"
shotCheck >/dev/null || fail "the scene is gone after $seconds s of sound: $(shotCheck)"
escapeAndExit
kill "$readerPid" 2>/dev/null; readerPid=
note "  device segments (bytes): $(tr '\n' ' ' <"$tmp/capture.raw.segments")"
python3 "$here/compare_capture.py" "$tmp/capture.raw" "$tmp/render.wav" "$seconds" "$tmp/capture.raw.segments" \
    || exit 1
cleanupWine; startDisplay
note "  run 1 took $(( ($(date +%s%N) - t0) / 1000000 )) ms"

note "run 2: no usable sound device"
t0=$(date +%s%N)
: >"$tmp/empty.conf"
startIntro "$tmp/empty.conf"
waitForScene 60
note "  scene after $(( ($(date +%s%N) - t0) / 1000000 )) ms: $(shotCheck)"
sleep 2
grep -q 'Unknown PCM default' "$tmp/intro.log" && note "  sound device: none (ALSA knows no default device)"
escapeAndExit
note "  run 2 took $(( ($(date +%s%N) - t0) / 1000000 )) ms"
note "the Windows intro runs under Wine, plays exactly the tune and ends on Escape"
