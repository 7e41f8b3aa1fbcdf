#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tools/setup.sh
. "$top/tools/setup.sh"
quorvix_install_packages
quorvix_build "$top"

export QT_QPA_PLATFORM=offscreen
export QUORVIX_SOURCE_DIR="$top" QUORVIX_BINARY_DIR="$top/build"

# Services the tests need (sound server, X server): each file in
# tools/test-env starts one, exports what the tests need to reach it and
# appends its clean-up to QUORVIX_CLEANUP.
QUORVIX_CLEANUP=()
quorvix_cleanup() {
  local i
  for ((i = ${#QUORVIX_CLEANUP[@]} - 1; i >= 0; i--)); do eval "${QUORVIX_CLEANUP[$i]}" || true; done
}
trap quorvix_cleanup EXIT
for env_script in "$top"/tools/test-env/*.sh; do
  [ -e "$env_script" ] || continue
  # shellcheck source=/dev/null
  . "$env_script"
done

status=0
(cd "$top/build" && ctest --output-on-failure -j 2 --timeout 600 -LE opt-in) || status=1

# Further bounded runs: sanitizer builds, fuzzers. Each prints its own result
# and exits non-zero on failure.
for extra in "$top"/tools/test-extra/*.sh; do
  [ -e "$extra" ] || continue
  echo "== $(basename "$extra")"
  bash "$extra" || { echo "FAILED: $(basename "$extra")"; status=1; }
done
exit $status
