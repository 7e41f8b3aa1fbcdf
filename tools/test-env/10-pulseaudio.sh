# shellcheck shell=bash
# A private PulseAudio with one null sink ("test", 22050 Hz mono s16, so what
# reaches it is not resampled), and a private ALSA configuration whose
# "default" device reaches it through the pulse plugin. The host's sound
# set-up is never touched. Tests find the sink through QUORVIX_TEST_SOUND_SINK.
quorvix_sound_dir="$QUORVIX_BINARY_DIR/test-sound"
rm -rf "$quorvix_sound_dir"
mkdir -p "$quorvix_sound_dir/run" "$quorvix_sound_dir/home"
chmod 700 "$quorvix_sound_dir/run"
export XDG_RUNTIME_DIR="$quorvix_sound_dir/run"
export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
cat > "$quorvix_sound_dir/asound.conf" <<ALSA
pcm.!default { type pulse }
ctl.!default { type pulse }
ALSA
# Only this file: neither the host's /etc/asound.conf nor ~/.asoundrc is read.
export ALSA_CONFIG_PATH="$quorvix_sound_dir/asound.conf"
if command -v pulseaudio >/dev/null 2>&1 &&
  HOME="$quorvix_sound_dir/home" pulseaudio --daemonize=yes --exit-idle-time=-1 -n --use-pid-file=yes \
    --load="module-null-sink sink_name=test rate=22050 channels=1 format=s16le" \
    --load="module-native-protocol-unix auth-anonymous=1" >"$quorvix_sound_dir/pulseaudio.log" 2>&1; then
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink test >/dev/null 2>&1 || true
  export QUORVIX_TEST_SOUND_SINK=test
  echo "Private sound server running (sink 'test')."
  QUORVIX_CLEANUP+=("pactl exit >/dev/null 2>&1")
else
  echo "warning: no private sound server; the ALSA playback test will be skipped" >&2
fi
