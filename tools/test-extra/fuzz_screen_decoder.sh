#!/usr/bin/env bash
# Builds the screen-codec fuzzer (clang, ASan+UBSan) in build-fuzz/ and runs
# it briefly on the committed seed corpus. Longer by hand:
#   FUZZ_SECONDS=600 tools/test-extra/fuzz_screen_decoder.sh
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$top/build-fuzz"
seconds="${FUZZ_SECONDS:-10}"

# shellcheck source=tools/clang-build.sh
. "$top/tools/clang-build.sh"
quorvix_clang_build "$build" fuzz_screen_decoder -DQUORVIX_FUZZ=ON -DQUORVIX_TESTS=OFF

# New inputs go to a scratch corpus, crashes to build-fuzz/artifacts/; the
# committed corpus is only read.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/artifacts"
"$build/fuzz/fuzz_screen_decoder" -max_total_time="$seconds" -rss_limit_mb=1024 -max_len=65536 \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1 \
  "$scratch" "$top/fuzz/corpus/screen_decoder" 2>&1 | tail -n 25
exit "${PIPESTATUS[0]}"
