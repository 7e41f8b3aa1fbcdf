#!/usr/bin/env bash
# Opt-in (writes 1.2 GB): an OpenDML movie over 1 GiB written by ffmpeg with
# the screen codec's tag. The large-file index must be active and agree with
# ffprobe's packets: data offset, size and key flag of every video sample.
#   ctest -L opt-in
set -eu
probe="$QUORVIX_BINARY_DIR/tools/probe/quorvix-probe"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Raw 1280x720 pictures (2.7 MB each) under the "wyxc" tag: 420 frames make
# three RIFF parts. The content is not screen-codec data; only the index is
# checked.
ffmpeg -v error -f lavfi -i testsrc=size=1280x720:rate=15 -f lavfi -i sine=frequency=440:sample_rate=22050 -t 28 \
  -c:v rawvideo -pix_fmt bgr24 -vtag wyxc -strict unofficial -c:a pcm_s16le big.avi
size=$(stat -c %s big.avi)
[ "$size" -gt 1073741824 ] || fail "the movie is not over 1 GiB ($size bytes)"

"$probe" big.avi >streams.txt || fail "probe failed"
grep -q '^opendml index: active$' streams.txt || fail "index not active: $(cat streams.txt)"
grep -q '^video 0: type vids handler wyxc compression wyxc .* length 420 ' streams.txt || fail "video line"

"$probe" --index big.avi | tail -n +2 | awk '{ print $2, $3, $4 }' >ours.txt
ffprobe -v error -select_streams v:0 -show_entries packet=pos,size,flags -of compact=p=0 big.avi |
  sed -E 's/.*size=([0-9]+).*pos=([0-9]+).*flags=(.).*/\2 \1 \3/; s/ K$/ 1/; s/ _$/ 0/' >theirs.txt
[ "$(wc -l <ours.txt)" = 420 ] || fail "index holds $(wc -l <ours.txt) entries"
diff ours.txt theirs.txt >/dev/null || fail "index differs from ffprobe: $(diff ours.txt theirs.txt | head -5)"

# --samples takes the same index.
"$probe" --samples big.avi | tail -n +2 | awk '{ print $3, $4 }' >samples.txt
awk '{ print $2, $3 }' theirs.txt | diff - samples.txt >/dev/null || fail "--samples differs from ffprobe"
echo "large ffmpeg movie: index matches ffprobe"
