# Sourced by the process tests: a private X server (Xvfb on a display it
# picks itself) with the openbox window manager, so placement, frames and
# activation behave as on a desktop. Everything started is stopped on exit.
# shellcheck shell=bash

x11_session_start() {
  local fifo dir
  for tool in Xvfb openbox xdotool xwininfo xprop; do
    command -v "$tool" >/dev/null || { echo "missing $tool (tools/setup.sh installs it)"; exit 1; }
  done
  dir=$(mktemp -d /tmp/quorvix-x11-XXXXXX)
  X11_SESSION_DIR=$dir
  fifo="$dir/displayfd"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >"$dir/xvfb.log" 2>&1 &
  X11_XVFB_PID=$!
  local n
  read -r -t 20 n <"$fifo" || { echo "Xvfb did not start"; cat "$dir/xvfb.log"; exit 1; }
  export DISPLAY=":$n"
  unset WAYLAND_DISPLAY
  trap x11_session_stop EXIT
  openbox --sm-disable >"$dir/openbox.log" 2>&1 &
  X11_WM_PID=$!
  # The manager is up once it owns the screen's selection.
  local i
  for i in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.1
  done
  echo "openbox did not start"; cat "$dir/openbox.log"; exit 1
}

# A sound server with only a null sink, for machines without a sound device:
# ALSA's default device goes to it while it runs. Needs x11_session_start
# first (for the clean-up).
x11_null_sound_start() {
  command -v pulseaudio >/dev/null || return 1
  export XDG_RUNTIME_DIR="$X11_SESSION_DIR/runtime"
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    -L module-null-sink -L module-native-protocol-unix >"$X11_SESSION_DIR/pulse.log" 2>&1 &
  X11_PULSE_PID=$!
  local i
  for i in $(seq 1 50); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

x11_session_stop() {
  [ -n "${X11_PULSE_PID:-}" ] && kill "$X11_PULSE_PID" 2>/dev/null
  [ -n "${X11_WM_PID:-}" ] && kill "$X11_WM_PID" 2>/dev/null
  [ -n "${X11_XVFB_PID:-}" ] && kill "$X11_XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  [ -n "${X11_SESSION_DIR:-}" ] && rm -rf "$X11_SESSION_DIR"
  return 0
}

# The outer rectangle "x y width height" of a client window, frame included.
x11_outer_rect() {
  local wid=$1 info x y w h ext l r t b
  info=$(xwininfo -id "$wid") || return 1
  x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
  y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
  w=$(sed -n 's/.*Width: *//p' <<<"$info")
  h=$(sed -n 's/.*Height: *//p' <<<"$info")
  ext=$(xprop -id "$wid" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
  IFS=, read -r l r t b <<<"${ext:-0,0,0,0}"
  echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}
