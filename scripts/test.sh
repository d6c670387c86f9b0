#!/usr/bin/env bash
# Installs what is needed, builds with the sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${TAVREL_SKIP_INSTALL:-0}" != 1 ]; then ./scripts/install-deps.sh; fi
build=${TAVREL_TEST_BUILD:-build-test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=ON -DTAVREL_TESTS=ON
cmake --build "$build" -j"$(nproc)"
# ctest lists the tests that skipped; the count ends the run, since a
# machine without the SWF checkers (or Chromium) passes without playing a
# single movie.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" | tee "$log" || status=$?
skipped=$(grep -c '(Skipped)$' "$log" || true)
if [ "$skipped" -gt 0 ]; then
  echo "$skipped checks skipped: they need ${TAVREL_SHARED_DIR:-../shared} (swf-dump and swf-shot in its" \
    "tools folder, the SWF corpus) and Chromium; a test program run alone says why each one skipped"
fi
exit "$status"
