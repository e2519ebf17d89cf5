#!/usr/bin/env bash
# Installs what is needed, builds everything (Release) and runs the whole test
# suite under a private X server. Extra arguments go to CMake's configure step,
# e.g. tools/run-tests.sh -DQV_SANITIZE=ON with QV_BUILD_DIR=build-asan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
build=${QV_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQV_WERROR=ON "$@"
cmake --build "$build" -j"$(nproc)"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
