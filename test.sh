#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tools/setup.sh
. "$top/tools/setup.sh"
quorvix_install_packages
quorvix_build "$top"

export QT_QPA_PLATFORM=offscreen
status=0
(cd "$top/build" && ctest --output-on-failure -j 2 --timeout 600 -LE opt-in) || status=1
exit $status
