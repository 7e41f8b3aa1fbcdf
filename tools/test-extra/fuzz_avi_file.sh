#!/usr/bin/env bash
# Builds the movie-file fuzzer (clang, ASan+UBSan) in build-fuzz/ and runs it
# briefly on the committed seed corpus of small movies. Longer by hand:
#   FUZZ_SECONDS=600 tools/test-extra/fuzz_avi_file.sh
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$top/build-fuzz"
seconds="${FUZZ_SECONDS:-20}"

if [ ! -f "$build/build.ninja" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVIX_FUZZ=ON -DQUORVIX_TESTS=OFF -DQUORVIX_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "${QUORVIX_JOBS:-2}" --target fuzz_avi_file

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/artifacts"
"$build/fuzz/fuzz_avi_file" -max_total_time="$seconds" -rss_limit_mb=1536 -max_len=16384 -timeout=10 \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1 \
  "$scratch" "$top/fuzz/corpus/avi_file" 2>&1 | tail -n 25
exit "${PIPESTATUS[0]}"
