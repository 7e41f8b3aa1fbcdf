#!/usr/bin/env bash
# Builds the movie-file fuzzer (clang, ASan+UBSan) in build-fuzz/ and runs it
# briefly on the committed seed corpus of small movies. Longer by hand:
#   FUZZ_SECONDS=600 tools/test-extra/fuzz_avi_file.sh
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$top/build-fuzz"
seconds="${FUZZ_SECONDS:-20}"

# shellcheck source=tools/clang-build.sh
. "$top/tools/clang-build.sh"
quorvix_clang_build "$build" fuzz_avi_file -DQUORVIX_FUZZ=ON -DQUORVIX_TESTS=OFF

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/artifacts"
"$build/fuzz/fuzz_avi_file" -max_total_time="$seconds" -rss_limit_mb=1536 -max_len=16384 -timeout=10 \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1 \
  "$scratch" "$top/fuzz/corpus/avi_file" 2>&1 | tail -n 25
exit "${PIPESTATUS[0]}"
