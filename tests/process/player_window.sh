#!/usr/bin/env bash
# The built player on a desktop (Xvfb with openbox): found by its window
# class, placed by /P and /Z as the user sees the window (frame included),
# maximised and restored by a double click, and /E ends the program by
# itself at the end of the movie.
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
player="$QUORVIX_BINARY_DIR/app/quorvix-player"
demo="$QUORVIX_BINARY_DIR/tools/demo/quorvix-demo-movie"
class=PLAYER_CLASS_ACA86486_87EF_4138_BBF8_2ED4341A0DBD
# shellcheck source=tests/process/x11_session.bash
. "$here/x11_session.bash"
x11_session_start
export QT_QPA_PLATFORM=xcb
work="$X11_SESSION_DIR"

fail() { echo "player_window: $*"; exit 1; }

# ---- window class and outer placement -----------------------------------
"$player" /P10,10 /Z640,480 >"$work/placed.log" 2>&1 &
pid=$!
wid=$(timeout 20 xdotool search --sync --classname "$class" | head -1) || fail "no window of class $class"
xprop -id "$wid" WM_CLASS | grep -q "\"$class\", \"$class\"" || fail "WM_CLASS: $(xprop -id "$wid" WM_CLASS)"
want="10 10 640 480"
got=""
for _ in $(seq 1 100); do
  got=$(x11_outer_rect "$wid" || true)
  [ "$got" = "$want" ] && break
  sleep 0.1
done
[ "$got" = "$want" ] || fail "outer rectangle is ($got), expected ($want)"

# ---- a double click around the picture maximises the fixed-size window,
# ---- a second one restores it where it was ---------------------------------
read -r x y w h <<<"$got"
maximised() { xprop -id "$wid" _NET_WM_STATE | grep -q _NET_WM_STATE_MAXIMIZED_HORZ; }
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click --repeat 2 --delay 60 1
for _ in $(seq 1 50); do maximised && break; sleep 0.1; done
maximised || fail "a double click did not maximise the window"
sleep 0.5
xdotool mousemove 640 512 click --repeat 2 --delay 60 1
for _ in $(seq 1 50); do maximised || break; sleep 0.1; done
maximised && fail "a second double click did not restore the window"
for _ in $(seq 1 50); do
  got=$(x11_outer_rect "$wid" || true)
  [ "$got" = "$want" ] && break
  sleep 0.1
done
[ "$got" = "$want" ] || fail "restored to ($got), expected ($want)"
kill "$pid"
wait "$pid" 2>/dev/null || true

# ---- /E: exits by itself with status 0 at the end of the movie ----------
"$demo" "$work/short.avi" 3 --silent >/dev/null 2>&1 || fail "cannot write the fixture movie"
start=$(date +%s)
status=0
timeout 90 "$player" /E "$work/short.avi" >"$work/exit.log" 2>&1 || status=$?
elapsed=$(($(date +%s) - start))
[ "$status" -eq 0 ] || { cat "$work/exit.log"; fail "/E ended with status $status"; }
# The movie lasts 3 s; ending much earlier means it never played.
[ "$elapsed" -ge 2 ] || fail "/E ended after ${elapsed}s, before the movie could have played"
echo "player_window: ok"
