#!/usr/bin/env bash
# Installs what is missing, builds, and opens the player with the given
# switches and movie (the bundled demo movie when none is given).
set -eu
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tools/setup.sh
. "$top/tools/setup.sh"
quorvix_install_packages
quorvix_build "$top"
exec "$top/build/app/quorvix-player" "$@"
