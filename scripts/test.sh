#!/usr/bin/env bash
# Installs what is needed, builds with the sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${TAVREL_SKIP_INSTALL:-0}" != 1 ]; then ./scripts/install-deps.sh; fi
build=${TAVREL_TEST_BUILD:-build-test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=ON -DTAVREL_TESTS=ON
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
