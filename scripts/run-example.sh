#!/usr/bin/env bash
# Installs the packages the program needs, builds it and compiles the shipped
# example show into build/examples/show.swf.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${TAVREL_SKIP_INSTALL:-0}" != 1 ]; then ./scripts/install-deps.sh; fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTAVREL_TESTS=OFF
cmake --build build -j"$(nproc)"
./build/Tavrel.app/Contents/MacOS/tavrel build/examples/show.tvr build/examples/show.swf "$@"
