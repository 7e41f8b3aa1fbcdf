#!/usr/bin/env bash
# The built player answers --version and --help, and starts headless and
# keeps running until it is told to go.
set -eu
player="$QUORVIX_BINARY_DIR/app/quorvix-player"

out=$("$player" --version)
[ "$out" = "Quorvix 播放器 4.0.2" ] || { echo "unexpected version: $out"; exit 1; }
"$player" --help | grep -q -- "/BCRGB(r,g,b)" || { echo "usage lacks the switch table"; exit 1; }

QT_QPA_PLATFORM=offscreen "$player" /打开 &
pid=$!
sleep 2
kill -0 "$pid" || { echo "player did not stay up"; exit 1; }
kill "$pid"
wait "$pid" || true
echo "smoke: ok"
