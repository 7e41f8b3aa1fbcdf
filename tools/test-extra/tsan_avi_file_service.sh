#!/usr/bin/env bash
# Builds the platform tests with ThreadSanitizer (clang) in build-tsan/ and runs
# the cases that use the AVI file service from several threads at once.
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$top/build-tsan"

if [ ! -f "$build/build.ninja" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVIX_SANITIZE=thread -DQUORVIX_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "${QUORVIX_JOBS:-2}" --target platform_tests >"$build/build.log" 2>&1 ||
  { tail -n 40 "$build/build.log"; exit 1; }
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  "$build/tests/platform_tests" --gtest_brief=1 \
  --gtest_filter='*Thread*:AviFileService.*' 2>&1 | tail -n 30
exit "${PIPESTATUS[0]}"
