#!/usr/bin/env bash
# Builds the thread and sound tests with ThreadSanitizer (clang) in build-tsan/
# and runs them on the null sound device.
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$top/build-tsan"

if [ ! -f "$build/build.ninja" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVIX_SANITIZE=thread -DQUORVIX_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "${QUORVIX_JOBS:-2}" --target audio_tests >"$build/build-audio.log" 2>&1 ||
  { tail -n 40 "$build/build-audio.log"; exit 1; }
# The real-device case needs the private sound server; the rest use the null device.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  "$build/tests/audio_tests" --gtest_brief=1 --gtest_filter='-AlsaPlayback.*:*ZeroSampleRate*' 2>&1 | tail -n 30
exit "${PIPESTATUS[0]}"
