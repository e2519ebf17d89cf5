#!/usr/bin/env bash
# Installs what is needed, builds the viewer (Release) and runs it on the
# height map shipped in assets/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCHMARKS=OFF
cmake --build build -j"$(nproc)" --target quorvane-viewer
cd assets
exec ../build/app/quorvane-viewer
