#!/usr/bin/env bash
# Installs what is needed, builds the program and runs it on the shipped example show.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${TAVREL_SKIP_INSTALL:-0}" != 1 ]; then ./scripts/install-deps.sh; fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTAVREL_TESTS=OFF
cmake --build build -j"$(nproc)"
# The show compiler is not built yet: the program says so and exits.
./build/Tavrel.app/Contents/MacOS/tavrel
