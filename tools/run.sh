#!/usr/bin/env bash
# Builds letter-quiz and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target letter-quiz
exec build/letter-quiz "$@"
