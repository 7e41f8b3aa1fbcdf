# Shared set-up of run.sh and test.sh (sourced): installs the Debian packages
# the build and the tests need, then configures and builds in build/.
# shellcheck shell=bash

QUORVIX_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  zlib1g-dev libasound2-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  clang-14 libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-wqy-microhei
  pulseaudio pulseaudio-utils libasound2-plugins alsa-utils
  xvfb openbox xdotool x11-utils desktop-file-utils imagemagick
  ffmpeg sox
)

quorvix_install_packages() {
  local missing=()
  local p
  for p in "${QUORVIX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
      echo "Please install as root: apt-get install ${missing[*]}" >&2
      return 1
    fi
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq || return 1
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

quorvix_build() {
  local top="$1"
  local build="$top/build"
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo || return 1
  fi
  cmake --build "$build" -j "${QUORVIX_JOBS:-2}" || return 1
}
