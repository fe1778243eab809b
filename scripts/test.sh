#!/usr/bin/env bash
# Installs what is missing, builds the watchdog and runs every test: once in the
# ordinary build, once under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-dependencies.sh

jobs=$(nproc)
for preset in linux asan; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset" --parallel "$jobs"
  ctest --preset "$preset" --parallel "$jobs"
done
