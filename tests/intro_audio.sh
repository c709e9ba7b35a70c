#!/usr/bin/env bash
# Runs the real intro on a virtual display of its own with SDL's disk audio
# driver, which records exactly what the device was handed at real-time pace,
# and checks that the first ten seconds recorded are the offline render of the
# embedded tune, sample for sample. Escape must still end it with exit code 0.
set -u
intro=$1
xmtool=$2
tune=$3
. "$(dirname "$0")/intro_run.sh"

seconds=10
need=$(( 176400 * seconds + 2 * 4096 ))   # ten seconds and room for a leading silence

startDisplay
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$tmp/capture.raw"
startIntro "$intro"

# The disk driver runs at real-time pace: wait for ten seconds of sound.
for _ in $(seq 300); do
    size=$(stat -c %s "$tmp/capture.raw" 2>/dev/null || echo 0)
    [ "$size" -ge "$need" ] && break
    [ -e "$tmp/rc" ] && fail "the intro ended by itself"
    sleep 0.1
done
[ "$size" -ge "$need" ] || fail "only $size bytes of sound recorded in 30 s (is the audio device working?)"

holdEscapeUntilEnd
rc=$(cat "$tmp/rc")
[ "$rc" -eq 0 ] || fail "exit code $rc"

"$xmtool" render --seconds $(( seconds + 1 )) "$tune" "$tmp/render.wav" 2>/dev/null || fail "xmtool render failed"

python3 - "$tmp/capture.raw" "$tmp/render.wav" "$seconds" <<'PY' || exit 1
import sys
capture = open(sys.argv[1], 'rb').read()
wav = open(sys.argv[2], 'rb').read()
seconds = int(sys.argv[3])
# Find the data chunk of the render.
pos = 12
while pos + 8 <= len(wav) and wav[pos:pos + 4] != b'data':
    pos += 8 + int.from_bytes(wav[pos + 4:pos + 8], 'little')
render = wav[pos + 8:]

def first_sound(data):
    for i in range(0, len(data) - 3, 4):
        if data[i:i + 4] != b'\0\0\0\0':
            return i
    return None

a, b = first_sound(capture), first_sound(render)
if a is None or b is None:
    print('FAIL: %s is silent' % ('the recording' if a is None else 'the render'))
    sys.exit(1)
lead = a - b
if lead < 0 or lead > 2 * 4096:
    print('FAIL: the recording starts %d frames after the render (expected 0 or 1,024)' % (lead // 4))
    sys.exit(1)
n = 176400 * seconds
got, want = capture[lead:lead + n], render[:n]
if got != want:
    first = next(i for i in range(min(len(got), len(want))) if got[i] != want[i]) if len(got) == len(want) else min(len(got), len(want))
    frame = first // 4
    print('FAIL: the recording departs from the render at frame %d (%.3f s); an underrun shows as a stale or repeated block' % (frame, frame / 44100))
    sys.exit(1)
print('the first %d s recorded equal the offline render (recording led by %d frames of silence)' % (seconds, lead // 4))
PY
