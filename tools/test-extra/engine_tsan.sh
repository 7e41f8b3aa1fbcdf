#!/usr/bin/env bash
# Builds the engine tests with ThreadSanitizer (clang) in build-tsan/ and runs
# the movie window's random transport loop briefly: no race report, no
# dead-lock, no crash. Longer by hand:
#   STRESS_SECONDS=300 tools/test-extra/engine_tsan.sh
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$top/build-tsan"
seconds="${STRESS_SECONDS:-8}"

# shellcheck source=tools/clang-build.sh
. "$top/tools/clang-build.sh"
quorvix_clang_build "$build" engine_tests -DQUORVIX_SANITIZE=thread

# Qt itself is not instrumented (suppressions file).
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$top/tools/test-extra/engine_tsan.supp"
export QT_QPA_PLATFORM=offscreen QUORVIX_STRESS_SECONDS="$seconds"
# A hang is a failure too.
timeout $((seconds + 120)) "$build/tests/engine_tests" --gtest_brief=1 --gtest_filter='MovieStress*' 2>&1 | tail -n 40
exit "${PIPESTATUS[0]}"
