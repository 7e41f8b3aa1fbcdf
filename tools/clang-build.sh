# shellcheck shell=bash
# Shared by the bounded extra runs in tools/test-extra (sourced): configures a
# clang build folder once and builds one target in it, quietly; on failure
# the end of the build log is shown.
#   quorvix_clang_build BUILD_DIR TARGET CMAKE_OPTION...
quorvix_clang_build() {
  local build="$1" target="$2"
  shift 2
  local top
  top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  if [ ! -f "$build/build.ninja" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DQUORVIX_BENCH=OFF "$@" >/dev/null || return 1
  fi
  cmake --build "$build" -j "${QUORVIX_JOBS:-2}" --target "$target" >"$build/build-$target.log" 2>&1 ||
    { tail -n 40 "$build/build-$target.log"; return 1; }
}
