#!/usr/bin/env bash
# Builds Lumo Card (installing what it needs on Debian 12) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_BUILD_TESTS=OFF -DLUMO_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target lumocard
exec ./build/app/lumocard "$@"
