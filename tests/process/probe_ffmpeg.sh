#!/usr/bin/env bash
# quorvix-probe against AVI files written by ffmpeg (MJPEG and raw BGR24 video
# with PCM sound): the streams it reports, the samples against ffprobe's
# packets, and pictures against ffmpeg's own decoding.
set -eu
probe="$QUORVIX_BINARY_DIR/tools/probe/quorvix-probe"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

src=(-f lavfi -i testsrc=size=64x48:rate=10 -f lavfi -i sine=frequency=440:sample_rate=8000 -t 2)
ffmpeg -v error "${src[@]}" -c:v mjpeg -c:a pcm_s16le mjpeg.avi
ffmpeg -v error "${src[@]}" -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le bgr24.avi
ffmpeg -v error "${src[@]}" -c:v mpeg4 -g 5 -bf 0 -c:a pcm_s16le mpeg4.avi

for movie in mjpeg bgr24 mpeg4; do
  "$probe" "$movie.avi" >streams.txt || fail "$movie: probe failed"
  grep -q '^video streams: 1$' streams.txt || fail "$movie: video stream count"
  grep -q '^audio streams: 1$' streams.txt || fail "$movie: audio stream count"
  grep -q '^video 0: .* width 64 height -\?48 .* scale 1 rate 10 start 0 length 20 end 2000 ms decoder platform$' streams.txt ||
    fail "$movie: video stream line: $(grep '^video 0' streams.txt)"
  grep -q '^audio 0: .* tag 1 channels 1 samples/s 8000 .* block 2 bits 16 .* length 16000 end 2000 ms$' streams.txt ||
    fail "$movie: audio stream line: $(grep '^audio 0' streams.txt)"
  grep -q '^opendml index: inactive$' streams.txt || fail "$movie: index"

  # Samples: sizes and key flags as ffprobe's packets give them.
  "$probe" --samples "$movie.avi" >samples.txt || fail "$movie: --samples failed"
  head -n 1 samples.txt | grep -q '^#' || fail "$movie: header line"
  tail -n +2 samples.txt | awk '{ print $3, $4 }' >ours.txt
  ffprobe -v error -select_streams v:0 -show_entries packet=size,flags -of compact=p=0 "$movie.avi" |
    sed -E 's/.*size=([0-9]+).*flags=(.).*/\1 \2/; s/ K$/ 1/; s/ _$/ 0/' >theirs.txt
  diff ours.txt theirs.txt >/dev/null || fail "$movie: samples differ from ffprobe: $(diff ours.txt theirs.txt | head -5)"
  [ "$(tail -n +2 samples.txt | awk '{ print $2 }' | sed -n 11p)" = 1000 ] || fail "$movie: sample 10 time"

  # Pictures at several times: exactly what ffmpeg decodes for that frame.
  # (MPEG-4 pictures go through a colour conversion of the file service's
  # own choosing, so only their size is compared.)
  for frame in 0 7 13 19; do
    ms=$((frame * 100 + 50))
    "$probe" --frame "$ms" --out ours.png "$movie.avi" || fail "$movie: --frame $ms failed"
    ffmpeg -v error -i "$movie.avi" -vf "select=eq(n\,$frame)" -frames:v 1 -pix_fmt rgb24 -y theirs.png
    [ "$(identify -format '%w %h' ours.png)" = "64 48" ] || fail "$movie: picture size"
    [ "$movie" = mpeg4 ] && continue
    diff_pixels="$(compare -metric AE ours.png theirs.png null: 2>&1 || true)"
    [ "$diff_pixels" = 0 ] || fail "$movie: frame $frame differs in $diff_pixels pixels"
  done
  "$probe" --frame 2000 --out ours.png "$movie.avi" || fail "$movie: the end time shows the last frame"
  if "$probe" --frame 2001 --out ours.png "$movie.avi" 2>err.txt; then fail "$movie: past the end accepted"; fi
  [ -s err.txt ] || fail "$movie: no error text for a time past the end"
done

if "$probe" "$work/missing.avi" 2>err.txt; then fail "missing file accepted"; fi
grep -q '不能打开' err.txt || fail "missing file: $(cat err.txt)"
echo "probe against ffmpeg files: ok"
