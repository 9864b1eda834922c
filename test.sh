#!/usr/bin/env bash
# Builds Lumo Card with its tests (installing what they need on Debian 12) and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh --tests
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_BUILD_TESTS=ON -DLUMO_BUILD_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)"
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
