#!/usr/bin/env bash
# Builds the thread and sound tests with ThreadSanitizer (clang) in build-tsan/
# and runs them on the null sound device.
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$top/build-tsan"

# shellcheck source=tools/clang-build.sh
. "$top/tools/clang-build.sh"
quorvix_clang_build "$build" audio_tests -DQUORVIX_SANITIZE=thread
# The real-device case needs the private sound server; the rest use the null device.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  "$build/tests/audio_tests" --gtest_brief=1 --gtest_filter='-AlsaPlayback.*:*ZeroSampleRate*' 2>&1 | tail -n 30
exit "${PIPESTATUS[0]}"
