#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  exec sudo "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq \
  build-essential cmake pkg-config ca-certificates \
  libsdl2-dev libgl-dev libgl1-mesa-dri libglx-mesa0 \
  libpng-dev zlib1g-dev libjpeg62-turbo-dev \
  libgtest-dev libbenchmark-dev libglm-dev libstb-dev \
  xvfb xauth xfonts-base x11-utils xdotool imagemagick netpbm python3 python3-pil locales \
  clang libclang-rt-14-dev
