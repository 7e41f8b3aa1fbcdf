#!/usr/bin/env bash
# Builds the platform tests with ThreadSanitizer (clang) in build-tsan/ and runs
# the cases that use the AVI file service from several threads at once.
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$top/build-tsan"

# shellcheck source=tools/clang-build.sh
. "$top/tools/clang-build.sh"
quorvix_clang_build "$build" platform_tests -DQUORVIX_SANITIZE=thread
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  "$build/tests/platform_tests" --gtest_brief=1 \
  --gtest_filter='*Thread*:AviFileService.*' 2>&1 | tail -n 30
exit "${PIPESTATUS[0]}"
