#!/usr/bin/env bash
# Ctrl-C in the intro's terminal (SIGINT) and SIGTERM end the native intro as
# Escape does: exit code 0 within a few frames.
set -u
intro=$1
. "$(dirname "$0")/intro_run.sh"

# A program started in the background by a script begins with SIGINT
# ignored; a terminal's foreground program does not. Start it as the latter.
cat >"$tmp/foreground" <<PY
#!/usr/bin/env python3
import os, signal
signal.signal(signal.SIGINT, signal.SIG_DFL)
os.execv("$intro", ["$intro"])
PY
chmod +x "$tmp/foreground"

startDisplay
for signal in INT TERM; do
    rm -f "$tmp/rc" "$tmp/pid"
    startIntro "$tmp/foreground"
    sleep 0.5
    [ -e "$tmp/rc" ] && fail "the intro ended by itself"
    start=$(date +%s%N)
    kill -s "$signal" "$pid"
    for _ in $(seq 100); do [ -s "$tmp/rc" ] && break; sleep 0.01; done
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    [ -s "$tmp/rc" ] || fail "still running 1 s after SIG$signal"
    pid=
    rc=$(cat "$tmp/rc")
    echo "SIG$signal: exit code $rc after $ms ms"
    [ "$rc" -eq 0 ] || fail "exit code $rc after SIG$signal"
done
