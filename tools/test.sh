#!/usr/bin/env bash
# Builds letter-quiz and runs the whole test suite twice: a plain build in
# build/, then every target with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer in build-asan/.  Both runs must pass.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DLQ_WERROR=ON
cmake --build build
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$(nproc)"

cmake -S . -B build-asan -G Ninja -DLQ_WERROR=ON -DLQ_SANITIZE=ON
cmake --build build-asan
# The first report stops the test process with its stack, so the test fails.
# tools/lsan.supp lists the leaks of third-party libraries that are let pass.
ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:print_stacktrace=1 \
UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1 \
LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0" \
QT_QPA_PLATFORM=offscreen \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
