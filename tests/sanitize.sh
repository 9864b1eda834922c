#!/usr/bin/env bash
# Builds the program and its tests with AddressSanitizer and UndefinedBehaviorSanitizer
# (-DLUMO_SANITIZE=ON) into build-asan and runs the whole suite with leak checking. Any
# report fails the run: UBSan stops at the first finding, ASan and LeakSanitizer make the
# test's process fail.
#
#   tests/sanitize.sh [ctest arguments]
#
# tests/lsan.supp may silence leaks that belong to system libraries and live as long as the
# process (fontconfig's caches, Qt's plug-ins); see that file. The whole-program check runs the
# sanitized program too, under Xvfb, where the X tools are installed.
set -euo pipefail
cd "$(dirname "$0")/.."

./tools/install-deps.sh --tests
cmake -S . -B build-asan -DLUMO_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_BUILD_BENCH=OFF >/dev/null
# Test discovery runs the test programs while building; leaks are checked in the runs below.
ASAN_OPTIONS=detect_leaks=0 cmake --build build-asan -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-asan
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
