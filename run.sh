#!/usr/bin/env bash
# Installs what is missing, builds, and opens the player with the given
# switches and movie (the bundled demo movie when none is given).
#
# Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) the player runs
# in a private X server instead: it plays the movie to its end (/E) and a
# screenshot taken half-way is saved under build/.
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tools/setup.sh
. "$top/tools/setup.sh"
quorvix_install_packages
quorvix_build "$top"

player="$top/build/app/quorvix-player"
args=("$@")

# The movie is the last argument; switches never end in ".avi".
movie=""
if [ ${#args[@]} -gt 0 ]; then
  last="${args[${#args[@]}-1]}"
  shopt -s nocasematch
  if [[ "$last" == *.avi ]] || [ -f "$last" ]; then movie="$last"; fi
  shopt -u nocasematch
fi
if [ -z "$movie" ]; then
  movie="$top/build/demo/quorvix-demo.avi"
  generator="$top/build/tools/demo/quorvix-demo-movie"
  if [ ! -f "$movie" ] || [ "$generator" -nt "$movie" ]; then
    mkdir -p "$(dirname "$movie")"
    QT_QPA_PLATFORM=offscreen "$generator" "$movie" 2>/dev/null
  fi
  args+=("$movie")
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$player" "${args[@]}"
fi

# ---- no display: play it in a private X server and take a screenshot ----
# shellcheck source=tests/process/x11_session.bash
. "$top/tests/process/x11_session.bash"
x11_session_start
# Without a sound server there is usually no sound device either; the movie
# then plays into a null sink instead of stopping at a message.
if ! pactl info >/dev/null 2>&1; then
  x11_null_sound_start && echo "No sound server: the sound plays into a private null sink."
fi
shot="$top/build/run-screenshot.png"
rm -f "$shot"
echo "No display: playing $movie in a private X server ($DISPLAY)."
QT_QPA_PLATFORM=xcb "$player" /E "${args[@]}" &
pid=$!
# Half-way through the ten-second demo (any other movie: after five seconds).
sleep 5
if kill -0 "$pid" 2>/dev/null; then
  import -window root "$shot" 2>/dev/null && echo "Screenshot taken mid-way: $shot"
fi
# The player ends itself at the end of the movie; give it a generous bound.
for _ in $(seq 1 600); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.5
done
if kill -0 "$pid" 2>/dev/null; then
  echo "The player did not end by itself; stopping it."
  kill "$pid"
fi
status=0
wait "$pid" || status=$?
echo "Player exit status: $status"
[ -f "$shot" ] && echo "Screenshot: $shot"
exit "$status"
